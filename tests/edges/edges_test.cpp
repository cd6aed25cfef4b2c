// The depth-edge row against values worked by hand: each case gives the 2 radius + 1 input rows
// of a neighbourhood (width + 2 radius values each) and the row that must come out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "ktDepthEdgeRow.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Case {
  const char* name;
  int radius;
  float threshold;
  bool inverse;
  std::vector<std::vector<float>> rows;  // top to bottom; the middle one is the output's own row
  std::vector<float> expected;
};

std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class DepthEdgeRowTable : public testing::TestWithParam<Case> {};

TEST_P(DepthEdgeRowTable, GivesTheHandWorkedRow) {
  const Case& c = GetParam();
  const int width = int(c.expected.size());
  ktDepthEdgeRow row(width, ktDepthEdgeRule{c.radius, c.threshold, c.inverse});
  for (const std::vector<float>& r : c.rows) row.addRow(r.data());
  std::vector<float> out(width, -1.0f);
  row.finish(c.rows[c.radius].data() + c.radius, out.data());
  for (int i = 0; i < width; ++i)
    EXPECT_TRUE(sameBits(out[i], c.expected[i]))
        << "pixel " << i << ": got " << out[i] << ", want " << c.expected[i];
}

// clang-format off
const Case kCases[] = {
    {"RealNearNeighbourReachesOnePixel", 1, 0.1f, false,
     {{100, 100, 100, 100, 100}, {2, 100, 100, 100, 100}, {100, 100, 100, 100, 100}}, {2, 100, 100}},
    {"RealDiagonalNeighbourCounts", 1, 0.1f, false,
     {{100, 100, 100, 100, 7}, {100, 100, 100, 100, 100}, {100, 100, 100, 100, 100}}, {100, 100, 7}},
    {"RealJumpBelowTheThresholdChangesNothing", 1, 0.1f, false,
     {{10, 10, 10, 10, 10}, {10, 10, 10.9f, 10, 10}, {10, 10, 10, 10, 10}}, {10, 10.9f, 10}},
    {"RealJumpAboveTheThresholdTakesTheNearest", 1, 0.1f, false,
     {{10, 10, 10, 10, 10}, {10, 10, 11.1f, 10, 10}, {10, 10, 10, 10, 10}}, {10, 10, 10}},
    {"ThresholdZeroTakesTheNearestOfAnyDifference", 1, 0.0f, false,
     {{3, 3, 3, 3}, {3, 3, 3.1f, 3.1f}, {3, 3, 3.1f, 3.1f}}, {3, 3}},
    {"InverseNearestIsTheLargestValue", 1, 0.1f, true,
     {{0.01f, 0.01f, 0.01f, 0.01f, 0.01f}, {0.5f, 0.01f, 0.01f, 0.01f, 0.01f}, {0.01f, 0.01f, 0.01f, 0.01f, 0.01f}},
     {0.5f, 0.01f, 0.01f}},
    {"InverseSmallJumpChangesNothing", 1, 0.1f, true,  // depths 10 and 9.52: 5 % apart
     {{0.1f, 0.1f, 0.1f, 0.1f}, {0.1f, 0.105f, 0.1f, 0.1f}, {0.1f, 0.1f, 0.1f, 0.1f}}, {0.105f, 0.1f}},
    {"InverseZeroIsInfinitelyFar", 1, 0.1f, true, {{0, 0, 0, 0}, {0, 0, 0, 0.2f}, {0, 0, 0, 0}}, {0, 0.2f}},
    {"RadiusTwoReachesTwoPixelsAndNoFurther", 2, 0.1f, false,
     {{50, 50, 50, 50, 50, 50}, {50, 50, 50, 50, 50, 50}, {5, 50, 50, 50, 50, 50}, {50, 50, 50, 50, 50, 50},
      {50, 50, 50, 50, 50, 50}}, {5, 50}},
    {"RadiusTwoReachesTwoRowsUp", 2, 0.1f, false,
     {{50, 50, 50, 50, 50, 6}, {50, 50, 50, 50, 50, 50}, {50, 50, 50, 50, 50, 50}, {50, 50, 50, 50, 50, 50},
      {50, 50, 50, 50, 50, 50}}, {50, 6}},
    {"NonFiniteNeighboursAreIgnored", 1, 0.1f, false,
     {{10, 10, -kInf, 10, 10}, {10, kNaN, 10, kInf, 10}, {10, 10, 10, 10, 10}}, {kNaN, 10, kInf}},
    {"NonFiniteNeighboursDoNotHideAJump", 1, 0.1f, false,
     {{10, kNaN, 1, 10, 10}, {kInf, 10, 10, 10, 10}, {10, 10, 10, 10, 10}}, {1, 1, 1}},
    {"NonFinitePixelsStayEvenBesideAJump", 1, 0.1f, false, {{1, 1, 1, 1}, {1, kNaN, -kInf, 90}, {90, 90, 90, 90}},
     {kNaN, -kInf}},
    // The bottom-left corner of the image {row 0: 50 5; row 1: 50 50}, with its edge pixels
    // repeated past it as the host's rows do.
    {"ImageCornerWithRepeatedEdges", 1, 0.1f, false, {{50, 50, 50, 50}, {50, 50, 5, 5}, {50, 50, 5, 5}}, {5, 5}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Cases, DepthEdgeRowTable, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
