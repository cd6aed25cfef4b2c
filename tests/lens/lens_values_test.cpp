// Derived lens values and corrective slice boundaries.
#include <gtest/gtest.h>

#include <cmath>

#include "ktLensValues.h"

namespace {

ktOrvelSettings withSlices(int n, float focalPlane = 100.0f, float regionSize = 1.0f) {
  ktOrvelSettings s;
  s.correctiveSlices = n;
  s.focalPlane = focalPlane;
  s.focusRegionSize = regionSize;
  computeLensValues(s, 1920, 1080);
  return s;
}

TEST(LensValues, FocusRegion) {
  const ktOrvelSettings s = withSlices(1, 10.0f, 4.0f);
  EXPECT_FLOAT_EQ(s.focusHalfSize, 2.0f);
  EXPECT_FLOAT_EQ(s.focusHalfSizeInv, 0.5f);
  EXPECT_FLOAT_EQ(s.focusNear, 8.0f);
  EXPECT_FLOAT_EQ(s.focusFar, 12.0f);
  EXPECT_FLOAT_EQ(s.focusRange, 4.0f);
}

TEST(SliceDepths, OneSliceHasNoBoundaries) { EXPECT_TRUE(computeSliceDepths(withSlices(1)).empty()); }

TEST(SliceDepths, TwoSlicesSplitAtTheFocalPlane) {
  EXPECT_EQ(computeSliceDepths(withSlices(2)), (std::vector<float>{0.0f, 100.0f}));
}

TEST(SliceDepths, TenSlicesAroundTheFocalPlane) {
  const std::vector<float> d = computeSliceDepths(withSlices(10));
  ASSERT_EQ(d.size(), 10u);
  EXPECT_EQ(d[0], 0.0f);
  for (int i = 1; i < 10; ++i) EXPECT_NEAR(d[i], 99.5 + 0.1 * i, 1e-4) << i;
}

TEST(SliceDepths, OverrideOrdersTheNearFarPair) {
  ktOrvelSettings s = withSlices(4);
  s.overrideNearAndFarForSlices = true;
  s.depthSlicesNearAndFar[0] = 10.0f;
  s.depthSlicesNearAndFar[1] = 2.0f;
  EXPECT_EQ(computeSliceDepths(s), (std::vector<float>{0.0f, 4.0f, 6.0f, 8.0f}));
}

TEST(SliceDepths, NearNeverBelowZero) {
  const std::vector<float> d = computeSliceDepths(withSlices(4, 0.25f, 1.0f));
  // near 0 (not -0.25), far 0.75, step 0.1875.
  ASSERT_EQ(d.size(), 4u);
  EXPECT_FLOAT_EQ(d[1], 0.1875f);
  EXPECT_FLOAT_EQ(d[3], 0.5625f);
}

struct SliceCase {
  float depth;
  int slice;
};

class SliceLookup : public ::testing::TestWithParam<SliceCase> {};

TEST_P(SliceLookup, LastBoundaryNotAboveTheDepth) {
  const std::vector<float> bounds{0.0f, 4.0f, 6.0f, 8.0f};
  EXPECT_EQ(sliceIndex(bounds, 4, GetParam().depth), GetParam().slice) << GetParam().depth;
}

INSTANTIATE_TEST_SUITE_P(Cases, SliceLookup,
                         ::testing::Values(SliceCase{0.0f, 0}, SliceCase{3.9f, 0}, SliceCase{4.0f, 1},
                                           SliceCase{7.99f, 2}, SliceCase{8.0f, 3}, SliceCase{1e30f, 3},
                                           SliceCase{-5.0f, 0}, SliceCase{NAN, 0}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(SliceLookup, OneSliceIsAlwaysZero) { EXPECT_EQ(sliceIndex({}, 1, 50.0f), 0); }

}  // namespace
