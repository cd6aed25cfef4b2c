// The node driven as the host drives it: several requests before one open, channels up to the
// highest the host numbers, and inputs read through the operators the host builds for a render.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "DDImage/CameraOp.h"
#include "ktOrvel.h"
#include "standin/MemoryDeepOp.h"
#include "standin/OpHost.h"
#include "nodeScenes.h"
#include "standin/RenderDriver.h"

using namespace DD::Image;
using namespace standin;

namespace {

constexpr int kW = 24, kH = 16;

// A kW x kH noise image of `channels` and depth.
std::unique_ptr<MemoryIop> noiseFrame(ChannelSet channels, unsigned seed) {
  return noiseImage(Format(kW, kH), Box(0, 0, kW, kH), channels + Chan_Z, seed);
}

// A node with an artistic lens, `knobs` ("name value" pairs) set, rendered in `strips` requests.
std::unique_ptr<MemoryIop> render(ktOrvel& node, std::vector<std::pair<const char*, const char*>> knobs,
                                  int strips = 1) {
  knobs.insert(
      knobs.begin(),
      {{"focalPlane", "10"}, {"focusRegionSize", "4"}, {"multiplier", "6"}, {"max_kernelsize", "16"}});
  setKnobs(node, knobs);
  OpHost::setProjectFormat(node, Format(kW, kH));
  RenderOptions options;
  options.threads = 3;
  options.requestStrips = strips;
  RenderReport report = renderFrame(node, options);
  EXPECT_TRUE(report.errors.empty());
  return std::move(report.image);
}

bool samePlanes(const MemoryIop& a, Channel za, const MemoryIop& b, Channel zb) {
  return std::memcmp(a.plane(za), b.plane(zb), sizeof(float) * kW * kH) == 0;
}

bool samePicture(const MemoryIop& a, const MemoryIop& b) {
  for (Channel z : a.channels())
    if (!b.plane(z) || !samePlanes(a, z, b, z)) return false;
  return true;
}

class SeveralRequests : public testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(SeveralRequests, BeforeOneOpenGiveTheSinglePicture) {
  const auto [deep, reference] = GetParam();
  auto image = noiseFrame(Mask_RGBA, 3);
  auto deepInput = deepScene(Format(kW, kH), Box(0, 0, kW, kH), 4);
  std::unique_ptr<MemoryIop> pictures[2];
  for (int strips : {1, 5}) {
    ktOrvel node(nullptr);
    OpHost::buildKnobs(node);
    node.useReferenceEngine(reference);
    OpHost::connect(node, ktOrvel::kInput, image.get());
    if (deep) OpHost::connect(node, ktOrvel::kDeepInput, deepInput.get());
    pictures[strips > 1] = render(node, {}, strips);
    EXPECT_FALSE(node.renderContext().kernels->empty()) << "what open built is kept through the requests";
  }
  ASSERT_TRUE(pictures[0] && pictures[1]);
  EXPECT_TRUE(samePicture(*pictures[0], *pictures[1]));
}

INSTANTIATE_TEST_SUITE_P(DeepAndReference, SeveralRequests,
                         testing::Combine(testing::Bool(), testing::Bool()), [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "deep" : "flat") +
                                  (std::get<1>(info.param) ? "_reference" : "_fast");
                         });

// The highest channel the host numbers, holding red's values, comes out as red does.
TEST(HighestChannel, IsDefocusedLikeAnyOther) {
  const Channel top = static_cast<Channel>(Chan_Last);
  for (bool reference : {false, true}) {
    auto image = noiseFrame(ChannelSet(Mask_RGBA) + top, 5);
    std::memcpy(image->plane(top), image->plane(Chan_Red), sizeof(float) * kW * kH);
    ktOrvel node(nullptr);
    OpHost::buildKnobs(node);
    node.useReferenceEngine(reference);
    OpHost::connect(node, ktOrvel::kInput, image.get());
    auto out = render(node, {{"orvelChannels", "all"}});
    ASSERT_TRUE(out && out->plane(top));
    EXPECT_TRUE(samePlanes(*out, top, *out, Chan_Red)) << reference;
    EXPECT_FALSE(samePlanes(*out, Chan_Red, *image, Chan_Red));
  }
}

// Each optional input given to the node graph as one operator and to the render as another:
// the picture must be the render operator's.
class RenderInputs : public testing::TestWithParam<int> {
 protected:
  std::unique_ptr<MemoryIop> render(Op* shown, Op* used) {
    ktOrvel node(nullptr);
    OpHost::buildKnobs(node);
    OpHost::connect(node, ktOrvel::kInput, image_.get());
    OpHost::connect(node, GetParam(), shown);
    if (used != shown) OpHost::setRenderInput(node, GetParam(), used);
    return ::render(node, {{"defocusMatteChannel", "G"},
                           {"realWorldLens", "true"},
                           {"kernelType", GetParam() == ktOrvel::kKernel ? "Input" : "Circular"}});
  }
  Op* version(int i) {
    switch (GetParam()) {
      case ktOrvel::kCamera:
        cameras_[i].setFocalLength(i ? 85.0 : 35.0);
        cameras_[i].setFocusDistance(i ? 100.0 : 2000.0);
        cameras_[i].setfStop(i ? 1.4 : 8.0);
        return &cameras_[i];
      case ktOrvel::kDeepInput:
        deeps_[i] = deepScene(Format(kW, kH), Box(0, 0, kW, kH), 10 + i);
        return deeps_[i].get();
      default:
        images_[i] = noiseFrame(Mask_RGBA, 20 + i);
        return images_[i].get();
    }
  }
  std::unique_ptr<MemoryIop> image_ = noiseFrame(Mask_RGBA, 7), images_[2];
  std::unique_ptr<MemoryDeepOp> deeps_[2];
  CameraOp cameras_[2] = {CameraOp(nullptr), CameraOp(nullptr)};
};

TEST_P(RenderInputs, AreReadThroughTheRenderOperators) {
  Op* shown = version(0);
  Op* used = version(1);
  auto direct = render(used, used), split = render(shown, used), other = render(shown, shown);
  ASSERT_TRUE(direct && split && other);
  EXPECT_TRUE(samePicture(*direct, *split));
  EXPECT_FALSE(samePicture(*direct, *other)) << "the two versions must give different pictures";
}

const char* const kInputNames[] = {"input", "kernel", "camera", "deep", "mattes"};
INSTANTIATE_TEST_SUITE_P(KernelCameraDeepMattes, RenderInputs,
                         testing::Values(ktOrvel::kKernel, ktOrvel::kCamera, ktOrvel::kDeepInput,
                                         ktOrvel::kMattes),
                         [](const auto& info) { return std::string(kInputNames[info.param]); });

}  // namespace
