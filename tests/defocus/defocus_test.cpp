// The flat engine: one source pixel's scatter observed through the rows it adds into (kernel
// choice, bloom, chromatic displacement), and whole rows against a brute-force gather written
// here and against layers worked by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "DDImage/Row.h"
#include "ktDefocus.h"
#include "ktDepthToCoc.h"
#include "ktLensValues.h"
#include "ktSliceBuffers.h"
#include "standin/MemoryIop.h"
#include "standin/OwnedRow.h"

using namespace DD::Image;
using namespace standin;

namespace {

const Channel kRGBA[4] = {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha};

// Side of bank entry k, written out: entries 0, 1, 2 are one pixel, then the odd sizes repeat.
int sideOf(int k) { return k < 3 ? 1 : (k % 2 == 1 ? k : k - 1); }

using TapFn = std::function<float(int k, int side, int row, int col)>;

std::vector<ktChannelFloatBuffer> makeBank(int entries, const TapFn& tap) {
  std::vector<ktChannelFloatBuffer> bank(entries);
  for (int k = 0; k < entries; ++k) {
    const int side = sideOf(k);
    bank[k].init(Mask_RGBA, side, side);
    for (Channel z : ChannelSet(Mask_RGBA))
      for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col) bank[k].planes[z][row * side + col] = tap(k, side, row, col);
  }
  return bank;
}

float boxTap(int, int side, int, int) { return 1.0f / float(side * side); }

// Normalised taps growing with row and column, so that a flipped or shifted kernel shows.
float rampTap(int, int side, int row, int col) {
  return float((1 + row + 2 * col) / (side * side * (1.0 + (side - 1) / 2.0 + (side - 1))));
}

// Everything a render context points at; artistic linear lens, focal plane 10, region 5 .. 15,
// so depth d blurs by min(1, |d - 10| / 5) x multiplier.
struct Render {
  Render(int w = 24, int h = 16) : format(w, h) {
    s.contextScale = 1.0f, s.bloom = s.kChrAbb = s.multiplier = 0.0f;
    s.activeChannels = Mask_RGBA;
    s.focalPlane = s.focusRegionSize = 10.0f;
    s.focusRegionFalloff = kFalloffLinear;
    s.correctiveSlices = 1;
    computeLensValues(s, w, h);
    bank = makeBank(12, boxTap);
  }
  ktRenderContext context() const {
    ktRenderContext c;
    c.settings = &s;
    c.kernels = &bank;
    c.sliceDepths = &sliceDepths;
    c.padding = padding;
    c.kernelSizeLimit = int(bank.size()) - 5;
    c.format = format;
    c.hasBloomMatte = c.hasDefocusMatte = mattes != nullptr;
    c.matteChannels = mattes ? (ChannelSet(Chan_Red) + Chan_Green) : ChannelSet();
    return c;
  }
  ktOrvelSettings s;
  std::vector<ktChannelFloatBuffer> bank;
  std::vector<float> sliceDepths;
  int padding = 3;
  Format format;
  MemoryIop* mattes = nullptr;  // bloom matte in red, defocus matte in green
};

// ---- One scatter into one slice's rows over columns x .. r-1 (row y), of a pixel of colour
// `rgb` and alpha `alpha` at (sx, sy) with blur `size`.

struct Scatter {
  Scatter(int x, int r) : x(x), r(r), buffers(1, Mask_RGBA, x, r) {}
  void operator()(const Render& render, int y, int sx, int sy, float size, float value,
                  float chromaticMatte) {
    const float v[4] = {value, value, value, value};
    orvel::convole(render.context(), {y, x, r}, ktScatter{sx, sy, size, 1.0f, 0, chromaticMatte, v}, buffers);
  }
  float weight(Channel z, int col) const { return buffers.weight(0, int(z) - 1)[col]; }
  int x, r;
  ktSliceBuffers buffers;
};

// Chromatic displacement, seen as the centre of each channel's 9 x 9 footprint. Offsets (1.0,
// 0.5, 0.25). With size 9 and matte 1 the spread is (4.5 - 1) x 0.1 = 0.35, so amount 10 moves
// red by (10 - 5) x 0.35 = 1.75, green (5 - 5) = 0 and blue, alpha -1.75; amount -10 moves red
// 1.75, blue (2.5 - 5) x 0.35 = -0.875 and green, alpha -1.75. Size 17 at matte 0.5 spreads
// (17 x 0.5 x 0.5 - 1) x 0.1 = 0.325, at matte 1 0.75. Sums truncate toward 0.
// clang-format off
struct ChromaticCase { const char* name; float amount, size, matte; int sx, sy; int centre[4][2]; };
// clang-format on
void PrintTo(const ChromaticCase& c, std::ostream* os) { *os << c.name; }

class Chromatic : public ::testing::TestWithParam<ChromaticCase> {};

TEST_P(Chromatic, MovesEachChannelAlongTheDiagonal) {
  const ChromaticCase& c = GetParam();
  Render render;
  render.s.kChrAbb = c.amount;
  render.s.kChrAbbOff[0] = 1.0f;
  render.s.kChrAbbOff[1] = 0.5f;
  render.s.kChrAbbOff[2] = 0.25f;
  render.bank.assign(30, {});
  for (ktChannelFloatBuffer& k : render.bank) {
    k.init(Mask_RGBA, 9, 9);
    for (Channel z : ChannelSet(Mask_RGBA)) std::fill(k.planes[z].begin(), k.planes[z].end(), 1.0f);
  }
  for (int i = 0; i < 4; ++i) {
    int minX = 1 << 20, maxX = -(1 << 20), minY = minX, maxY = maxX, taps = 0;
    for (int y = c.sy - 15; y <= c.sy + 15; ++y) {
      Scatter scatter(c.sx - 15, c.sx + 16);
      scatter(render, y, c.sx, c.sy, c.size, 1.0f, c.matte);
      for (int col = c.sx - 15; col <= c.sx + 15; ++col)
        if (scatter.weight(kRGBA[i], col) != 0.0f)
          ++taps, minX = std::min(minX, col), maxX = std::max(maxX, col), minY = std::min(minY, y),
                  maxY = std::max(maxY, y);
    }
    EXPECT_EQ(taps, 81) << "channel " << kRGBA[i];
    EXPECT_EQ((minX + maxX) / 2, c.centre[i][0]) << "channel " << kRGBA[i];
    EXPECT_EQ((minY + maxY) / 2, c.centre[i][1]) << "channel " << kRGBA[i];
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Chromatic,
    ::testing::Values(ChromaticCase{"none", 0, 9, 1, 20, 10, {{20, 10}, {20, 10}, {20, 10}, {20, 10}}},
                      ChromaticCase{"positive", 10, 9, 1, 20, 10, {{21, 11}, {20, 10}, {18, 8}, {18, 8}}},
                      ChromaticCase{"negative", -10, 9, 1, 20, 10, {{21, 11}, {18, 8}, {19, 9}, {18, 8}}},
                      ChromaticCase{"half_matte", 10, 17, 0.5f, 20, 10, {{21, 11}, {20, 10}, {18, 8}, {18, 8}}},
                      ChromaticCase{"large_blur", 10, 17, 1, 20, 10, {{23, 13}, {20, 10}, {16, 6}, {16, 6}}},
                      ChromaticCase{"near_the_corner", 10, 9, 1, 1, 1, {{2, 2}, {1, 1}, {0, 0}, {0, 0}}},
                      ChromaticCase{"blur_2_no_spread", 10, 2, 1, 20, 10, {{20, 10}, {20, 10}, {20, 10}, {20, 10}}},
                      ChromaticCase{"matte_zero", 10, 9, 0, 20, 10, {{20, 10}, {20, 10}, {20, 10}, {20, 10}}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// ---- Whole rows.

void paintRandom(MemoryIop& img, Channel z, float lo, float hi, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(lo, hi);
  const Box& b = img.info().box();
  for (int y = b.y(); y < b.t(); ++y)
    for (int x = b.x(); x < b.r(); ++x) img.set(x, y, z, dist(gen));
}

OwnedRow renderRow(const Render& render, MemoryIop& image, int y, int x, int r,
                   const ChannelSet& channels = Mask_RGBA) {
  OwnedRow out(x, r);
  ktSliceBuffers slices;
  orvel::defocus(render.context(), {y, x, r}, image, render.mattes, channels, slices, out.row());
  return out;
}

// Share of every bank entry in a blur of `size` (at least 1): a size between two odd sides
// blends their kernels by a tent of half-width 2 over the side, so that the mean side is the size,
// each side taken from the entry of the size's parity (size 4.5: entries 4 and 6, sides 3 and 5,
// shares 1/4 and 3/4). Entries past the bank stand for its last; past the bank, the last alone.
std::map<int, double> kernelShares(float size, int entries) {
  if (!(size < entries)) return {{entries - 1, 1.0}};
  std::map<int, double> shares;
  for (int k = 1; k < entries + 2; ++k) {
    const double tent = 1.0 - std::abs(size - sideOf(k)) / 2.0;
    if ((k - int(size)) % 2 == 0 && tent > 0.0) shares[std::min(k, entries - 1)] += tent;
  }
  return shares;
}

struct BruteCase {
  const char* name;
  int x, r, padding;
  Box box;                 // the input's, in a 24 x 16 format
  float bloom, curvature;  // threshold 0.3
  bool mattes;             // random bloom and defocus mattes
  int outputType;
};
void PrintTo(const BruteCase& c, std::ostream* os) { *os << c.name; }

class BruteForce : public ::testing::TestWithParam<BruteCase> {};

// Every output pixel gathers from every source pixel of its padded window directly: the source
// box repeats its edges, depth is read at the pixel's own column, bloom distance from the
// format's centre with columns clamped to the format and rows to the box.
TEST_P(BruteForce, MatchesDirectGather) {
  const BruteCase& c = GetParam();
  const Box& b = c.box;
  Render render;
  MemoryIop image(render.format, b, ChannelSet(Mask_RGBA) + Chan_Z), mattes(render.format, b, Mask_RGB);
  ktOrvelSettings& s = render.s;
  render.bank = makeBank(8, rampTap);  // blurs up to 8 reach its end and beyond
  render.padding = c.padding;
  s.multiplier = 8.5f;
  s.outputType = c.outputType;
  s.bloom = c.bloom, s.bloomCurvature = c.curvature, s.bloomThreshold = 0.3f;
  for (Channel z : kRGBA) paintRandom(image, z, 0.0f, 2.0f, 20 + z);
  paintRandom(image, Chan_Z, 0.0f, 20.0f, 31);
  if (c.mattes) {
    render.mattes = &mattes;
    s.bloomMatteChannel = Chan_Red;
    s.defocusMatteChannel = Chan_Green;
    paintRandom(mattes, Chan_Red, 0.0f, 2.0f, 41);
    paintRandom(mattes, Chan_Green, 0.2f, 1.3f, 43);
  }
  auto in = [&](MemoryIop& img, Channel z, int sx, int sy) { return img.at(b.clampx(sx), b.clampy(sy), z); };
  const int entries = int(render.bank.size());
  for (int oy = -2; oy < 18; ++oy) {
    const auto got = renderRow(render, image, oy, c.x, c.r);
    for (int ox = c.x; ox < c.r; ++ox) {
      double C[4] = {0, 0, 0, 0}, W[4] = {0, 0, 0, 0};
      for (int sy = oy - c.padding; sy <= oy + c.padding; ++sy)
        for (int sx = c.x - c.padding; sx < c.r + c.padding; ++sx) {
          // The artistic linear lens in double: depths clamp to the region 5 .. 15 about the focal
          // plane 10 and blur by their distance from it over the half size, times the multiplier.
          const double depth = std::clamp(double(in(image, Chan_Z, sx, sy)), 5.0, 15.0);
          const double coc = std::min(1.0, std::abs(depth - 10.0) / 5.0) * s.multiplier;
          const float size = float(std::max(1.0, coc * (c.mattes ? in(mattes, Chan_Green, sx, sy) : 1.0)));
          // Light above the threshold times the bloom (none below 0), the matte, and the distance
          // from the format's centre to the power curvature + 0.001, at most 1 (1 everywhere for a
          // curvature not above 0).
          const double dx = std::abs(std::clamp(sx, 0, 23) - 12.0) / 12.0,
                       dy = std::abs(std::clamp(sy, b.y(), b.t()) - 8.0) / 8.0;
          const double falloff =
              c.curvature > 0 ? std::min(1.0, std::pow(std::hypot(dx, dy), c.curvature + 0.001)) : 1.0;
          const double bloom =
              std::max(0.0f, c.bloom) * falloff * (c.mattes ? in(mattes, Chan_Red, sx, sy) : 1.0);
          for (const auto& [k, share] : kernelShares(size, entries)) {
            const int side = sideOf(k), row = side / 2 + sy - oy, col = ox - sx + side / 2;
            if (row < 0 || row >= side || col < 0 || col >= side) continue;
            const double tap = rampTap(k, side, row, col) * share;
            for (int i = 0; i < 4; ++i) {
              double v = in(image, kRGBA[i], sx, sy);
              if (i < 3) {
                const double light = std::max(0.0, v - 0.3) * bloom;
                v = c.outputType == kLensBloom ? light : v + light;
              }
              C[i] += tap * v;
              W[i] += tap;
            }
          }
        }
      for (int i = 0; i < 4; ++i) {
        const double expected = W[i] > 0 ? C[i] / W[i] : 0.0;
        ASSERT_NEAR(got[kRGBA[i]][ox], expected, 2e-5 * (1.0 + std::abs(expected)))
            << "channel " << kRGBA[i] << " at " << ox << "," << oy;
      }
    }
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, BruteForce,
    ::testing::Values(BruteCase{"plain", 0, 24, 3, Box(0, 0, 24, 16), 0, 0, false, kDefocusedImage},
                      BruteCase{"bloom_and_mattes", 0, 24, 3, Box(0, 0, 24, 16), 0.5f, 1.5f, true, kDefocusedImage},
                      BruteCase{"lens_bloom", 0, 24, 3, Box(0, 0, 24, 16), 0.5f, 1.5f, true, kLensBloom},
                      BruteCase{"even_bloom", 0, 24, 3, Box(0, 0, 24, 16), 0.8f, 0, false, kDefocusedImage},
                      BruteCase{"even_bloom_alone", 0, 24, 3, Box(0, 0, 24, 16), 2, -1, true, kLensBloom},
                      BruteCase{"negative_bloom", 0, 24, 3, Box(0, 0, 24, 16), -1, 2, false, kDefocusedImage},
                      BruteCase{"partial_span", 5, 13, 3, Box(0, 0, 24, 16), 0.5f, 1.5f, false, kDefocusedImage},
                      BruteCase{"span_past_the_format", -4, 27, 3, Box(0, 0, 24, 16), 0, 0, true, kDefocusedImage},
                      BruteCase{"box_inside_the_format", 0, 24, 3, Box(3, 2, 19, 13), 0.5f, 1.5f, true, kDefocusedImage},
                      BruteCase{"box_beyond_the_format", -4, 27, 3, Box(-3, -2, 27, 18), 0.5f, 1.5f, true, kDefocusedImage},
                      BruteCase{"padding_below_the_reach", 2, 20, 1, Box(0, 0, 24, 16), 0, 0, false, kDefocusedImage}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// A blurred foreground block (depth 5, blur 5) over a sharp background (depth 10). With two
// slices the foreground covers the background by its own weight wf; with one they mix by
// weight; the front or back output keeps one region.
// clang-format off
struct LayerCase { const char* name; int slices, focusOutput; };
// clang-format on
void PrintTo(const LayerCase& c, std::ostream* os) { *os << c.name; }

class Layers : public ::testing::TestWithParam<LayerCase> {};

TEST_P(Layers, ForegroundOverBackground) {
  const LayerCase& c = GetParam();
  const float fore[4] = {1.0f, 0.5f, 0.25f, 1.0f}, back[4] = {0.2f, 0.4f, 0.6f, 1.0f};
  const auto inBlock = [](int x, int y) { return x >= 8 && x < 13 && y >= 5 && y < 10; };
  Render render;
  render.s.multiplier = 5.0f;
  render.s.focusOutput = c.focusOutput;
  render.s.correctiveSlices = c.slices;
  if (c.slices == 2) render.sliceDepths = {0.0f, 10.0f};
  MemoryIop image(render.format, Box(0, 0, 24, 16), ChannelSet(Mask_RGBA) + Chan_Z);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      for (int i = 0; i < 4; ++i) image.set(x, y, kRGBA[i], inBlock(x, y) ? fore[i] : back[i]);
      image.set(x, y, Chan_Z, inBlock(x, y) ? 5.0f : 10.0f);
    }
  for (int y = 0; y < 16; ++y) {
    const auto row = renderRow(render, image, y, 0, 24);
    for (int x = 0; x < 24; ++x) {
      int n = 0;
      for (int j = y - 2; j <= y + 2; ++j)
        for (int i = x - 2; i <= x + 2; ++i) n += inBlock(i, j);
      const double wf = n / 25.0, wb = inBlock(x, y) ? 0.0 : 1.0;
      for (int i = 0; i < 4; ++i) {
        const double a = fore[i], b = back[i];
        double expected = c.slices == 1              ? (a * wf + b * wb) / (wf + wb)
                          : (wb == 0.0 || wf >= 1.0) ? a
                                                     : a * wf + b * (1.0 - wf);
        if (c.focusOutput == kFocusFront) expected = wf > 0 ? a : 0.0;
        if (c.focusOutput == kFocusBack) expected = wb > 0 ? b : 0.0;
        ASSERT_NEAR(row[kRGBA[i]][x], expected, 1e-5) << "channel " << kRGBA[i] << " at " << x << "," << y;
      }
    }
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Layers,
                         ::testing::Values(LayerCase{"one_slice_mixes", 1, kFocusBoth},
                                           LayerCase{"two_slices_layer", 2, kFocusBoth},
                                           LayerCase{"front_only", 2, kFocusFront},
                                           LayerCase{"back_only", 2, kFocusBack},
                                           LayerCase{"front_only_one_slice", 1, kFocusFront}),
                         [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Channels outside the active set come out as the input row even where the others blur.
TEST(Defocus, InactiveChannelsPassThrough) {
  Render render;
  render.s.activeChannels = (ChannelSet(Chan_Red) + Chan_Green);
  render.s.multiplier = 5.0f;
  MemoryIop image(render.format, Box(0, 0, 24, 16), ChannelSet(Mask_RGBA) + Chan_Z);
  for (Channel z : kRGBA) paintRandom(image, z, 0.0f, 3.0f, 10 + z);
  paintRandom(image, Chan_Z, 0.0f, 30.0f, 55);
  int blurred = 0;
  for (int y = 0; y < 16; ++y) {
    const auto row = renderRow(render, image, y, 0, 24, ChannelSet(Mask_RGBA) + Chan_Z);
    for (int x = 0; x < 24; ++x) {
      for (Channel z : {Chan_Blue, Chan_Alpha, Chan_Z}) ASSERT_EQ(row[z][x], image.at(x, y, z));
      blurred += row[Chan_Red][x] != image.at(x, y, Chan_Red);
    }
  }
  EXPECT_GT(blurred, 0);
}

}  // namespace
