// Rows addressed by absolute column, and the edge rule of row fetches.
#include <gtest/gtest.h>

#include <memory>

#include "DDImage/MemoryIop.h"
#include "DDImage/Row.h"

using namespace DD::Image;

namespace {

// A 4 x 3 box at (10, 20) inside a 40 x 40 format; red = 100 * row + column.
std::unique_ptr<MemoryIop> makeImage() {
  auto img = std::make_unique<MemoryIop>(Format(40, 40), Box(10, 20, 14, 23), Mask_RGB);
  for (int y = 20; y < 23; ++y)
    for (int x = 10; x < 14; ++x) img->set(x, y, Chan_Red, float(100 * y + x));
  return img;
}

TEST(Row, AbsoluteColumnsWriteAndRead) {
  Row row(-5, 5);
  float* p = row.writable(Chan_Green);
  for (int x = -5; x < 5; ++x) p[x] = float(x);
  EXPECT_EQ(row[Chan_Green][-5], -5.0f);
  EXPECT_EQ(row[Chan_Green][4], 4.0f);
  EXPECT_EQ(row[Chan_Blue][0], 0.0f);  // never written: zeros
}

TEST(Row, CopyAndErase) {
  Row a(0, 8), b(0, 8);
  for (int x = 0; x < 8; ++x) a.writable(Chan_Red)[x] = float(x + 1);
  b.copy(a, ChannelSet(Chan_Red), 2, 5);
  EXPECT_EQ(b[Chan_Red][1], 0.0f);
  EXPECT_EQ(b[Chan_Red][2], 3.0f);
  EXPECT_EQ(b[Chan_Red][4], 5.0f);
  EXPECT_EQ(b[Chan_Red][5], 0.0f);
  a.erase(ChannelSet(Chan_Red));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(a[Chan_Red][x], 0.0f);
}

struct EdgeCase {
  int y, x, r;
  std::vector<float> expected;
};

class EdgeRepeat : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeRepeat, OutsideTheBoxRepeatsTheNearestEdgePixel) {
  auto img = makeImage();
  const EdgeCase& c = GetParam();
  Row row(c.x, c.r);
  row.get(*img, c.y, c.x, c.r, Mask_RGB);
  for (int x = c.x; x < c.r; ++x) EXPECT_EQ(row[Chan_Red][x], c.expected[x - c.x]) << "column " << x;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EdgeRepeat,
    ::testing::Values(EdgeCase{21, 10, 14, {2110, 2111, 2112, 2113}},                // inside
                      EdgeCase{21, 8, 16, {2110, 2110, 2110, 2111, 2112, 2113, 2113, 2113}},  // both sides
                      EdgeCase{5, 12, 14, {2012, 2013}},                              // below the box
                      EdgeCase{30, 9, 11, {2210, 2210}},                              // above the box
                      EdgeCase{22, 30, 33, {2213, 2213, 2213}},                       // wholly right
                      EdgeCase{20, -9, -7, {2010, 2010}}),
    [](const auto& info) { return std::to_string(info.index); });                           // wholly left

TEST(Iop, AtUsesTheSameEdgeRule) {
  auto img = makeImage();
  EXPECT_EQ(img->at(12, 21, Chan_Red), 2112.0f);
  EXPECT_EQ(img->at(0, 0, Chan_Red), 2010.0f);
  EXPECT_EQ(img->at(99, 99, Chan_Red), 2213.0f);
  EXPECT_EQ(img->at(12, 21, Chan_Alpha), 0.0f);
}

TEST(Iop, EmptyBoxGivesZeros) {
  MemoryIop img(Format(4, 4), Box(2, 2, 2, 2), Mask_RGB);
  Row row(0, 4);
  row.get(img, 1, 0, 4, Mask_RGB);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(row[Chan_Red][x], 0.0f);
}

}  // namespace
