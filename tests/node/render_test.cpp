// Whole frames through the host's render driver, for every output type on flat input.
#include <gtest/gtest.h>
#include "standin/OpHost.h"

#include <cmath>
#include <random>

#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "standin/RenderDriver.h"
#include "ktOrvel.h"

using namespace DD::Image;
using namespace standin;

namespace {

const ChannelSet kRGBAZ = ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z);

struct Scene {
  Scene(int w, int h) : image(Format(w, h), Box(0, 0, w, h), kRGBAZ) {
    OpHost::buildKnobs(node);
    OpHost::connect(node, ktOrvel::kInput, &image);
    OutputContext c;
    OpHost::setProjectFormat(node, Format(w, h));
    node.setOutputContext(c);
  }
  void set(const char* knob, const char* value) {
    Knob* k = node.knob(knob);
    ASSERT_TRUE(k->from_script(value)) << knob;
    node.knob_changed(k);
  }
  // Artistic lens: focal plane 10, region 4, so depth 12 and beyond blur by `multiplier`.
  void artistic(const char* multiplier) {
    set("focalPlane", "10");
    set("focusRegionSize", "4");
    set("multiplier", multiplier);
  }
  void noise(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (Channel z : ChannelSet(Mask_RGBA))
      for (int y = 0; y < image.format().height(); ++y)
        for (int x = 0; x < image.format().width(); ++x) image.set(x, y, z, u(rng));
  }
  RenderReport render(unsigned threads = 0) {
    RenderOptions o;
    o.threads = threads;
    return renderFrame(node, o);
  }
  MemoryIop image;
  ktOrvel node{nullptr};
};

float sumOf(const MemoryIop& img, Channel z) {
  const Box& b = img.info().box();
  double s = 0;
  for (int y = b.y(); y < b.t(); ++y)
    for (int x = b.x(); x < b.r(); ++x) s += const_cast<MemoryIop&>(img).at(x, y, z);
  return float(s);
}

TEST(Render, EverythingInFocusReproducesTheInput) {
  Scene s(23, 17);
  s.noise(1);
  s.artistic("20");
  s.image.fill(Chan_Z, 10.0f);
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  for (Channel z : ChannelSet(Mask_RGBA))
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 23; ++x) EXPECT_NEAR(r.image->at(x, y, z), s.image.at(x, y, z), 1e-6f) << x << "," << y;
}

TEST(Render, AConstantStaysConstantUnderAnyBlur) {
  Scene s(40, 30);
  s.artistic("9");
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) s.image.set(x, y, Chan_Z, 8.0f + float((x * 7 + y * 3) % 9));
  s.image.fill(Chan_Red, 0.25f);
  s.image.fill(Chan_Green, 2.0f);
  s.image.fill(Chan_Alpha, 1.0f);
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      EXPECT_NEAR(r.image->at(x, y, Chan_Red), 0.25f, 1e-5f);
      EXPECT_NEAR(r.image->at(x, y, Chan_Green), 2.0f, 1e-4f);
      EXPECT_NEAR(r.image->at(x, y, Chan_Alpha), 1.0f, 1e-5f);
    }
}

TEST(Render, ABrightPixelSpreadsIntoADiscAndKeepsItsLight) {
  Scene s(41, 41);
  s.artistic("15");
  s.set("correctiveSlices", "1");
  s.image.fill(Chan_Z, 50.0f);
  s.image.set(20, 20, Chan_Red, 100.0f);
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  EXPECT_NEAR(sumOf(*r.image, Chan_Red), 100.0f, 0.01f);
  // A disc of diameter 15: lit at 6 pixels from the centre, dark at 9, round (same along axes).
  EXPECT_GT(r.image->at(26, 20, Chan_Red), 0.1f);
  EXPECT_GT(r.image->at(20, 14, Chan_Red), 0.1f);
  EXPECT_NEAR(r.image->at(26, 20, Chan_Red), r.image->at(20, 26, Chan_Red), 1e-4f);
  EXPECT_EQ(r.image->at(29, 20, Chan_Red), 0.0f);
  EXPECT_EQ(r.image->at(27, 27, Chan_Red), 0.0f);
}

TEST(Render, LensBloomWithoutBloomIsBlack) {
  Scene s(20, 12);
  s.noise(2);
  s.artistic("5");
  s.image.fill(Chan_Z, 30.0f);
  s.set("outputType", "Lens Bloom");
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  EXPECT_EQ(sumOf(*r.image, Chan_Red), 0.0f);
  EXPECT_EQ(sumOf(*r.image, Chan_Blue), 0.0f);
  EXPECT_GT(sumOf(*r.image, Chan_Alpha), 0.0f);
}

TEST(Render, RowsOnManyThreadsEqualRowsOneByOne) {
  Scene s(64, 48);
  s.noise(3);
  s.artistic("12");
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) s.image.set(x, y, Chan_Z, float((x / 8 + y / 6) % 5) * 2.0f + 6.0f);
  s.set("bloom", "0.5");
  s.set("kChrAbb", "3");
  RenderReport one = s.render(1);
  RenderReport many = s.render(8);
  ASSERT_NE(one.image, nullptr);
  ASSERT_NE(many.image, nullptr);
  for (Channel z : ChannelSet(Mask_RGBA)) {
    const float* a = one.image->plane(z);
    const float* b = many.image->plane(z);
    for (int i = 0; i < 64 * 48; ++i) ASSERT_EQ(a[i], b[i]) << "pixel " << i;
  }
}

TEST(Render, EveryOutputTypeGivesFiniteValues) {
  for (int type = 0; type < 5; ++type) {
    Scene s(30, 20);
    s.noise(4);
    s.artistic("6");
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 30; ++x) s.image.set(x, y, Chan_Z, float(x % 7) + 7.0f);
    s.set("outputType", std::to_string(type).c_str());
    RenderReport r = s.render();
    ASSERT_NE(r.image, nullptr) << type;
    EXPECT_TRUE(r.errors.empty());
    for (Channel z : ChannelSet(Mask_RGBA))
      for (int i = 0; i < 600; ++i) ASSERT_TRUE(std::isfinite(r.image->plane(z)[i])) << type;
  }
}

TEST(Render, FocusMatteSplitsFrontAndBack) {
  Scene s(4, 1);
  s.artistic("20");
  const float depth[] = {5.0f, 9.99f, 10.0f, 400.0f};
  for (int x = 0; x < 4; ++x) s.image.set(x, 0, Chan_Z, depth[x]);
  s.image.fill(Chan_Alpha, 0.75f);
  s.set("outputType", "Focus Matte");
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  const float green[] = {1, 1, 0, 0};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(r.image->at(x, 0, Chan_Red), 0.0f);
    EXPECT_EQ(r.image->at(x, 0, Chan_Green), green[x]);
    EXPECT_EQ(r.image->at(x, 0, Chan_Blue), 1.0f - green[x]);
    EXPECT_EQ(r.image->at(x, 0, Chan_Alpha), 0.75f);  // passed through
  }
}

TEST(Render, FocalDistanceVisualization) {
  Scene s(3, 1);
  s.artistic("20");
  const float depth[] = {10.0f, 12.0f, 9.0f};
  for (int x = 0; x < 3; ++x) s.image.set(x, 0, Chan_Z, depth[x]);
  s.set("outputType", "Focal Distance Visualization");
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  // In focus: red 1. End of the back ramp: blue 20 / 256. Half the front ramp: green 10 / 256.
  EXPECT_EQ(r.image->at(0, 0, Chan_Red), 1.0f);
  EXPECT_EQ(r.image->at(0, 0, Chan_Blue), 0.0f);
  EXPECT_EQ(r.image->at(1, 0, Chan_Red), 0.0f);
  EXPECT_NEAR(r.image->at(1, 0, Chan_Blue), 20.0f / 256.0f, 1e-6f);
  EXPECT_EQ(r.image->at(1, 0, Chan_Green), 0.0f);
  EXPECT_NEAR(r.image->at(2, 0, Chan_Green), 10.0f / 256.0f, 1e-6f);
  s.set("normalizeVisualization", "false");
  r = s.render();
  EXPECT_NEAR(r.image->at(1, 0, Chan_Blue), 20.0f, 1e-5f);
}

TEST(Render, FilterShapePreviewFillsTheSquareOfTheFormat) {
  Scene s(1920, 1080);
  s.set("outputType", "Filter Shape");
  s.set("kAspectRatio", "2");
  s.set("orvelChannels", "rgb");
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  // An upright ellipse 540 wide and 1080 tall, centred at (540, 540).
  EXPECT_EQ(r.image->at(540, 540, Chan_Red), 1.0f);
  EXPECT_GT(r.image->at(540, 1000, Chan_Green), 0.0f);
  EXPECT_EQ(r.image->at(540 + 280, 540, Chan_Blue), 0.0f);
  EXPECT_GT(r.image->at(540 + 250, 540, Chan_Blue), 0.0f);
  for (int x : {1080, 1500, 1919}) EXPECT_EQ(r.image->at(x, 540, Chan_Red), 0.0f);
  EXPECT_EQ(sumOf(*r.image, Chan_Alpha), 0.0f);
}

TEST(Render, DeepFocusMatteMixesLayersByAlpha) {
  Scene s(3, 1);
  s.artistic("20");
  s.set("outputType", "Focus Matte");
  MemoryDeepOp deep(Format(3, 1), Box(0, 0, 3, 1), (ChannelSet(Chan_Alpha) + Chan_DeepFront + Chan_DeepBack));
  // Pixel 0: one front sample of alpha 0.5; pixel 1: nothing; pixel 2: opaque back over front.
  const float front[] = {0.5f, 5.0f, 5.0f};
  deep.setPixel(0, 0, front, 1);
  const float two[] = {1.0f, 11.0f, 11.0f, 1.0f, 6.0f, 6.0f};
  deep.setPixel(2, 0, two, 2);
  OpHost::connect(s.node, ktOrvel::kDeepInput, &deep);
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  // The background counts as infinitely far: the back region.
  EXPECT_FLOAT_EQ(r.image->at(0, 0, Chan_Green), 0.5f);
  EXPECT_FLOAT_EQ(r.image->at(0, 0, Chan_Blue), 0.5f);
  EXPECT_FLOAT_EQ(r.image->at(1, 0, Chan_Green), 0.0f);
  EXPECT_FLOAT_EQ(r.image->at(1, 0, Chan_Blue), 1.0f);
  // The nearest sample (6, in front) is opaque and hides the one behind.
  EXPECT_FLOAT_EQ(r.image->at(2, 0, Chan_Green), 1.0f);
  EXPECT_FLOAT_EQ(r.image->at(2, 0, Chan_Blue), 0.0f);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(r.image->at(x, 0, Chan_Red), 0.0f);
}

TEST(Render, DeepFocalDistanceOfTheBackgroundIsTheFarBlur) {
  Scene s(1, 1);
  s.artistic("20");
  s.set("outputType", "Focal Distance Visualization");
  s.set("normalizeVisualization", "false");
  MemoryDeepOp deep(Format(1, 1), Box(0, 0, 1, 1), (ChannelSet(Chan_Alpha) + Chan_DeepFront + Chan_DeepBack));
  OpHost::connect(s.node, ktOrvel::kDeepInput, &deep);
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  // Artistic model: infinity is pulled to the far end of the focus region, a blur of 20.
  EXPECT_FLOAT_EQ(r.image->at(0, 0, Chan_Blue), 20.0f);
  EXPECT_FLOAT_EQ(r.image->at(0, 0, Chan_Red), 0.0f);
}

}  // namespace
