// The scatter of one source pixel, observed through the rows it adds into: which kernels and
// shares it uses, where its footprint lands, bloom and chromatic displacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <utility>
#include <vector>

#include "defocusTestSupport.h"
#include "ktConvole.h"

using namespace defocus_test;
using DD::Image::Chan_Alpha;
using DD::Image::Chan_Blue;
using DD::Image::Chan_Green;
using DD::Image::Chan_Red;
using DD::Image::Channel;
using DD::Image::ChannelSet;
using DD::Image::Mask_RGBA;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A source pixel's values by channel id.
struct Pixel {
  std::vector<float> v = std::vector<float>(DD::Image::Chan_Last, 0.0f);
  Pixel(float rgb, float alpha) {
    v[Chan_Red] = v[Chan_Green] = v[Chan_Blue] = rgb;
    v[Chan_Alpha] = alpha;
  }
};

// Scatters one pixel into one output row with the matte values given.
void scatter(const Render& render, Rows& rows, int rowY, int srcX, int srcY, float size, const Pixel& pixel,
             float weight = 1.0f, int bloomX = 0, int bloomY = 0, float bloomMatte = 1.0f,
             float aberrationMatte = 1.0f, const ChannelSet& channels = Mask_RGBA) {
  convole(render.context(), bloomX, bloomY, rows.x, rowY, rows.r, srcX, srcY, size, 0, weight, pixel.v.data(),
          rows.colour, rows.weight, channels, bloomMatte, aberrationMatte);
}

// ---- Kernel choice: entry k is a box of its side whose taps all equal k + 1, so the weight a
// column receives names the kernels and shares used.

struct KernelUse {
  int index;
  float share;
};

struct ChoiceCase {
  const char* name;
  int entries;
  float size;
  float weight;
  std::vector<KernelUse> uses;
};
void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class KernelChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(KernelChoice, WeightsNameTheKernelsAndShares) {
  const ChoiceCase& c = GetParam();
  Render render;
  render.bank =
      makeBank(c.entries, Mask_RGBA, [](int k, int, int, int) { return static_cast<float>(k + 1); });
  Rows rows(1, Mask_RGBA, 0, 41);
  scatter(render, rows, 10, 20, 10, c.size, Pixel(2.0f, 0.5f), c.weight);

  for (int col = 0; col < 41; ++col) {
    double expected = 0.0;
    for (const KernelUse& u : c.uses)
      if (std::abs(col - 20) <= sideOf(u.index) / 2) expected += u.share * (u.index + 1);
    EXPECT_NEAR(rows.weight[0][Chan_Red][col], expected, 1e-5) << c.name << " column " << col;
    EXPECT_NEAR(rows.colour[0][Chan_Red][col], 2.0 * expected, 2e-5) << c.name << " column " << col;
    EXPECT_NEAR(rows.colour[0][Chan_Alpha][col], 0.5 * expected, 1e-5) << c.name << " column " << col;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, KernelChoice,
    ::testing::Values(ChoiceCase{"size 1 one kernel", 12, 1.0f, 1.0f, {{1, 1.0f}}},
                      ChoiceCase{"size 3 one kernel", 12, 3.0f, 1.0f, {{3, 1.0f}}},
                      ChoiceCase{"size 5 one kernel", 12, 5.0f, 1.0f, {{5, 1.0f}}},
                      ChoiceCase{"size 2 halves of widths 1 and 3", 12, 2.0f, 1.0f, {{2, 0.5f}, {4, 0.5f}}},
                      ChoiceCase{"size 2.5", 12, 2.5f, 1.0f, {{2, 0.25f}, {4, 0.75f}}},
                      ChoiceCase{"size 4.6", 12, 4.6f, 1.0f, {{4, 0.2f}, {6, 0.8f}}},
                      ChoiceCase{"size 4.6 at weight one half", 12, 4.6f, 0.5f, {{4, 0.1f}, {6, 0.4f}}},
                      ChoiceCase{"size 0.5 above full share", 12, 0.5f, 1.0f, {{1, 1.25f}}},
                      ChoiceCase{"size 0 uses entry 1", 12, 0.0f, 1.0f, {{1, 1.5f}}},
                      ChoiceCase{"size at bank end", 8, 8.0f, 1.0f, {{7, 1.0f}}},
                      ChoiceCase{"size far beyond bank", 8, 50.0f, 1.0f, {{7, 1.0f}}},
                      ChoiceCase{"negative size", 8, -3.0f, 1.0f, {{7, 1.0f}}},
                      ChoiceCase{"NaN size", 8, kNaN, 1.0f, {{7, 1.0f}}},
                      ChoiceCase{"infinite size", 8, kInf, 1.0f, {{7, 1.0f}}},
                      ChoiceCase{"last entry second pass clamped", 8, 7.4f, 1.0f, {{7, 0.8f}, {7, 0.2f}}},
                      ChoiceCase{
                          "one before last second pass clamped", 8, 6.5f, 1.0f, {{6, 0.25f}, {7, 0.75f}}}),
    [](const auto& info) { return caseName(info.param.name); });

// ---- Reach and span: a 5-wide box (half width 2) scattered near the span 10 .. 19 of row 5.

struct ReachCase {
  const char* name;
  int srcX, srcY;
  int first, last;  // columns that receive; first > last when none
};
void PrintTo(const ReachCase& c, std::ostream* os) { *os << c.name; }

class Reach : public ::testing::TestWithParam<ReachCase> {};

TEST_P(Reach, OnlyCoveredColumnsInsideTheSpanReceive) {
  const ReachCase& c = GetParam();
  Render render;
  render.bank = makeBank(10, Mask_RGBA, boxTap);
  Rows rows(1, Mask_RGBA, 10, 20);
  scatter(render, rows, 5, c.srcX, c.srcY, 5.0f, Pixel(3.0f, 1.0f));
  for (int col = 10; col < 20; ++col) {
    const bool inside = col >= c.first && col <= c.last;
    EXPECT_FLOAT_EQ(rows.weight[0][Chan_Green][col], inside ? 1.0f / 25.0f : 0.0f)
        << c.name << " column " << col;
    EXPECT_FLOAT_EQ(rows.colour[0][Chan_Green][col], inside ? 3.0f / 25.0f : 0.0f)
        << c.name << " column " << col;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Positions, Reach,
    ::testing::Values(
        ReachCase{"centred", 15, 5, 13, 17}, ReachCase{"top row of kernel", 15, 3, 13, 17},
        ReachCase{"bottom row of kernel", 15, 7, 13, 17}, ReachCase{"one row too low", 15, 2, 1, 0},
        ReachCase{"one row too high", 15, 8, 1, 0}, ReachCase{"left overlap of two", 9, 5, 10, 11},
        ReachCase{"left overlap of one", 8, 5, 10, 10}, ReachCase{"left out of reach", 7, 5, 1, 0},
        ReachCase{"right overlap of two", 20, 5, 18, 19}, ReachCase{"right overlap of one", 21, 5, 19, 19},
        ReachCase{"right out of reach", 22, 5, 1, 0}, ReachCase{"far away", -100000, 5, 1, 0}),
    [](const auto& info) { return caseName(info.param.name); });

TEST(Convole, KernelWiderThanSpanFillsOnlyTheSpan) {
  Render render;
  render.bank = makeBank(10, Mask_RGBA, boxTap);
  Rows rows(1, Mask_RGBA, 14, 16);
  scatter(render, rows, 0, 15, 0, 7.0f, Pixel(1.0f, 1.0f));
  EXPECT_FLOAT_EQ(rows.weight[0][Chan_Red][14], 1.0f / 49.0f);
  EXPECT_FLOAT_EQ(rows.weight[0][Chan_Red][15], 1.0f / 49.0f);
}

// Kernel row 0 lands on the highest output row reached (rows count upward), column 0 leftmost.
TEST(Convole, KernelRowZeroLandsOnTheTopRow) {
  Render render;
  render.bank = makeBank(10, Mask_RGBA, rampTap);
  for (int rowY = 3; rowY <= 7; ++rowY) {
    Rows rows(1, Mask_RGBA, 10, 20);
    scatter(render, rows, rowY, 15, 5, 5.0f, Pixel(1.0f, 1.0f));
    const int kernelRow = 7 - rowY;
    for (int col = 13; col <= 17; ++col)
      EXPECT_FLOAT_EQ(rows.weight[0][Chan_Blue][col], rampTap(5, 5, kernelRow, col - 13))
          << "row " << rowY << " column " << col;
  }
}

// ---- Pass weights that are not positive: the rows are left exactly as they were, even for a
// value that would turn any product into NaN.

class NoWeight : public ::testing::TestWithParam<float> {};

TEST_P(NoWeight, LeavesRowsUntouched) {
  Render render;
  render.bank = makeBank(10, Mask_RGBA, boxTap);
  Rows rows(1, Mask_RGBA, 0, 20, 7.0f);
  scatter(render, rows, 3, 10, 3, 4.6f, Pixel(kInf, kInf), GetParam());
  for (Channel z : ChannelSet(Mask_RGBA))
    for (int col = 0; col < 20; ++col) {
      EXPECT_EQ(rows.colour[0][z][col], 7.0f) << "channel " << z << " column " << col;
      EXPECT_EQ(rows.weight[0][z][col], 7.0f) << "channel " << z << " column " << col;
    }
}

INSTANTIATE_TEST_SUITE_P(Weights, NoWeight, ::testing::Values(0.0f, -0.0f, -1.0f));

TEST(Convole, IgnoresChannelsOutsideActiveAndOutsideTheSet) {
  Render render;
  render.settings.activeChannels = (ChannelSet(Chan_Red) + Chan_Green);
  render.bank = makeBank(10, Mask_RGBA, boxTap);
  Rows rows(1, Mask_RGBA, 0, 10);
  scatter(render, rows, 0, 5, 0, 1.0f, Pixel(0.5f, 0.5f), 1.0f, 0, 0, 1.0f, 1.0f,
          (ChannelSet(Chan_Red) + Chan_Alpha));
  EXPECT_FLOAT_EQ(rows.colour[0][Chan_Red][5], 0.5f);
  EXPECT_FLOAT_EQ(rows.weight[0][Chan_Green][5], 0.0f);  // active but not asked for
  EXPECT_FLOAT_EQ(rows.weight[0][Chan_Alpha][5], 0.0f);  // asked for but not active
}

// ---- Bloom on a one-pixel kernel in a 100 x 50 frame (centre 50, 25): the colour row holds
// the scattered value itself.

struct BloomCase {
  const char* name;
  float bloom, curvature, threshold;
  int outputType;
  int bloomX, bloomY;
  float matte;
  float value;
  double expected;
};
void PrintTo(const BloomCase& c, std::ostream* os) { *os << c.name; }

class Bloom : public ::testing::TestWithParam<BloomCase> {};

TEST_P(Bloom, AddsLightAboveThresholdWithRadialFalloff) {
  const BloomCase& c = GetParam();
  Render render;
  render.format = DD::Image::Format(100, 50);
  render.settings.bloom = c.bloom;
  render.settings.bloomCurvature = c.curvature;
  render.settings.bloomThreshold = c.threshold;
  render.settings.outputType = c.outputType;
  render.bank = makeBank(8, Mask_RGBA, boxTap);
  Rows rows(1, Mask_RGBA, 0, 10);
  scatter(render, rows, 0, 5, 0, 1.0f, Pixel(c.value, 0.9f), 1.0f, c.bloomX, c.bloomY, c.matte);
  for (Channel z : {Chan_Red, Chan_Green, Chan_Blue})
    EXPECT_NEAR(rows.colour[0][z][5], c.expected, 1e-5) << c.name << " channel " << z;
  EXPECT_FLOAT_EQ(rows.colour[0][Chan_Alpha][5], 0.9f) << c.name << ": alpha never blooms";
  EXPECT_FLOAT_EQ(rows.weight[0][Chan_Red][5], 1.0f) << c.name << ": weight never blooms";
}

// 0.5^2.001 = 0.25 * exp(-0.001 ln 2) = 0.2498267.
const double kHalfwayFalloff = 0.2498267;

INSTANTIATE_TEST_SUITE_P(
    Cases, Bloom,
    ::testing::Values(
        BloomCase{"edge middle", 1, 2, 0.7f, kDefocusedImage, 100, 25, 1, 1.7f, 2.7},
        BloomCase{"edge middle bloom only", 1, 2, 0.7f, kLensBloom, 100, 25, 1, 1.7f, 1.0},
        BloomCase{"top edge middle", 1, 2, 0.7f, kDefocusedImage, 50, 50, 1, 1.7f, 2.7},
        BloomCase{"halfway", 1, 2, 0.7f, kDefocusedImage, 75, 25, 1, 1.7f, 1.7 + kHalfwayFalloff},
        BloomCase{"halfway bloom only", 1, 2, 0.7f, kLensBloom, 75, 25, 1, 1.7f, kHalfwayFalloff},
        BloomCase{"centre gets none", 1, 2, 0.7f, kDefocusedImage, 50, 25, 1, 1.7f, 1.7},
        BloomCase{"corner clamped to one", 1, 2, 0.7f, kDefocusedImage, 0, 0, 1, 1.7f, 2.7},
        BloomCase{"below threshold", 1, 2, 0.7f, kDefocusedImage, 100, 25, 1, 0.5f, 0.5},
        BloomCase{"below threshold bloom only", 1, 2, 0.7f, kLensBloom, 100, 25, 1, 0.5f, 0.0},
        BloomCase{"zero curvature is uniform", 1, 0, 0.7f, kDefocusedImage, 50, 25, 1, 1.7f, 2.7},
        BloomCase{"negative curvature is uniform", 2, -1, 0.7f, kDefocusedImage, 50, 25, 1, 1.7f, 3.7},
        BloomCase{"bloom matte halves", 1, 2, 0.7f, kDefocusedImage, 100, 25, 0.5f, 1.7f, 2.2},
        BloomCase{"bloom matte zero", 1, 0, 0.7f, kLensBloom, 100, 25, 0, 1.7f, 0.0},
        BloomCase{"no bloom", 0, 2, 0.7f, kDefocusedImage, 100, 25, 1, 1.7f, 1.7},
        BloomCase{"no bloom bloom only is black", 0, 0, 0.0f, kLensBloom, 100, 25, 1, 1.7f, 0.0},
        BloomCase{"negative bloom adds none", -1, 0, 0.0f, kDefocusedImage, 100, 25, 1, 1.7f, 1.7}),
    [](const auto& info) { return caseName(info.param.name); });

// ---- Chromatic displacement, seen as the centre of each channel's footprint of a 9-wide box.

struct Centre {
  int x, y;
};

// Centre of channel z's footprint when `pixel` at (srcX, srcY) is scattered with the given size
// and matte; the footprint is checked to be a whole 9 x 9 square.
Centre footprintCentre(const Render& render, Channel z, int srcX, int srcY, float size, float matte) {
  const int x0 = srcX - 15, x1 = srcX + 16;
  int minX = x1, maxX = x0 - 1, minY = srcY + 16, maxY = srcY - 16, taps = 0;
  for (int rowY = srcY - 15; rowY <= srcY + 15; ++rowY) {
    Rows rows(1, Mask_RGBA, x0, x1);
    scatter(render, rows, rowY, srcX, srcY, size, Pixel(1.0f, 1.0f), 1.0f, 0, 0, 1.0f, matte);
    for (int col = x0; col < x1; ++col) {
      if (rows.weight[0][z][col] == 0.0f) continue;
      ++taps;
      minX = std::min(minX, col), maxX = std::max(maxX, col);
      minY = std::min(minY, rowY), maxY = std::max(maxY, rowY);
    }
  }
  EXPECT_EQ(taps, 81) << "channel " << z;
  EXPECT_EQ(maxX - minX, 8) << "channel " << z;
  EXPECT_EQ(maxY - minY, 8) << "channel " << z;
  return {(minX + maxX) / 2, (minY + maxY) / 2};
}

struct ChromaticCase {
  const char* name;
  float amount;
  float size;
  float matte;
  int srcX, srcY;
  Centre red, green, blue, alpha;
};
void PrintTo(const ChromaticCase& c, std::ostream* os) { *os << c.name; }

class Chromatic : public ::testing::TestWithParam<ChromaticCase> {};

// Offsets (1.0, 0.5, 0.25). With size 9 and matte 1 the spread is (4.5 - 1) * 0.1 = 0.35, so
// amount 10 moves red by (10 - 5) * 0.35 = 1.75, green (5 - 5) = 0 and blue, alpha -1.75; amount -10
// moves red 1.75, blue (2.5 - 5) * 0.35 = -0.875 and green, alpha -1.75. Sums truncate toward 0.
TEST_P(Chromatic, MovesEachChannelAlongTheDiagonal) {
  const ChromaticCase& c = GetParam();
  Render render;
  render.settings.kChrAbb = c.amount;
  render.settings.kChrAbbOff[0] = 1.0f;
  render.settings.kChrAbbOff[1] = 0.5f;
  render.settings.kChrAbbOff[2] = 0.25f;
  // Every entry a 9-wide box of ones, so that the footprint's size is the same for every size.
  render.bank.resize(30);
  for (ktChannelFloatBuffer& k : render.bank) {
    k.init(Mask_RGBA, 9, 9);
    for (Channel z : ChannelSet(Mask_RGBA)) std::fill(k.planes[z].begin(), k.planes[z].end(), 1.0f);
  }
  const Centre expected[4] = {c.red, c.green, c.blue, c.alpha};
  const Channel chans[4] = {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha};
  for (int i = 0; i < 4; ++i) {
    const Centre got = footprintCentre(render, chans[i], c.srcX, c.srcY, c.size, c.matte);
    EXPECT_EQ(got.x, expected[i].x) << c.name << " channel " << chans[i];
    EXPECT_EQ(got.y, expected[i].y) << c.name << " channel " << chans[i];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Chromatic,
    ::testing::Values(
        ChromaticCase{"none", 0, 9, 1, 20, 10, {20, 10}, {20, 10}, {20, 10}, {20, 10}},
        ChromaticCase{"positive", 10, 9, 1, 20, 10, {21, 11}, {20, 10}, {18, 8}, {18, 8}},
        ChromaticCase{"negative", -10, 9, 1, 20, 10, {21, 11}, {18, 8}, {19, 9}, {18, 8}},
        // Spread (17 * 0.5 * 0.5 - 1) * 0.1 = 0.325: red 1.625, blue -1.625.
        ChromaticCase{"matte scales the spread", 10, 17, 0.5f, 20, 10, {21, 11}, {20, 10}, {18, 8}, {18, 8}},
        // Spread 0.75: red 3.75, blue -3.75.
        ChromaticCase{"larger size", 10, 17, 1, 20, 10, {23, 13}, {20, 10}, {16, 6}, {16, 6}},
        ChromaticCase{"truncates toward zero", 10, 9, 1, 1, 1, {2, 2}, {1, 1}, {0, 0}, {0, 0}},
        ChromaticCase{"size 2 does not move", 10, 2, 1, 20, 10, {20, 10}, {20, 10}, {20, 10}, {20, 10}},
        ChromaticCase{"size times matte 1.8", 10, 9, 0.2f, 20, 10, {20, 10}, {20, 10}, {20, 10}, {20, 10}},
        ChromaticCase{"matte zero", 10, 9, 0, 20, 10, {20, 10}, {20, 10}, {20, 10}, {20, 10}}),
    [](const auto& info) { return caseName(info.param.name); });

}  // namespace
