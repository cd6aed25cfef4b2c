// The per-slice accumulation rows and their front-to-back compositing, on values set by hand.
#include <gtest/gtest.h>

#include <ostream>
#include <utility>
#include <vector>

#include "defocusTestSupport.h"
#include "ktSliceBuffers.h"

using DD::Image::Chan_Alpha;
using DD::Image::Chan_Blue;
using DD::Image::Chan_Green;
using DD::Image::Chan_Red;
using DD::Image::Chan_Z;
using DD::Image::Channel;
using DD::Image::ChannelSet;

namespace {

TEST(SliceBuffers, RowsAreZeroedSeparateAndAddressedByAbsoluteColumn) {
  const ChannelSet channels = ChannelSet(Chan_Red) + Chan_Alpha;
  ktSliceBuffers b(3, channels, -4, 6);
  ASSERT_EQ(b.slices(), 3);
  ASSERT_EQ(b.colourRows.size(), 3u);
  ASSERT_EQ(b.weightRows.size(), 3u);

  // Every row starts at 0; then each gets a value of its own in every column.
  std::vector<float*> rows;
  for (int s = 0; s < 3; ++s)
    for (Channel z : channels) rows.push_back(b.colourRows[s][z]), rows.push_back(b.weightRows[s][z]);
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_NE(rows[i], nullptr);
    for (int col = -4; col < 6; ++col) {
      EXPECT_EQ(rows[i][col], 0.0f);
      rows[i][col] = static_cast<float>(100 * i + col + 4);
    }
  }
  for (size_t i = 0; i < rows.size(); ++i)
    for (int col = -4; col < 6; ++col) EXPECT_EQ(rows[i][col], static_cast<float>(100 * i + col + 4));

  for (int s = 0; s < 3; ++s)
    for (Channel z : {Chan_Green, Chan_Blue, Chan_Z}) {
      EXPECT_EQ(b.colourRows[s][z], nullptr);
      EXPECT_EQ(b.weightRows[s][z], nullptr);
    }
}

// One column's weight and colour per slice, nearest first, and the composited value.
struct CompositeCase {
  const char* name;
  std::vector<std::pair<float, float>> slices;  // (W, C)
  double expected;
};
void PrintTo(const CompositeCase& c, std::ostream* os) { *os << c.name; }

class Composite : public ::testing::TestWithParam<CompositeCase> {};

// a = 1, b = 2, c = 4 stand for the slices' own normalised colours.
TEST_P(Composite, NearerSlicesCoverFartherOnes) {
  const CompositeCase& c = GetParam();
  const int n = static_cast<int>(c.slices.size());
  ktSliceBuffers b(n, (ChannelSet(Chan_Green)), -3, 4);
  for (int s = 0; s < n; ++s) {
    b.weightRows[s][Chan_Green][0] = c.slices[s].first;
    b.colourRows[s][Chan_Green][0] = c.slices[s].second;
  }
  std::vector<float> out(7, 99.0f);
  b.composite(Chan_Green, out.data() + 3);
  EXPECT_NEAR(out[3], c.expected, 1e-6) << c.name;
  for (int i : {0, 1, 2, 4, 5, 6})
    EXPECT_EQ(out[i], 0.0f) << c.name << ": column " << i - 3 << " reached nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Composite,
    ::testing::Values(
        CompositeCase{"half front over full back", {{0.5f, 0.5f * 1}, {1.0f, 2.0f}}, 0.5 * 1 + 0.5 * 2},
        CompositeCase{"heavy front hides back", {{2.0f, 2.0f * 1}, {1.0f, 2.0f}}, 1.0},
        CompositeCase{"one slice divides", {{2.0f, 3.0f}}, 1.5},
        CompositeCase{"one light slice divides", {{0.25f, 0.5f}}, 2.0},
        CompositeCase{"empty front", {{0.0f, 0.0f}, {0.5f, 0.5f * 2}}, 2.0},
        CompositeCase{"empty back", {{0.5f, 0.5f * 1}, {0.0f, 0.0f}}, 1.0},
        CompositeCase{"three slices fill up",
                      {{0.25f, 0.25f * 1}, {0.5f, 0.5f * 2}, {1.0f, 4.0f}},
                      0.25 * 1 + 0.5 * 2 + 0.25 * 4},
        CompositeCase{"two partial slices stay partial", {{0.25f, 0.25f * 1}, {0.25f, 0.25f * 2}}, 1.5},
        CompositeCase{"nothing reached", {{0.0f, 0.0f}, {0.0f, 0.0f}}, 0.0}),
    [](const auto& info) { return defocus_test::caseName(info.param.name); });

TEST(SliceBuffers, CompositesEachChannelOnItsOwn) {
  ktSliceBuffers b(2, (ChannelSet(Chan_Red) + Chan_Blue), 0, 2);
  b.weightRows[0][Chan_Red][1] = 1.0f;
  b.colourRows[0][Chan_Red][1] = 3.0f;
  b.weightRows[1][Chan_Blue][1] = 0.5f;
  b.colourRows[1][Chan_Blue][1] = 2.0f;
  float red[2] = {5, 5}, blue[2] = {5, 5};
  b.composite(Chan_Red, red);
  b.composite(Chan_Blue, blue);
  EXPECT_FLOAT_EQ(red[0], 0.0f);
  EXPECT_FLOAT_EQ(red[1], 3.0f);
  EXPECT_FLOAT_EQ(blue[0], 0.0f);
  EXPECT_FLOAT_EQ(blue[1], 4.0f);
}

}  // namespace
