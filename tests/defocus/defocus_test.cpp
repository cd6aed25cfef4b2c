// The flat row engine on small in-memory images: no-op cases, conservation, a brute-force
// gather written independently, slice layering, focus output, mattes, pass-through channels and
// the edges of the format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "standin/MemoryIop.h"
#include "standin/OwnedRow.h"
#include "DDImage/Row.h"
#include "defocusTestSupport.h"
#include "ktDefocus.h"
#include "ktDepthToCoc.h"
#include "ktLensValues.h"

using namespace defocus_test;
using standin::OwnedRow;
using DD::Image::Box;
using DD::Image::Chan_Alpha;
using DD::Image::Chan_Blue;
using DD::Image::Chan_Green;
using DD::Image::Chan_Red;
using DD::Image::Chan_Z;
using DD::Image::Channel;
using DD::Image::ChannelSet;
using DD::Image::Format;
using DD::Image::Mask_RGB;
using DD::Image::Mask_RGBA;
using standin::MemoryIop;
using DD::Image::Row;

namespace {

const Channel kRGBA[4] = {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha};

// An input image with depth (and optionally mattes in red, green, blue) and the render that
// reads it. The lens is artistic and linear: focal plane 10, region 10 (5 .. 15), so a depth d
// gets a blur of min(1, |d - 10| / 5) x multiplier.
struct Scene {
  Scene(int w, int h) : Scene(Format(w, h), Box(0, 0, w, h)) {}
  Scene(const Format& format, const Box& box)
      : format(format), box(box), image(std::make_unique<MemoryIop>(format, box, ChannelSet(Mask_RGBA) + Chan_Z)) {
    render.format = format;
    ktOrvelSettings& s = render.settings;
    s.focalPlane = 10.0f;
    s.focusRegionSize = 10.0f;
    s.focusRegionFalloff = kFalloffLinear;
    s.multiplier = 0.0f;
    s.correctiveSlices = 1;
    computeLensValues(s, format.width(), format.height());
    render.bank = makeBank(12, Mask_RGBA, boxTap);
    render.padding = 3;
  }

  void setSlices(int n, std::vector<float> depths) {
    render.settings.correctiveSlices = n;
    render.sliceDepths = std::move(depths);
  }

  // Bloom matte in red, defocus matte in green, chromatic-aberration matte in blue, all 1.
  void addMattes() {
    mattes = std::make_unique<MemoryIop>(format, box, Mask_RGB);
    for (Channel z : ChannelSet(Mask_RGB)) mattes->fill(z, 1.0f);
    ktOrvelSettings& s = render.settings;
    s.bloomMatteChannel = Chan_Red;
    s.defocusMatteChannel = Chan_Green;
    s.chromicAberrationMatteChannel = Chan_Blue;
    render.hasBloomMatte = render.hasDefocusMatte = render.hasChromicAberrationMatte = true;
    render.matteChannels = Mask_RGB;
  }

  OwnedRow row(int y, int x, int r, const ChannelSet& channels = Mask_RGBA) const {
    OwnedRow out(x, r);
    defocus(render.context(), *image, mattes.get(), y, x, r, channels, out.row());
    return out;
  }

  // The whole format, one row per call, as out[channel][y][x].
  std::vector<std::vector<std::vector<float>>> frame(const ChannelSet& channels = Mask_RGBA) const {
    std::vector<std::vector<std::vector<float>>> out(DD::Image::Chan_Last + 1);
    for (Channel z : channels) out[z].assign(format.height(), std::vector<float>(format.width()));
    for (int y = 0; y < format.height(); ++y) {
      const auto r = row(y, 0, format.width(), channels);
      for (Channel z : channels)
        for (int x = 0; x < format.width(); ++x) out[z][y][x] = r[z][x];
    }
    return out;
  }

  float in(int x, int y, Channel z) const { return image->at(x, y, z); }

  Format format;
  Box box;
  std::unique_ptr<MemoryIop> image;
  std::unique_ptr<MemoryIop> mattes;
  Render render;
};

// Fills every pixel of channel z of `img` inside `box` with values from `draw`.
template <typename Draw>
void paint(MemoryIop& img, const Box& box, Channel z, Draw draw) {
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) img.set(x, y, z, draw(x, y));
}

void paintRandom(MemoryIop& img, const Box& box, Channel z, float lo, float hi, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(lo, hi);
  paint(img, box, z, [&](int, int) { return dist(gen); });
}

// Ten slices between 5 and 15, as the node builds them.
std::vector<float> tenSlices() {
  std::vector<float> d{0.0f};
  for (int i = 1; i < 10; ++i) d.push_back(5.0f + static_cast<float>(i));
  return d;
}

// ---- With nothing out of focus every pixel keeps its own value, whatever the slices.

class InFocus : public ::testing::TestWithParam<int> {};

TEST_P(InFocus, ReproducesTheInput) {
  Scene scene(24, 16);
  const int n = GetParam();
  scene.setSlices(n, n == 1 ? std::vector<float>{} : n == 2 ? std::vector<float>{0.0f, 10.0f} : tenSlices());
  for (Channel z : kRGBA) paintRandom(*scene.image, scene.box, z, 0.0f, 3.0f, 10 + z);
  paintRandom(*scene.image, scene.box, Chan_Z, 0.0f, 30.0f, 7);
  scene.image->set(3, 4, Chan_Z, std::numeric_limits<float>::quiet_NaN());
  scene.image->set(5, 4, Chan_Z, std::numeric_limits<float>::infinity());
  const auto out = scene.frame(ChannelSet(Mask_RGBA) + Chan_Z);
  for (Channel z : {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha, Chan_Z})
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) {
        const float v = scene.in(x, y, z);
        if (std::isnan(v))
          ASSERT_TRUE(std::isnan(out[z][y][x])) << "channel " << z << " at " << x << "," << y;
        else
          ASSERT_EQ(out[z][y][x], v) << "channel " << z << " at " << x << "," << y;
      }
}

INSTANTIATE_TEST_SUITE_P(Slices, InFocus, ::testing::Values(1, 2, 10));

// ---- A constant image stays constant under any mix of blur sizes and slices.

class Constant : public ::testing::TestWithParam<int> {};

TEST_P(Constant, StaysConstant) {
  Scene scene(24, 16);
  scene.render.bank = makeBank(12, Mask_RGBA, rampTap);
  scene.render.settings.multiplier = 6.3f;
  scene.setSlices(GetParam(), GetParam() == 1 ? std::vector<float>{} : tenSlices());
  const float value[4] = {0.3f, 0.6f, 0.9f, 1.0f};
  for (int i = 0; i < 4; ++i) scene.image->fill(kRGBA[i], value[i]);
  paintRandom(*scene.image, scene.box, Chan_Z, 0.0f, 30.0f, 3);
  const auto out = scene.frame();
  for (int i = 0; i < 4; ++i)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) ASSERT_NEAR(out[kRGBA[i]][y][x], value[i], 1e-5) << "at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Slices, Constant, ::testing::Values(1, 10));

// ---- One bright pixel on black, everything at blur 5: the output is the kernel itself, row 0
// of the kernel on the top row, and the light is conserved.

TEST(Defocus, BrightPixelSpreadsIntoTheKernelShape) {
  Scene scene(24, 16);
  scene.render.bank = makeBank(12, Mask_RGBA, rampTap);
  scene.render.settings.multiplier = 5.0f;
  scene.image->fill(Chan_Z, 20.0f);
  scene.image->set(11, 8, Chan_Red, 4.0f);
  const auto out = scene.frame();
  double total = 0.0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      const bool inKernel = std::abs(x - 11) <= 2 && std::abs(y - 8) <= 2;
      const float expected = inKernel ? 4.0f * rampTap(5, 5, 2 + 8 - y, x - 9) : 0.0f;
      EXPECT_NEAR(out[Chan_Red][y][x], expected, 1e-6) << "at " << x << "," << y;
      EXPECT_EQ(out[Chan_Green][y][x], 0.0f);
      total += out[Chan_Red][y][x];
    }
  EXPECT_NEAR(total, 4.0, 1e-5);
}

TEST(Defocus, LensBloomWithoutBloomIsBlack) {
  Scene scene(24, 16);
  scene.render.settings.outputType = kLensBloom;
  scene.render.settings.multiplier = 4.0f;
  for (Channel z : ChannelSet(Mask_RGB)) paintRandom(*scene.image, scene.box, z, 0.5f, 3.0f, z);
  scene.image->fill(Chan_Alpha, 0.8f);
  paintRandom(*scene.image, scene.box, Chan_Z, 0.0f, 30.0f, 5);
  const auto out = scene.frame();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      for (Channel z : ChannelSet(Mask_RGB)) EXPECT_EQ(out[z][y][x], 0.0f) << "at " << x << "," << y;
      EXPECT_NEAR(out[Chan_Alpha][y][x], 0.8f, 1e-6) << "alpha is still scattered";
    }
}

// ---- Brute force: every output pixel gathers from every source pixel of the window directly.

struct BruteCase {
  const char* name;
  int x, r;  // requested columns
  int padding;
  Box box;      // the input's box, in a 24 x 16 format
  bool bloom;   // bloom 0.5, curvature 1.5, threshold 0.3
  bool mattes;  // random bloom and defocus mattes
  int outputType;
};
void PrintTo(const BruteCase& c, std::ostream* os) { *os << c.name; }

// Shares of the one or two kernels a blur size uses, worked from the blend rule.
std::vector<std::pair<int, double>> kernelShares(float size, int entries) {
  const double lower = std::floor(size);
  if (!(lower >= 0.0 && lower < entries)) return {{entries - 1, 1.0}};
  const int k0 = static_cast<int>(lower);
  const double share = 1.0 - (size - sideOf(k0)) * 0.5;
  const int first = std::min(std::max(k0, 1), entries - 1);
  const int second = std::min(first + 2, entries - 1);
  std::vector<std::pair<int, double>> out;
  if (share > 0.0) out.push_back({first, share});
  if (1.0 - share > 0.0) out.push_back({second, 1.0 - share});
  return out;
}

class BruteForce : public ::testing::TestWithParam<BruteCase> {};

TEST_P(BruteForce, MatchesDirectGather) {
  const BruteCase& c = GetParam();
  const Format format(24, 16);
  Scene scene(format, c.box);
  ktOrvelSettings& s = scene.render.settings;
  scene.render.bank = makeBank(14, Mask_RGBA, rampTap);
  scene.render.padding = c.padding;
  s.multiplier = 6.5f;
  s.outputType = c.outputType;
  if (c.bloom) s.bloom = 0.5f, s.bloomCurvature = 1.5f, s.bloomThreshold = 0.3f;
  for (Channel z : kRGBA) paintRandom(*scene.image, c.box, z, 0.0f, 2.0f, 20 + z);
  paintRandom(*scene.image, c.box, Chan_Z, 0.0f, 20.0f, 31);
  if (c.mattes) {
    scene.addMattes();
    scene.render.hasChromicAberrationMatte = false;
    paintRandom(*scene.mattes, c.box, Chan_Red, 0.0f, 2.0f, 41);
    paintRandom(*scene.mattes, c.box, Chan_Green, 0.2f, 1.3f, 43);
  }

  const Box& b = c.box;
  auto colourAt = [&](Channel z, int sx, int sy) { return scene.in(b.clampx(sx), b.clampy(sy), z); };
  auto matteAt = [&](Channel z, int sx, int sy) {
    return c.mattes ? scene.mattes->at(b.clampx(sx), b.clampy(sy), z) : 1.0f;
  };
  const int entries = static_cast<int>(scene.render.bank.size());

  for (int oy = -2; oy < 18; ++oy) {
    const auto got = scene.row(oy, c.x, c.r);
    for (int ox = c.x; ox < c.r; ++ox) {
      double C[4] = {0, 0, 0, 0}, W[4] = {0, 0, 0, 0};
      for (int sy = oy - c.padding; sy <= oy + c.padding; ++sy) {
        const int bloomY = std::max(b.y(), std::min(sy, b.t()));
        for (int sx = c.x - c.padding; sx < c.r + c.padding; ++sx) {
          const int depthX = std::max(0, std::min(sx, 23));
          const float depth = colourAt(Chan_Z, depthX, sy);
          const CocSample coc = depthToCoc(s, scene.render.context().kernelSizeLimit, depth, DepthKind::Flat);
          const float size = std::max(1.0f, coc.coc * matteAt(Chan_Green, sx, sy));
          double bloomAmount = 0.0;
          if (c.bloom) {
            const double dx = std::abs(depthX - 12.0) / 12.0, dy = std::abs(bloomY - 8.0) / 8.0;
            bloomAmount =
                0.5 * std::min(1.0, std::pow(std::hypot(dx, dy), 1.501)) * matteAt(Chan_Red, sx, sy);
          }
          for (const auto& [k, share] : kernelShares(size, entries)) {
            const int side = sideOf(k), R = side / 2;
            const int row = R + sy - oy, col = ox - sx + R;
            if (row < 0 || row >= side || col < 0 || col >= side) continue;
            const double tap = rampTap(k, side, row, col) * share;
            for (int i = 0; i < 4; ++i) {
              double v = colourAt(kRGBA[i], sx, sy);
              if (i < 3) {
                const double light = std::max(0.0, v - 0.3) * bloomAmount;
                v = c.outputType == kLensBloom ? light : v + light;
              }
              C[i] += tap * v;
              W[i] += tap;
            }
          }
        }
      }
      for (int i = 0; i < 4; ++i) {
        const double expected = W[i] > 0 ? C[i] / W[i] : 0.0;
        ASSERT_NEAR(got[kRGBA[i]][ox], expected, 2e-5 * (1.0 + std::abs(expected)))
            << c.name << ": channel " << kRGBA[i] << " at " << ox << "," << oy;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BruteForce,
    ::testing::Values(
        BruteCase{"plain", 0, 24, 3, Box(0, 0, 24, 16), false, false, kDefocusedImage},
        BruteCase{"bloom", 0, 24, 3, Box(0, 0, 24, 16), true, false, kDefocusedImage},
        BruteCase{"bloom and mattes", 0, 24, 3, Box(0, 0, 24, 16), true, true, kDefocusedImage},
        BruteCase{"lens bloom", 0, 24, 3, Box(0, 0, 24, 16), true, true, kLensBloom},
        BruteCase{"partial span", 5, 13, 3, Box(0, 0, 24, 16), true, false, kDefocusedImage},
        BruteCase{"span past the format", -4, 27, 3, Box(0, 0, 24, 16), false, true, kDefocusedImage},
        BruteCase{"box inside the format", 0, 24, 3, Box(3, 2, 19, 13), true, true, kDefocusedImage},
        BruteCase{"padding below the reach", 2, 20, 1, Box(0, 0, 24, 16), false, false, kDefocusedImage}),
    [](const auto& info) { return caseName(info.param.name); });

// ---- Two slices: a blurred foreground block (depth 5, blur 5) over a sharp background (depth
// 10, the focal plane). With two slices the foreground covers the background in proportion to
// its own weight; with one they mix by weight.

const float kFore[4] = {1.0f, 0.5f, 0.25f, 1.0f};
const float kBack[4] = {0.2f, 0.4f, 0.6f, 1.0f};
const Box kBlock(8, 5, 13, 10);

bool inBlock(int x, int y) { return x >= kBlock.x() && x < kBlock.r() && y >= kBlock.y() && y < kBlock.t(); }

// Share of a 5 x 5 box around (x, y) that the foreground block fills.
double foregroundWeight(int x, int y) {
  int n = 0;
  for (int j = y - 2; j <= y + 2; ++j)
    for (int i = x - 2; i <= x + 2; ++i) n += inBlock(i, j);
  return n / 25.0;
}

Scene layeredScene(int slices, int focusOutput) {
  Scene scene(24, 16);
  scene.render.settings.multiplier = 5.0f;
  scene.render.settings.focusOutput = focusOutput;
  scene.setSlices(slices, slices == 2 ? std::vector<float>{0.0f, 10.0f} : std::vector<float>{});
  for (int i = 0; i < 4; ++i)
    paint(*scene.image, scene.box, kRGBA[i],
          [&](int x, int y) { return inBlock(x, y) ? kFore[i] : kBack[i]; });
  paint(*scene.image, scene.box, Chan_Z, [](int x, int y) { return inBlock(x, y) ? 5.0f : 10.0f; });
  return scene;
}

struct LayerCase {
  const char* name;
  int slices;
  int focusOutput;
};
void PrintTo(const LayerCase& c, std::ostream* os) { *os << c.name; }

// What each pixel should be, worked from the foreground weight wf (background weight 1 at a
// background pixel, 0 inside the block).
double expectedLayer(const LayerCase& c, int i, int x, int y) {
  const double wf = foregroundWeight(x, y);
  const double wb = inBlock(x, y) ? 0.0 : 1.0;
  const double a = kFore[i], b = kBack[i];
  switch (c.focusOutput) {
    case kFocusFront:
      return wf > 0 ? a : 0.0;
    case kFocusBack:
      return wb > 0 ? b : 0.0;
    default:
      break;
  }
  if (c.slices == 1) return (a * wf + b * wb) / (wf + wb);
  if (wb == 0.0 || wf >= 1.0) return a;
  return a * wf + b * (1.0 - wf);
}

class Layers : public ::testing::TestWithParam<LayerCase> {};

TEST_P(Layers, ForegroundOverBackground) {
  const LayerCase& c = GetParam();
  const Scene scene = layeredScene(c.slices, c.focusOutput);
  const auto out = scene.frame();
  for (int i = 0; i < 4; ++i)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x)
        ASSERT_NEAR(out[kRGBA[i]][y][x], expectedLayer(c, i, x, y), 1e-5)
            << c.name << ": channel " << kRGBA[i] << " at " << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Cases, Layers,
                         ::testing::Values(LayerCase{"one slice mixes", 1, kFocusBoth},
                                           LayerCase{"two slices layer", 2, kFocusBoth},
                                           LayerCase{"front only", 2, kFocusFront},
                                           LayerCase{"back only with focal plane", 2, kFocusBack},
                                           LayerCase{"front only one slice", 1, kFocusFront}),
                         [](const auto& info) { return caseName(info.param.name); });

// ---- Mattes at 0 switch their effect off; at 1 the effect is there.

TEST(Defocus, DefocusMatteZeroKeepsPixelsSharp) {
  Scene scene(24, 16);
  scene.addMattes();
  scene.render.settings.multiplier = 5.0f;
  for (Channel z : kRGBA) paintRandom(*scene.image, scene.box, z, 0.0f, 2.0f, z);
  scene.image->fill(Chan_Z, 20.0f);
  scene.mattes->fill(Chan_Green, 0.0f);
  const auto out = scene.frame();
  for (Channel z : kRGBA)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) ASSERT_EQ(out[z][y][x], scene.in(x, y, z)) << "at " << x << "," << y;

  scene.mattes->fill(Chan_Green, 1.0f);
  EXPECT_NE(scene.row(8, 0, 24)[Chan_Red][12], scene.in(12, 8, Chan_Red))
      << "the scene blurs without the matte";
}

class BloomMatte : public ::testing::TestWithParam<float> {};

// Sharp pixels, uniform bloom 1 with threshold 0: a pixel v becomes v + v x matte.
TEST_P(BloomMatte, ScalesTheBloom) {
  const float matte = GetParam();
  Scene scene(24, 16);
  scene.addMattes();
  scene.render.settings.bloom = 1.0f;
  scene.render.settings.bloomCurvature = 0.0f;
  scene.render.settings.bloomThreshold = 0.0f;
  for (Channel z : kRGBA) paintRandom(*scene.image, scene.box, z, 0.0f, 2.0f, z);
  scene.mattes->fill(Chan_Red, matte);
  const auto out = scene.frame();
  for (Channel z : kRGBA)
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) {
        const float v = scene.in(x, y, z);
        ASSERT_NEAR(out[z][y][x], z == Chan_Alpha ? v : v + v * matte, 1e-6) << "at " << x << "," << y;
      }
}

INSTANTIATE_TEST_SUITE_P(Values, BloomMatte, ::testing::Values(0.0f, 0.5f, 1.0f));

// A grey spot blurred to 9 with strong chromatic aberration: the matte at 0 keeps the three
// colour channels on top of each other, at 1 they separate.
TEST(Defocus, ChromaticMatteZeroRemovesTheDisplacement) {
  Scene scene(24, 16);
  scene.addMattes();
  scene.render.padding = 6;
  scene.render.settings.multiplier = 9.0f;
  scene.render.settings.kChrAbb = 10.0f;
  scene.image->fill(Chan_Z, 20.0f);
  for (Channel z : ChannelSet(Mask_RGB)) scene.image->set(12, 8, z, 1.0f);

  scene.mattes->fill(Chan_Blue, 0.0f);
  auto out = scene.frame();
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      ASSERT_EQ(out[Chan_Red][y][x], out[Chan_Blue][y][x]) << "at " << x << "," << y;
      ASSERT_EQ(out[Chan_Green][y][x], out[Chan_Blue][y][x]) << "at " << x << "," << y;
    }
  EXPECT_GT(out[Chan_Red][8][12], 0.0f);

  scene.mattes->fill(Chan_Blue, 1.0f);
  out = scene.frame();
  int differing = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) differing += out[Chan_Red][y][x] != out[Chan_Blue][y][x];
  EXPECT_GT(differing, 0);
}

// ---- Channels that are not defocused come out as the input row.

TEST(Defocus, ChannelsOutsideActivePassThrough) {
  Scene scene(24, 16);
  scene.render.settings.activeChannels = (ChannelSet(Chan_Red) + Chan_Green);
  scene.render.settings.multiplier = 5.0f;
  for (Channel z : kRGBA) paintRandom(*scene.image, scene.box, z, 0.0f, 2.0f, 50 + z);
  paintRandom(*scene.image, scene.box, Chan_Z, 0.0f, 30.0f, 55);
  const auto out = scene.frame(ChannelSet(Mask_RGBA) + Chan_Z);
  int blurred = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      for (Channel z : {Chan_Blue, Chan_Alpha, Chan_Z}) ASSERT_EQ(out[z][y][x], scene.in(x, y, z));
      blurred += out[Chan_Red][y][x] != scene.in(x, y, Chan_Red);
    }
  EXPECT_GT(blurred, 0);
}

// ---- Pixels in the padding beside the format take their depth from the format's edge column
// and their colour from their own column. A 12 x 8 format inside a box 4 wider on each side; a
// bright column at 2 outside the format; 7-wide box kernels.

struct EdgeCase {
  const char* name;
  bool right;         // mirror the scene onto the right edge
  bool edgeIsFar;     // the edge column is blurred (its padding neighbours sharp), else the reverse
  float expected[3];  // red at the edge column and the next two inward
};
void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.name; }

class PaddingEdge : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(PaddingEdge, DepthComesFromTheEdgeColumn) {
  const EdgeCase& c = GetParam();
  Scene scene(Format(12, 8), Box(-4, 0, 16, 8));
  scene.render.settings.multiplier = 7.0f;
  auto mirror = [&](int x) { return c.right ? 11 - x : x; };
  const float sharp = 10.0f, far = 20.0f;
  paint(*scene.image, scene.box, Chan_Z, [&](int x, int) {
    const int m = mirror(x);
    if (m < 0) return c.edgeIsFar ? sharp : far;
    if (m == 0) return c.edgeIsFar ? far : sharp;
    return sharp;
  });
  paint(*scene.image, scene.box, Chan_Red, [&](int x, int) { return mirror(x) == -2 ? 1.0f : 0.0f; });
  for (int y = 0; y < 8; ++y) {
    const auto row = scene.row(y, 0, 12);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(row[Chan_Red][mirror(i)], c.expected[i], 1e-6) << c.name << " row " << y;
    for (int i = 3; i < 12; ++i) EXPECT_EQ(row[Chan_Red][mirror(i)], 0.0f) << c.name << " row " << y;
  }
}

// Edge far: every pixel of columns -3 .. 0 is blurred to 7 (1/49 a tap, 7 rows each). Column 0
// gathers 4 such columns (28/49) of which the bright one gives 7/49: 0.25. Column 1 gathers 3
// (21/49) plus its own sharp pixel: (7/49) / (70/49) = 0.1. Edge sharp: the bright pixel stays in
// its own column, outside the span.
INSTANTIATE_TEST_SUITE_P(Cases, PaddingEdge,
                         ::testing::Values(EdgeCase{"left edge far", false, true, {0.25f, 0.1f, 0.0f}},
                                           EdgeCase{"right edge far", true, true, {0.25f, 0.1f, 0.0f}},
                                           EdgeCase{"left edge sharp", false, false, {0.0f, 0.0f, 0.0f}},
                                           EdgeCase{"right edge sharp", true, false, {0.0f, 0.0f, 0.0f}}),
                         [](const auto& info) { return caseName(info.param.name); });

// ---- Rows and spans far outside the format: every source repeats the nearest edge pixels, and
// the depth read stays inside the fetched row.

struct FarCase {
  const char* name;
  int y, x, r;
  int cornerX, cornerY;  // the one input pixel every source repeats, or -1 when a mix of an edge
};
void PrintTo(const FarCase& c, std::ostream* os) { *os << c.name; }

class FarOutside : public ::testing::TestWithParam<FarCase> {};

TEST_P(FarOutside, StaysDefined) {
  const FarCase& c = GetParam();
  Scene scene(24, 16);
  scene.render.settings.multiplier = 6.0f;
  for (Channel z : kRGBA) paintRandom(*scene.image, scene.box, z, 0.0f, 2.0f, 60 + z);
  paintRandom(*scene.image, scene.box, Chan_Z, 0.0f, 30.0f, 65);
  const auto row = scene.row(c.y, c.x, c.r);
  for (Channel z : kRGBA) {
    float lo = 1e30f, hi = -1e30f;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) lo = std::min(lo, scene.in(x, y, z)), hi = std::max(hi, scene.in(x, y, z));
    for (int x = c.x; x < c.r; ++x) {
      const float v = row[z][x];
      ASSERT_TRUE(std::isfinite(v)) << c.name << " at " << x;
      if (c.cornerX >= 0)
        EXPECT_NEAR(v, scene.in(c.cornerX, c.cornerY, z), 1e-5) << c.name << " at " << x;
      else
        EXPECT_TRUE(v >= lo - 1e-6f && v <= hi + 1e-6f) << c.name << " at " << x << ": " << v;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FarOutside,
                         ::testing::Values(FarCase{"far right", 5, 1000, 1010, -1, -1},
                                           FarCase{"far left", 5, -1010, -1000, -1, -1},
                                           FarCase{"far above", 500, 3, 9, -1, -1},
                                           FarCase{"far below", -500, 3, 9, -1, -1},
                                           FarCase{"far above right", 500, 1000, 1010, 23, 15},
                                           FarCase{"far below left", -500, -1010, -1000, 0, 0},
                                           FarCase{"wide span", 8, -200, 300, -1, -1}),
                         [](const auto& info) { return caseName(info.param.name); });

}  // namespace
