// The sample walk: overlapping samples cut into weighted pieces, nearest first. Expected pieces
// are worked by hand from the samples' depth ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "DDImage/DeepPixel.h"
#include "ktCombineSamples.h"

using namespace DD::Image;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Range {
  float front, back;
};

// A piece as expected: the sample it comes from, its depth range and its weight.
struct Piece {
  size_t sample;
  float front, back, weight;
};

struct WalkCase {
  std::string name;
  std::vector<Range> samples;  // farthest first, as ordered access gives them
  std::vector<Piece> pieces;   // nearest first
};

std::ostream& operator<<(std::ostream& os, const WalkCase& c) { return os << c.name; }

// Sample i carries red i + 1 and alpha 0.5 + 0.1 i, so a piece's values name its sample and weight.
float redOf(size_t i) { return float(i + 1); }
float alphaOf(size_t i) { return 0.5f + 0.1f * float(i); }

const ChannelSet kLayout = ChannelSet(Chan_Red) + Chan_Alpha + Chan_DeepFront + Chan_DeepBack;

std::vector<float> layOut(const std::vector<Range>& samples) {
  std::vector<float> data;
  for (size_t i = 0; i < samples.size(); ++i) {
    data.insert(data.end(), {redOf(i), alphaOf(i), samples[i].front, samples[i].back});
  }
  return data;
}

bool sameDepth(float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

class WalkTable : public testing::TestWithParam<WalkCase> {};

TEST_P(WalkTable, CutsSamplesIntoTheExpectedPieces) {
  const WalkCase& c = GetParam();
  const ChannelMap map(kLayout);
  const std::vector<float> data = layOut(c.samples);
  const DeepPixel pixel(map, data.data(), (c.samples.size()) * map.size(), DeepPixel::eZDescending);

  DeepOutPixel out;
  combineSamples(kLayout, pixel, out);
  const DeepPixel pieces = out.getPixel(map, DeepPixel::eZAscending);

  ASSERT_EQ(out.size() % 4, 0u);
  ASSERT_EQ(pieces.getSampleCount(), c.pieces.size());
  for (size_t j = 0; j < c.pieces.size(); ++j) {
    const Piece& e = c.pieces[j];
    const float front = pieces.getUnorderedSample(j, Chan_DeepFront);
    const float back = pieces.getUnorderedSample(j, Chan_DeepBack);
    EXPECT_TRUE(sameDepth(front, e.front)) << "piece " << j << " front " << front << " expected " << e.front;
    EXPECT_TRUE(sameDepth(back, e.back)) << "piece " << j << " back " << back << " expected " << e.back;
    EXPECT_NEAR(pieces.getUnorderedSample(j, Chan_Red), redOf(e.sample) * e.weight, 1e-5f) << "piece " << j;
    EXPECT_NEAR(pieces.getUnorderedSample(j, Chan_Alpha), alphaOf(e.sample) * e.weight, 1e-5f)
        << "piece " << j;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Deep, WalkTable,
    testing::Values(
        WalkCase{"Empty", {}, {}}, WalkCase{"OneThickSampleIsNeverCut", {{1, 8}}, {{0, 1, 8, 1}}},
        WalkCase{"Points", {{5, 5}, {3, 3}, {1, 1}}, {{2, 1, 1, 1}, {1, 3, 3, 1}, {0, 5, 5, 1}}},
        WalkCase{"EqualPoints", {{2, 2}, {2, 2}}, {{1, 2, 2, 1}, {0, 2, 2, 1}}},
        WalkCase{"ThickApart", {{6, 8}, {3, 5}, {1, 2}}, {{2, 1, 2, 1}, {1, 3, 5, 1}, {0, 6, 8, 1}}},
        WalkCase{"ThickTouching", {{3, 6}, {1, 3}}, {{1, 1, 3, 1}, {0, 3, 6, 1}}},
        WalkCase{"NearReachesIntoFar", {{3, 6}, {1, 4}}, {{1, 1, 3, 2.0f / 3}, {0, 3, 6, 1}}},
        WalkCase{"NearSpansFar", {{3, 6}, {1, 8}}, {{1, 1, 3, 2.0f / 7}, {0, 3, 6, 1}, {1, 6, 8, 2.0f / 7}}},
        WalkCase{"ThickOverPoint", {{4, 4}, {2, 6}}, {{1, 2, 4, 0.5f}, {0, 4, 4, 1}, {1, 4, 6, 0.5f}}},
        // Sample 2 cuts at 3, sample 1 at 5; sample 2 resumes behind sample 1's back (7), not sample 0's.
        WalkCase{"ChainOfThree",
                 {{5, 9}, {3, 7}, {1, 10}},
                 {{2, 1, 3, 2.0f / 9}, {1, 3, 5, 0.5f}, {0, 5, 9, 1}, {2, 7, 10, 1.0f / 3}}},
        WalkCase{"ChainThenWalkGoesOn",
                 {{20, 21}, {5, 9}, {3, 7}, {1, 4}},
                 {{3, 1, 3, 2.0f / 3}, {2, 3, 5, 0.5f}, {1, 5, 9, 1}, {0, 20, 21, 1}}},
        // Sample 3 resumes behind sample 2 (back 6), which ends before sample 1 does; so its
        // remainder [6, 7] comes out after sample 1's remainder [10, 12]: the pieces are not in
        // order of front depth here.
        WalkCase{"RemainderAfterADeeperRemainder",
                 {{10, 10}, {5, 12}, {3, 6}, {0, 7}},
                 {{3, 0, 3, 3.0f / 7},
                  {2, 3, 5, 2.0f / 3},
                  {1, 5, 10, 5.0f / 7},
                  {0, 10, 10, 1},
                  {1, 10, 12, 2.0f / 7},
                  {3, 6, 7, 1.0f / 7}}},
        WalkCase{"TwoChainsOneAfterTheOther",
                 {{12, 14}, {11, 13}, {3, 6}, {1, 4}},
                 {{3, 1, 3, 2.0f / 3}, {2, 3, 6, 1}, {1, 11, 12, 0.5f}, {0, 12, 14, 1}}},
        WalkCase{"ThicknessOneMillionthIsCut",
                 {{5e-7f, 3e-6f}, {0.0f, 1e-6f}},
                 {{1, 0.0f, 5e-7f, 0.5f}, {0, 5e-7f, 3e-6f, 1}}},
        WalkCase{
            "ThinnerIsAPoint", {{5e-7f, 3e-6f}, {0.0f, 9e-7f}}, {{1, 0.0f, 9e-7f, 1}, {0, 5e-7f, 3e-6f, 1}}},
        WalkCase{"BackBeforeFrontIsAPoint", {{6, 9}, {5, 2}}, {{1, 5, 2, 1}, {0, 6, 9, 1}}},
        WalkCase{"NaNFrontIsWhole", {{3, 6}, {kNaN, 4}}, {{1, kNaN, 4, 1}, {0, 3, 6, 1}}},
        WalkCase{"NaNFartherFrontIsNoCut", {{kNaN, 6}, {1, 4}}, {{1, 1, 4, 1}, {0, kNaN, 6, 1}}},
        WalkCase{
            "NaNFartherBackLeavesNoRemainder", {{3, kNaN}, {1, 8}}, {{1, 1, 3, 2.0f / 7}, {0, 3, kNaN, 1}}}),
    [](const testing::TestParamInfo<WalkCase>& info) { return info.param.name; });

TEST(CombineSamples, ZInTheLayoutIsThePieceFront) {
  const ChannelSet layout = ChannelSet(Chan_Alpha) + Chan_Z + Chan_DeepFront + Chan_DeepBack;
  const ChannelMap map(layout);
  const float data[] = {1.0f, 99.0f, 3.0f, 6.0f,   // farthest: [3, 6], own Z 99
                        1.0f, 42.0f, 1.0f, 8.0f};  // nearest: [1, 8], own Z 42
  const DeepPixel pixel(map, data, (2) * map.size(), DeepPixel::eZDescending);
  DeepOutPixel out;
  combineSamples(layout, pixel, out);
  const DeepPixel pieces = out.getPixel(map, DeepPixel::eZAscending);
  ASSERT_EQ(pieces.getSampleCount(), 3u);
  const float fronts[] = {1.0f, 3.0f, 6.0f};
  for (size_t j = 0; j < 3; ++j) EXPECT_EQ(pieces.getUnorderedSample(j, Chan_Z), fronts[j]) << j;
}

TEST(CombineSamples, AppendsAfterWhatTheOutputAlreadyHolds) {
  const ChannelMap map(kLayout);
  const std::vector<float> data = layOut({{2, 2}});
  const DeepPixel pixel(map, data.data(), (1) * map.size(), DeepPixel::eZDescending);
  DeepOutPixel out;
  for (int i = 0; i < 4; ++i) out.push_back(-1.0f);
  combineSamples(kLayout, pixel, out);
  ASSERT_EQ(out.size(), 8u);
  EXPECT_EQ(out.data()[3], -1.0f);
  EXPECT_EQ(out.data()[6], 2.0f);
}

// Nested samples, farthest first: sample i covers [n - i, n + 1 + i], so each reaches into the
// next farther one, and the whole pixel is one chain n samples long. Sample i (i > 0) has
// thickness 2i + 1 and loses [n - i + 1, n + i] to the samples inside it: a front piece
// [n - i, n - i + 1] and a back piece [n + i, n + 1 + i], each of weight 1 / (2i + 1).
TEST(CombineSamples, ALongChainIsWalkedWithoutExhaustingTheStack) {
  const size_t n = 100000;
  std::vector<Range> samples(n);
  for (size_t i = 0; i < n; ++i) samples[i] = {float(n - i), float(n + 1 + i)};
  const ChannelMap map(kLayout);
  const std::vector<float> data = layOut(samples);
  const DeepPixel pixel(map, data.data(), (n) * map.size(), DeepPixel::eZDescending);

  DeepOutPixel out;
  combineSamples(kLayout, pixel, out);
  const DeepPixel pieces = out.getPixel(map, DeepPixel::eZAscending);
  ASSERT_EQ(pieces.getSampleCount(), 2 * n - 1);

  size_t mismatches = 0;
  for (size_t j = 0; j < 2 * n - 1; ++j) {
    Piece e;
    if (j < n - 1) {
      const size_t i = n - 1 - j;
      e = {i, float(n - i), float(n - i + 1), 1.0f / float(2 * i + 1)};
    } else if (j == n - 1) {
      e = {0, float(n), float(n + 1), 1.0f};
    } else {
      const size_t i = j - (n - 1);
      e = {i, float(n + i), float(n + 1 + i), 1.0f / float(2 * i + 1)};
    }
    const bool ok = pieces.getUnorderedSample(j, Chan_DeepFront) == e.front &&
                    pieces.getUnorderedSample(j, Chan_DeepBack) == e.back &&
                    std::fabs(pieces.getUnorderedSample(j, Chan_Red) - redOf(e.sample) * e.weight) <=
                        1e-4f * redOf(e.sample) * e.weight;
    if (!ok && mismatches++ < 5) ADD_FAILURE() << "piece " << j << " differs";
  }
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
