// Depth to blur, the padding scan and the slice boundaries, against numbers worked by hand or
// from the thin-lens formula in double precision.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <vector>

#include "caseName.h"
#include "ktCocScan.h"
#include "ktDepthToCoc.h"
#include "ktLensValues.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Artistic: focal plane 10, region 4 (ramp ends 2 either side), multiplier 20.
ktOrvelSettings artistic(int falloff = kFalloffLinear, float front = 1.0f, float back = 1.0f,
                         float scale = 1.0f, float region = 4.0f) {
  ktOrvelSettings s;
  s.focalPlane = 10.0f;
  s.focusRegionSize = region;
  s.multiplier = 20.0f;
  s.frontmultiplier = front;
  s.backmultiplier = back;
  s.focusRegionFalloff = falloff;
  s.contextScale = scale;
  computeLensValues(s, 2048, 1024);
  return s;
}

// Real lens focused at 100 cm, 50 mm at f/2, 24 x 12 mm film back, 2048 x 1024 pixels.
ktOrvelSettings realLens(int depthStyle = 0, float scale = 1.0f, float focus = 100.0f,
                         int worldScale = kWorldCm, float focalLength = 50.0f) {
  ktOrvelSettings s;
  s.realWorldLens = true;
  s.focalPlane = focus;
  s.worldScale = worldScale;
  s.focalLength = focalLength;
  s.fStop = 2.0f;
  s.apertureWidth = 24.0f;
  s.apertureHeight = 12.0f;
  s.depthStyle = depthStyle;
  s.contextScale = scale;
  computeLensValues(s, 2048, 1024);
  return s;
}

// The thin-lens blur in pixels for depth d (cm) with the lens above focused at `focus` cm:
// f^2 |S2 - S1| / (N S2 (S1 - f)), worked in long double.
double thinLens(long double d, long double focus = 100) {
  const long double s1 = 10 * focus, s2 = 10 * d;
  const long double pixelsPerMm = std::sqrt(2048.0L * 1024) / std::sqrt(24.0L * 12);
  return double(50.0L * 50 * std::fabs(s2 - s1) / (2 * s2 * (s1 - 50)) * pixelsPerMm);
}

struct CocCase {
  const char* name;
  ktOrvelSettings settings;
  int limit;
  float depth;
  DepthKind kind;
  double coc;
  FocusRegion region;
};
void PrintTo(const CocCase& c, std::ostream* os) { *os << c.name; }

class DepthToCoc : public ::testing::TestWithParam<CocCase> {};

TEST_P(DepthToCoc, MatchesWorkedValue) {
  const CocCase& c = GetParam();
  const CocSample r = depthToCoc(c.settings, c.limit, c.depth, c.kind);
  EXPECT_NEAR(r.coc, c.coc, 1e-3 * std::max(1.0, std::fabs(c.coc))) << c.name;
  EXPECT_EQ(r.region, c.region) << c.name;
}

const FocusRegion kBack = FocusRegion::Back, kFront = FocusRegion::Front;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, DepthToCoc,
    ::testing::Values(
        CocCase{"half ramp linear", artistic(), 256, 11, DepthKind::Flat, 10, kBack},
        CocCase{"half ramp quadratic", artistic(kFalloffQuadratic), 256, 11, DepthKind::Flat, 5, kBack},
        CocCase{"end of ramp", artistic(), 256, 12, DepthKind::Flat, 20, kBack},
        CocCase{"far beyond ramp", artistic(), 256, 500, DepthKind::Flat, 20, kBack},
        CocCase{"front half ramp", artistic(), 256, 9, DepthKind::Flat, 10, kFront},
        CocCase{"at focal plane", artistic(), 256, 10, DepthKind::Flat, 0, kBack},
        CocCase{"behind camera", artistic(kFalloffQuadratic), 256, -50, DepthKind::Flat, 20, kFront},
        CocCase{"infinite clamps far", artistic(), 256, kInf, DepthKind::Flat, 20, kBack},
        CocCase{"NaN clamps far", artistic(), 256, kNaN, DepthKind::Flat, 20, kBack},
        CocCase{"front multiplier", artistic(kFalloffLinear, 2, 3), 256, 9, DepthKind::Flat, 20, kFront},
        CocCase{"back multiplier", artistic(kFalloffLinear, 2, 3), 256, 11, DepthKind::Flat, 30, kBack},
        CocCase{"context scale", artistic(kFalloffLinear, 1, 1, 0.5f), 256, 12, DepthKind::Flat, 10, kBack},
        CocCase{"lens behind focus", realLens(), 256, 200, DepthKind::Flat, thinLens(200), kBack},
        CocCase{"lens in front", realLens(), 256, 50, DepthKind::Flat, thinLens(50), kFront},
        CocCase{"lens at focus", realLens(), 256, 100, DepthKind::Flat, 0, kBack},
        CocCase{"lens in metres", realLens(0, 1, 1, kWorldM), 256, 2, DepthKind::Flat, thinLens(200), kBack},
        CocCase{"lens in feet", realLens(0, 1, 1000 / 304.8f, kWorldFeet), 256, 2000 / 304.8f, DepthKind::Flat, thinLens(200), kBack},
        CocCase{"lens focused at 1e9", realLens(0, 1, 1e9f), 256, 10, DepthKind::Flat, thinLens(10, 1e9), kFront},
        CocCase{"lens focused at 1e30", realLens(0, 1, 1e30f), 256, 10, DepthKind::Deep, thinLens(10, 1e30), kFront},
        CocCase{"lens infinite", realLens(0, 2), 40, kInf, DepthKind::Flat, 80, kBack},
        CocCase{"lens largest float", realLens(0, 2), 40, kFarDepth, DepthKind::Flat, 80, kBack},
        CocCase{"deep background", realLens(0, 2), 40, kFarDepth, DepthKind::Deep, 80, kBack},
        CocCase{"inverse depth at focus", realLens(kDepthInverse), 77, 0.01f, DepthKind::Flat, 0, kBack},
        CocCase{"inverse zero is far", realLens(kDepthInverse), 77, 0, DepthKind::Flat, 77, kBack},
        CocCase{"inverse negative is far", realLens(kDepthInverse), 77, -3, DepthKind::Flat, 77, kBack},
        CocCase{"inverse 0.02 is 50", realLens(kDepthInverse), 256, 0.02f, DepthKind::Flat, thinLens(50), kFront},
        // Focused at the focal length (an infinite coefficient) only the infinitely far blur; a
        // focus region of 0 is a step; a NaN depth has no region.
        CocCase{"focus at focal length", realLens(0, 1, 100, kWorldCm, 1000), 33, 300, DepthKind::Flat, 0, kBack},
        CocCase{"focal length infinite", realLens(0, 1, 100, kWorldCm, 1000), 33, kInf, DepthKind::Flat, 33, kBack},
        CocCase{"step at focus", artistic(kFalloffLinear, 1, 1, 1, 0), 256, 10, DepthKind::Flat, 0, kBack},
        CocCase{"step beyond", artistic(kFalloffLinear, 1, 1, 1, 0), 256, 10.001f, DepthKind::Flat, 20, kBack},
        CocCase{"step in front", artistic(kFalloffLinear, 1, 1, 1, 0), 256, 3, DepthKind::Flat, 20, kFront},
        CocCase{"NaN has no region", realLens(), 256, kNaN, DepthKind::Deep, 0, FocusRegion::None},
        CocCase{"deep never inverted", realLens(kDepthInverse), 77, 100, DepthKind::Deep, 0, kBack}),
    ByName());
// clang-format on

TEST(DepthToCoc, ConvertedDepthIsClampedToTheFocusRegion) {
  const ktOrvelSettings s = artistic();
  EXPECT_FLOAT_EQ(depthToCoc(s, 256, 500.0f, DepthKind::Flat).depth, 12.0f);
  EXPECT_FLOAT_EQ(depthToCoc(s, 256, 1.0f, DepthKind::Flat).depth, 8.0f);
  EXPECT_FLOAT_EQ(depthToCoc(s, 256, 10.5f, DepthKind::Flat).depth, 10.5f);
}

// The scan (limit and padding through the node's open): an infinitely far pixel, whose blur is
// the limit itself, leaves the maximum of the others.
TEST(CocScan, InfinitelyFarPixelsUseTheRunningMaximum) {
  ktOrvelSettings s = realLens();
  ktCocScan scan(s);
  for (float d : {100.0f, kInf, 100.0f}) scan.add(d, DepthKind::Flat);
  EXPECT_EQ(scan.finish().kernelSizeLimit, 0);
}

// Slice boundaries: 0, then evenly from the focus region's near end (never below 0) to its far,
// or over the override pair in either order.
TEST(SliceDepths, Boundaries) {
  // clang-format off
  struct Case { int n; float focalPlane; bool override; std::vector<float> expected; };
  const Case cases[] = {{1, 100, false, {}}, {2, 100, false, {0, 100}}, {4, 100, false, {0, 99.75f, 100, 100.25f}},
                        {4, 100, true, {0, 4, 6, 8}}, {4, 0.25f, false, {0, 0.1875f, 0.375f, 0.5625f}}};
  // clang-format on
  for (const Case& c : cases) {
    ktOrvelSettings s;
    s.correctiveSlices = c.n;
    s.focalPlane = c.focalPlane;
    s.focusRegionSize = 1.0f;
    s.overrideNearAndFarForSlices = c.override;
    s.depthSlicesNearAndFar[0] = 10.0f;
    s.depthSlicesNearAndFar[1] = 2.0f;
    computeLensValues(s, 1920, 1080);
    const std::vector<float> d = computeSliceDepths(s);
    ASSERT_EQ(d.size(), c.expected.size()) << c.n;
    for (size_t i = 0; i < d.size(); ++i) EXPECT_NEAR(d[i], c.expected[i], 1e-4) << c.n << " slices, " << i;
  }
}

TEST(SliceIndex, LastBoundaryNotAboveTheDepth) {
  const std::vector<float> b{0.0f, 4.0f, 6.0f, 8.0f};
  // clang-format off
  const std::pair<float, int> cases[] = {{0, 0}, {3.9f, 0}, {4, 1}, {7.99f, 2}, {8, 3},
                                         {1e30f, 3}, {-5, 0}, {kNaN, 0}};
  // clang-format on
  for (const auto& [depth, slice] : cases) EXPECT_EQ(sliceIndex(b, 4, depth), slice) << depth;
  EXPECT_EQ(sliceIndex({}, 1, 50.0f), 0);
}

}  // namespace
