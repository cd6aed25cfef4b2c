// The depth-edge node through the host's render driver: only the depth of edge pixels changes,
// to what a brute-force scan of each clamped neighbourhood gives, and the input is asked for
// the box grown by the radius.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "DDImage/Knob.h"
#include "ktDepthEdges.h"
#include "standin/MemoryIop.h"
#include "standin/OpHost.h"
#include "standin/RenderDriver.h"

using namespace DD::Image;
using namespace standin;

namespace {

constexpr int kW = 17, kH = 13, kRadius = 2;
const ChannelSet kChannels = ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z);

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The documented rule, pixel by pixel over the (2 radius + 1)^2 neighbourhood with coordinates
// clamped to the image, real depth, threshold 0.1.
float expectedDepth(MemoryIop& in, int x, int y) {
  const float v = in.at(x, y, Chan_Z);
  if (!std::isfinite(v)) return v;
  float lo = v, hi = v;
  for (int dy = -kRadius; dy <= kRadius; ++dy)
    for (int dx = -kRadius; dx <= kRadius; ++dx) {
      const float n = in.at(std::clamp(x + dx, 0, kW - 1), std::clamp(y + dy, 0, kH - 1), Chan_Z);
      if (!std::isfinite(n)) continue;
      lo = std::min(lo, n);
      hi = std::max(hi, n);
    }
  return (hi - lo) / lo > 0.1f ? lo : v;
}

TEST(DepthEdges, ChangesOnlyTheDepthOfEdgePixelsAndAsksForTheGrownBox) {
  MemoryIop image(Format(kW, kH), Box(0, 0, kW, kH), kChannels);
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      for (Channel z : ChannelSet(Mask_RGBA)) image.set(x, y, z, u(rng));
      // A near disc (depth 10) on the left edge before a far wall (100, with a slight slope
      // that stays under the threshold), and a few non-finite depths.
      const bool near = (x - 2) * (x - 2) + (y - 6) * (y - 6) < 12;
      image.set(x, y, Chan_Z, near ? 10.0f : 100.0f + 0.2f * float(x));
    }
  image.set(12, 3, Chan_Z, std::numeric_limits<float>::quiet_NaN());
  image.set(6, 6, Chan_Z, std::numeric_limits<float>::infinity());

  ktDepthEdges node(nullptr);
  OpHost::buildKnobs(node);
  OpHost::connect(node, 0, &image);
  OpHost::setProjectFormat(node, Format(kW, kH));
  Knob* radius = node.knob("radius");
  ASSERT_TRUE(radius->from_script("2"));
  node.knob_changed(radius);

  RenderOptions options;
  options.threads = 4;
  RenderReport report = renderFrame(node, options);
  ASSERT_NE(report.image, nullptr);
  EXPECT_TRUE(report.errors.empty());

  EXPECT_EQ(image.requestedBox().x(), -kRadius);
  EXPECT_EQ(image.requestedBox().y(), -kRadius);
  EXPECT_EQ(image.requestedBox().r(), kW + kRadius);
  EXPECT_EQ(image.requestedBox().t(), kH + kRadius);

  int changed = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      for (Channel z : ChannelSet(Mask_RGBA))
        ASSERT_TRUE(sameBits(report.image->at(x, y, z), image.at(x, y, z)))
            << x << "," << y << " channel " << z;
      const float want = expectedDepth(image, x, y);
      const float got = report.image->at(x, y, Chan_Z);
      ASSERT_TRUE(sameBits(got, want)) << x << "," << y << ": got " << got << ", want " << want;
      changed += !sameBits(got, image.at(x, y, Chan_Z));
    }
  // The disc's rim and the wall within two pixels of it, the infinite pixel's ring excluded.
  EXPECT_GT(changed, 20);
}

}  // namespace
