// The node driven as the host drives it: several requests before one open, channels up to the
// highest the host numbers, and inputs read through the operators the host builds for a render.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "DDImage/CameraOp.h"
#include "ktOrvel.h"
#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "standin/OpHost.h"
#include "standin/RenderDriver.h"

using namespace DD::Image;
using namespace standin;

namespace {

constexpr int kW = 24, kH = 16;
const Channel kTopChannel = static_cast<Channel>(Chan_Last);

std::unique_ptr<MemoryIop> noiseImage(ChannelSet channels, unsigned seed) {
  channels += Chan_Z;
  auto image = std::make_unique<MemoryIop>(Format(kW, kH), Box(0, 0, kW, kH), channels);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> value(0.0f, 2.0f), depth(4.0f, 30.0f);
  for (Channel z : channels)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) image->set(x, y, z, z == Chan_Z ? depth(rng) : value(rng));
  return image;
}

// Deep samples of alpha 0.6 at depths from the seed, two per pixel.
std::unique_ptr<MemoryDeepOp> deepImage(unsigned seed) {
  auto deep = std::make_unique<MemoryDeepOp>(Format(kW, kH), Box(0, 0, kW, kH),
                                             ChannelSet(Mask_RGBA) + Chan_DeepFront + Chan_DeepBack);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f), depth(4.0f, 30.0f);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      float samples[12];
      for (int s = 0; s < 2; ++s) {
        const float d = depth(rng);
        const float v[6] = {u(rng) * 0.6f, u(rng) * 0.6f, u(rng) * 0.6f, 0.6f, d, d + 1.0f};
        std::memcpy(samples + 6 * s, v, sizeof v);
      }
      deep->setPixel(x, y, samples, 2);
    }
  return deep;
}

struct Node {
  Node() {
    OpHost::buildKnobs(node);
    OpHost::setProjectFormat(node, Format(kW, kH));
    set("focalPlane", "10");
    set("focusRegionSize", "4");
    set("multiplier", "6");
    set("max_kernelsize", "16");
  }
  void set(const char* knob, const char* value) {
    Knob* k = node.knob(knob);
    ASSERT_TRUE(k && k->from_script(value)) << knob;
    node.knob_changed(k);
  }
  std::unique_ptr<MemoryIop> render(int strips = 1) {
    RenderOptions options;
    options.threads = 3;
    options.requestStrips = strips;
    RenderReport report = renderFrame(node, options);
    EXPECT_TRUE(report.errors.empty()) << report.errors.front();
    return std::move(report.image);
  }
  ktOrvel node{nullptr};
};

// Whether the two pictures hold the same bits in every channel of `a`.
bool samePicture(const MemoryIop& a, const MemoryIop& b) {
  if (!(a.info().box() == b.info().box()) || !(a.channels() == b.channels())) return false;
  const size_t n = size_t(a.info().box().w()) * size_t(a.info().box().h());
  for (Channel z : a.channels())
    if (std::memcmp(a.plane(z), b.plane(z), n * sizeof(float)) != 0) return false;
  return true;
}

struct DriveCase {
  const char* name;
  bool deep;
  bool reference;
};

class SeveralRequests : public testing::TestWithParam<DriveCase> {};

TEST_P(SeveralRequests, BeforeOneOpenGiveTheSinglePicture) {
  const DriveCase& c = GetParam();
  auto image = noiseImage(Mask_RGBA, 3);
  auto deep = deepImage(4);
  std::unique_ptr<MemoryIop> pictures[2];
  for (int i = 0; i < 2; ++i) {
    Node n;
    n.node.referenceEngine = c.reference;
    OpHost::connect(n.node, ktOrvel::kInput, image.get());
    if (c.deep) OpHost::connect(n.node, ktOrvel::kDeepInput, deep.get());
    pictures[i] = n.render(i == 0 ? 1 : 5);
    if (i == 1 && !c.reference) {
      EXPECT_FALSE(n.node.kernels.empty()) << "the kernels built at open are kept";
    }
  }
  ASSERT_TRUE(pictures[0] && pictures[1]);
  EXPECT_TRUE(samePicture(*pictures[0], *pictures[1]));
}

INSTANTIATE_TEST_SUITE_P(Engines, SeveralRequests,
                         testing::Values(DriveCase{"flat_fast", false, false},
                                         DriveCase{"flat_reference", false, true},
                                         DriveCase{"deep_fast", true, false},
                                         DriveCase{"deep_reference", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The highest channel the host numbers, holding red's values, comes out as red does.
TEST(HighestChannel, IsDefocusedLikeAnyOther) {
  for (bool reference : {false, true}) {
    auto image = noiseImage(ChannelSet(Mask_RGBA) + kTopChannel, 5);
    std::memcpy(image->plane(kTopChannel), image->plane(Chan_Red), sizeof(float) * kW * kH);
    Node n;
    n.node.referenceEngine = reference;
    n.set("orvelChannels", "all");
    OpHost::connect(n.node, ktOrvel::kInput, image.get());
    auto out = n.render();
    ASSERT_TRUE(out && out->plane(kTopChannel));
    EXPECT_EQ(std::memcmp(out->plane(kTopChannel), out->plane(Chan_Red), sizeof(float) * kW * kH), 0)
        << reference;
    EXPECT_NE(std::memcmp(out->plane(Chan_Red), image->plane(Chan_Red), sizeof(float) * kW * kH), 0);
  }
}

// Each optional input, given to the node graph as one operator and to the render as another:
// the picture must be the render operator's.
struct InputCase {
  const char* name;
  int input;
};

class RenderInputs : public testing::TestWithParam<InputCase> {
 protected:
  // Two versions of the input, a configured node, and what the node renders with `shown` in
  // the graph and `used` in the render.
  std::unique_ptr<MemoryIop> render(Op* shown, Op* used) {
    Node n;
    n.set("defocusMatteChannel", "G");
    n.set("realWorldLens", "true");
    n.set("kernelType", GetParam().input == ktOrvel::kKernel ? "Input" : "Circular");
    OpHost::connect(n.node, ktOrvel::kInput, image_.get());
    OpHost::connect(n.node, GetParam().input, shown);
    if (used != shown) OpHost::setRenderInput(n.node, GetParam().input, used);
    return n.render();
  }
  Op* version(int i) {
    switch (GetParam().input) {
      case ktOrvel::kCamera: {
        auto& c = cameras_[i];
        c.setFocalLength(i ? 85.0 : 35.0);
        c.setFocusDistance(i ? 100.0 : 2000.0);
        c.setfStop(i ? 1.4 : 8.0);
        return &c;
      }
      case ktOrvel::kDeepInput:
        deeps_[i] = deepImage(10 + i);
        return deeps_[i].get();
      default:
        images_[i] = noiseImage(Mask_RGBA, 20 + i);
        return images_[i].get();
    }
  }
  std::unique_ptr<MemoryIop> image_ = noiseImage(Mask_RGBA, 7);
  CameraOp cameras_[2] = {CameraOp(nullptr), CameraOp(nullptr)};
  std::unique_ptr<MemoryIop> images_[2];
  std::unique_ptr<MemoryDeepOp> deeps_[2];
};

TEST_P(RenderInputs, AreReadThroughTheRenderOperators) {
  Op* shown = version(0);
  Op* used = version(1);
  auto direct = render(used, used);
  auto split = render(shown, used);
  auto other = render(shown, shown);
  ASSERT_TRUE(direct && split && other);
  EXPECT_TRUE(samePicture(*direct, *split));
  EXPECT_FALSE(samePicture(*direct, *other)) << "the two versions must give different pictures";
}

INSTANTIATE_TEST_SUITE_P(Inputs, RenderInputs,
                         testing::Values(InputCase{"kernel", ktOrvel::kKernel},
                                         InputCase{"camera", ktOrvel::kCamera},
                                         InputCase{"deep", ktOrvel::kDeepInput},
                                         InputCase{"mattes", ktOrvel::kMattes}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
