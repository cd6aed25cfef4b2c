// Validation, requests and open: what the node derives, asks of its inputs and prepares.
#include <gtest/gtest.h>

#include <cmath>

#include "DDImage/CameraOp.h"
#include "standin/OpHost.h"
#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "ktOrvel.h"

using namespace DD::Image;
using namespace standin;

namespace {

// An in-memory image that remembers what it was asked for.
class RecordingIop : public MemoryIop {
 public:
  using MemoryIop::MemoryIop;
  int requests = 0;

 protected:
  void _request(int, int, int, int, const ChannelSet&, int) override { ++requests; }
};

struct Fixture {
  Fixture(int w = 64, int h = 32) : image(Format(w, h), Box(0, 0, w, h), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z)) {
    image.fill(Chan_Z, 100.0f);
    OpHost::buildKnobs(node);
    OpHost::connect(node, ktOrvel::kInput, &image);
  }
  void set(const char* knob, const char* value) {
    Knob* k = node.knob(knob);
    ASSERT_TRUE(k->from_script(value)) << knob;
    node.knob_changed(k);
  }
  RecordingIop image;
  ktOrvel node{nullptr};
};

TEST(Validate, MissingKernelInputIsAnErrorAndValidationGoesOn) {
  Fixture f;
  f.set("kernelType", "Input");
  f.set("correctiveSlices", "2");
  f.node.validate(true);
  EXPECT_EQ(OpHost::errors(f.node), std::vector<std::string>{"No input kernel connected!"});
  EXPECT_EQ(f.node.sliceDepths, (std::vector<float>{0.0f, 100.0f}));
}

TEST(Validate, CameraValuesReplaceTheLensKnobs) {
  Fixture f;
  CameraOp camera{nullptr};
  camera.setFocalLength(85.0);
  camera.setFocusDistance(250.0);
  camera.setfStop(1.4);
  camera.setHorizontalAperture(36.0);
  camera.setVerticalAperture(24.0);
  OpHost::connect(f.node, ktOrvel::kCamera, &camera);
  f.node.validate(true);
  const ktOrvelSettings& s = f.node.settings;
  EXPECT_FLOAT_EQ(s.focalLength, 85.0f);
  EXPECT_FLOAT_EQ(s.focalPlane, 250.0f);
  EXPECT_FLOAT_EQ(s.fStop, 1.4f);
  EXPECT_FLOAT_EQ(s.apertureWidth, 36.0f);
  EXPECT_FLOAT_EQ(s.apertureHeight, 24.0f);
  // Derived from the camera's values: 85 / (2500 - 85) * 85 / 1.4.
  EXPECT_NEAR(s.lensCoefficient, 85.0 / 2415.0 * 85.0 / 1.4, 1e-4);
}

TEST(Validate, MatteChannelsOnlyWithAMattesInput) {
  Fixture f;
  f.set("bloomMatteChannel", "R");
  f.set("chromicAberrationMatteChannel", "A");
  f.node.validate(true);
  EXPECT_TRUE(f.node.matteChannels.empty());
  EXPECT_FALSE(f.node.hasBloomMatte);

  MemoryIop mattes(Format(64, 32), Box(0, 0, 64, 32), Mask_RGBA);
  OpHost::connect(f.node, ktOrvel::kMattes, &mattes);
  f.node.validate(true);
  EXPECT_EQ(f.node.matteChannels, (ChannelSet(Chan_Red) + Chan_Alpha));
  EXPECT_TRUE(f.node.hasBloomMatte);
  EXPECT_FALSE(f.node.hasDefocusMatte);
  EXPECT_TRUE(f.node.hasChromicAberrationMatte);
}

TEST(Validate, DeepInputIsDetected) {
  Fixture f;
  f.node.validate(true);
  EXPECT_FALSE(f.node.settings.deepInput);
  MemoryDeepOp deep(Format(64, 32), Box(0, 0, 64, 32), (ChannelSet(Chan_Alpha) + Chan_DeepFront + Chan_DeepBack));
  OpHost::connect(f.node, ktOrvel::kDeepInput, &deep);
  f.node.validate(true);
  EXPECT_TRUE(f.node.settings.deepInput);
  EXPECT_TRUE(deep.real_valid());
}

struct GrowCase {
  int maxKernel;
  int left, right;  // growth on x/y and on r/t
  int padding;
};

class BoxGrowth : public ::testing::TestWithParam<GrowCase> {};

TEST_P(BoxGrowth, ByHalfTheMaximumKernel) {
  Fixture f;
  f.set("expandBBoxToMaxKernelSize", "true");
  f.set("max_kernelsize", std::to_string(GetParam().maxKernel).c_str());
  f.node.validate(true);
  const Box& b = f.node.info().box();
  EXPECT_EQ(b.x(), -GetParam().left);
  EXPECT_EQ(b.y(), -GetParam().left);
  EXPECT_EQ(b.r(), 64 + GetParam().right);
  EXPECT_EQ(b.t(), 32 + GetParam().right);
  EXPECT_EQ(f.node.padding, GetParam().padding);
  EXPECT_EQ(f.node.kernelSizeLimit, GetParam().maxKernel);
}

INSTANTIATE_TEST_SUITE_P(Cases, BoxGrowth,
                         ::testing::Values(GrowCase{256, 128, 127, 128}, GrowCase{255, 127, 127, 127},
                                           GrowCase{1, 0, 0, 0}, GrowCase{2, 1, 0, 1}));

TEST(Validate, LensValuesOnlyForReal) {
  Fixture f;
  f.set("correctiveSlices", "10");
  f.node.validate(false);
  EXPECT_TRUE(f.node.sliceDepths.empty());
  EXPECT_EQ(f.node.settings.pixelsPerMm, 0.0f);
  f.node.validate(true);
  ASSERT_EQ(f.node.sliceDepths.size(), 10u);
  EXPECT_NEAR(f.node.sliceDepths[1], 99.6f, 1e-4f);
  EXPECT_NEAR(f.node.sliceDepths[9], 100.4f, 1e-4f);
  EXPECT_FLOAT_EQ(f.node.settings.contextScale, 1.0f);
  EXPECT_NEAR(f.node.settings.pixelsPerMm, std::sqrt(64.0 * 32.0) / std::sqrt(22.0 * 16.0), 1e-4);
  // A later validation that is not for real keeps them.
  f.set("correctiveSlices", "2");
  f.node.invalidate();
  f.node.validate(false);
  EXPECT_EQ(f.node.sliceDepths.size(), 10u);
}

TEST(Request, ActiveChannelsAndPaddedInputRequests) {
  Fixture f;
  RecordingIop kernel(Format(16, 16), Box(-3, -2, 13, 14), Mask_RGB);
  RecordingIop mattes(Format(64, 32), Box(0, 0, 64, 32), Mask_RGBA);
  f.set("kernelType", "Input");
  f.set("defocusMatteChannel", "G");
  f.set("max_kernelsize", "20");
  f.set("missingKernelChannel", "Z");
  OpHost::connect(f.node, ktOrvel::kKernel, &kernel);
  OpHost::connect(f.node, ktOrvel::kMattes, &mattes);
  f.node.validate(true);
  f.node.request(5, 6, 30, 20, Mask_RGB, 1);
  EXPECT_EQ(f.node.settings.activeChannels, Mask_RGBA);
  EXPECT_EQ(f.image.requestedBox(), Box(-5, -4, 40, 30));
  EXPECT_EQ(f.image.requested_channels(), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z));
  EXPECT_EQ(kernel.requestedBox(), Box(-3, -2, 13, 14));
  EXPECT_EQ(kernel.requested_channels(), ChannelSet(Mask_RGBA) + Chan_Z);
  EXPECT_EQ(mattes.requestedBox(), Box(-5, -4, 40, 30));
  EXPECT_EQ(mattes.requested_channels(), ChannelSet(Chan_Green));

  // With every channel selected, a validation defocuses what its requests ask for.
  f.set("orvelChannels", "all");
  f.node.invalidate();
  f.node.validate(true);
  f.node.request(5, 6, 30, 20, Mask_RGB, 1);
  EXPECT_EQ(f.node.settings.activeChannels, Mask_RGB);
  f.node.request(5, 6, 30, 20, Chan_Alpha, 1);
  EXPECT_EQ(f.node.settings.activeChannels, Mask_RGBA);
}

TEST(Open, VisualisationsBuildNoKernels) {
  for (const char* type : {"Focal Distance Visualization", "Focus Matte"}) {
    Fixture f;
    f.set("outputType", type);
    f.node.validate(true);
    f.node.request(0, 0, 64, 32, Mask_RGBA, 1);
    f.node.open();
    EXPECT_TRUE(f.node.kernels.empty()) << type;
    EXPECT_EQ(f.node.heroKernel.width, 0) << type;
    EXPECT_EQ(f.node.kernelSizeLimit, 256) << type;
  }
}

TEST(Open, FilterShapeBuildsOnlyThePreviewKernel) {
  Fixture f(48, 20);
  f.set("outputType", "Filter Shape");
  f.node.validate(true);
  f.node.request(0, 0, 48, 20, Mask_RGBA, 1);
  f.node.open();
  EXPECT_TRUE(f.node.kernels.empty());
  EXPECT_EQ(f.node.heroKernel.width, 20);
  EXPECT_EQ(f.node.heroKernel.height, 20);
}

TEST(Open, BankFollowsTheMeasuredBlur) {
  Fixture f;
  // Artistic model: region 4 around 10, multiplier 20, back 1.5; depths beyond the far end.
  f.set("focalPlane", "10");
  f.set("focusRegionSize", "4");
  f.set("multiplier", "20");
  f.set("backmultiplier", "1.5");
  f.image.fill(Chan_Z, 500.0f);
  f.node.validate(true);
  f.node.request(0, 0, 64, 32, Mask_RGBA, 1);
  f.node.open();
  EXPECT_EQ(f.node.kernelSizeLimit, 30);
  EXPECT_EQ(f.node.padding, 17);
  ASSERT_EQ(f.node.kernels.size(), 35u);
  EXPECT_EQ(f.node.kernels[30].width, 29);
  EXPECT_EQ(f.node.heroKernel.width, 256);
  EXPECT_TRUE(OpHost::warnings(f.node).empty());
  // A later request of the same validation keeps what open built; a new validation empties it.
  f.node.request(0, 0, 64, 32, Mask_RGBA, 1);
  f.node.open();
  EXPECT_EQ(f.node.kernels.size(), 35u);
  f.node.invalidate();
  f.node.validate(true);
  EXPECT_TRUE(f.node.kernels.empty());
}

TEST(Open, WarnsWhenTheBlurExceedsTheMaximumKernel) {
  Fixture f;
  f.set("focalPlane", "10");
  f.set("focusRegionSize", "4");
  f.set("multiplier", "90");
  f.set("max_kernelsize", "64");
  f.image.fill(Chan_Z, 500.0f);
  f.node.validate(true);
  f.node.request(0, 0, 64, 32, Mask_RGBA, 1);
  f.node.open();
  EXPECT_EQ(OpHost::warnings(f.node),
            std::vector<std::string>{"Max kernel size is less than the maximum coc in the result, you may want to "
                                     "consider increasing the max kernel size above 90."});
  EXPECT_EQ(f.node.kernelSizeLimit, 64);
  EXPECT_EQ(f.node.padding, 34);
  EXPECT_EQ(f.node.kernels.size(), 69u);
}

TEST(Open, EverythingInFocusNeedsTheSmallestBank) {
  Fixture f;
  f.node.validate(true);
  f.node.request(0, 0, 64, 32, Mask_RGBA, 1);
  f.node.open();
  EXPECT_EQ(f.node.kernelSizeLimit, 0);
  EXPECT_EQ(f.node.padding, 2);
  EXPECT_EQ(f.node.kernels.size(), 5u);
}

TEST(Open, DeepScanMeasuresTheNearestSampleOnly) {
  Fixture f(4, 1);
  f.set("focalPlane", "10");
  f.set("focusRegionSize", "4");
  f.set("multiplier", "20");
  MemoryDeepOp deep(Format(4, 1), Box(0, 0, 4, 1), (ChannelSet(Chan_Alpha) + Chan_DeepFront + Chan_DeepBack));
  // Pixel 0: a nearest sample in focus (10) before a far one (500): only the nearest counts.
  const float samples[] = {1.0f, 10.0f, 10.0f, 1.0f, 500.0f, 500.0f};
  deep.setPixel(0, 0, samples, 2);
  // Pixel 1: one sample half-way down the back ramp: blur 10.
  const float half[] = {1.0f, 11.0f, 11.0f};
  deep.setPixel(1, 0, half, 1);
  OpHost::connect(f.node, ktOrvel::kDeepInput, &deep);
  f.node.validate(true);
  f.node.request(0, 0, 4, 1, Mask_RGBA, 1);
  f.node.open();
  EXPECT_EQ(f.node.kernelSizeLimit, 10);
  EXPECT_EQ(f.node.padding, 7);
}

}  // namespace
