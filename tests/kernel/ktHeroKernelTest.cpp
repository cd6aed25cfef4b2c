#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <vector>

#include "standin/MemoryIop.h"
#include "ktHeroKernel.h"

using DD::Image::Box;
using DD::Image::Chan_Alpha;
using DD::Image::Chan_Blue;
using DD::Image::Chan_Green;
using DD::Image::Chan_Red;
using DD::Image::Channel;
using DD::Image::ChannelSet;
using DD::Image::Format;
using DD::Image::Mask_RGBA;
using standin::MemoryIop;

namespace {

// A format whose aperture is `b`.
Format formatOf(const Box& b) { return Format(b.w(), b.h(), b.x(), b.y(), b.r(), b.t()); }

constexpr double kPi = 3.14159265358979323846;

struct Shape {
  int type = kKernelCircular;
  float aspect = 1.0f;
  float softness = 0.1f;
  int sides = 6;
  float curvature = 0.1f;
  float rotation = 0.0f;
  float sphAbb = 0.0f;
};

std::ostream& operator<<(std::ostream& o, const Shape& s) {
  return o << "type " << s.type << " sides " << s.sides << " rotation " << s.rotation << " aspect "
           << s.aspect << " softness " << s.softness << " sphAbb " << s.sphAbb;
}

ktOrvelSettings settingsFor(const Shape& p) {
  ktOrvelSettings s;
  s.kernelType = p.type;
  s.kAspectRatio = p.aspect;
  s.kSoftness = p.softness;
  s.kNumSides = p.sides;
  s.kCurvature = p.curvature;
  s.kRotation = p.rotation;
  s.kSphAbb = p.sphAbb;
  return s;
}

ktChannelFloatBuffer drawShape(const Shape& p, int side, const ChannelSet& channels = Channel(Chan_Red)) {
  ktChannelFloatBuffer hero;
  makeHeroKernel(hero, settingsFor(p), channels, side, nullptr);
  return hero;
}

float at(const ktChannelFloatBuffer& b, int x, int y, Channel z = Chan_Red) {
  return b.planes[z][size_t(y) * b.width + x];
}

// Offset of pixel (x, y)'s centre from the centre of an n x n square.
double offset(int i, int n) { return i + 0.5 - n / 2.0; }

// The aperture worked out in double precision: the blade phase is taken as the fractional part
// of (angle in turns + rotation) x blade count.
double referenceAperture(const Shape& p, int n, int x, int y) {
  double dx = offset(x, n), dy = offset(y, n);
  if (p.aspect > 1) dx *= p.aspect;
  if (p.aspect < 1) dy /= p.aspect;
  const double half = n / 2.0;
  const double r2 = (dx * dx + dy * dy) / (half * half);
  const double circle = 1.0 - std::min(r2, 1.0);
  double open = circle;
  if (p.type == kKernelBlades) {
    double turns = std::atan2(dy, dx) / (2 * kPi);
    if (turns < 0) turns += 1.0;
    const double phase = (turns + p.rotation) * p.sides;
    const double bump = std::sin((phase - std::floor(phase)) * kPi);
    open = 1.0 - std::min(1.0, (1.0 - p.curvature) * bump / p.sides + r2);
  }
  double v = std::min(open / std::max(0.001, double(p.softness)), 1.0);
  if (p.sphAbb > 0) v -= p.sphAbb * circle;
  if (p.sphAbb < 0) v -= -p.sphAbb * (1.0 - circle);
  return std::clamp(v, 0.0, 1.0);
}

float maxAbsDifference(const ktChannelFloatBuffer& a, const ktChannelFloatBuffer& b) {
  float d = 0.0f;
  for (size_t i = 0; i < a.count; ++i)
    d = std::max(d, std::fabs(a.planes[Chan_Red][i] - b.planes[Chan_Red][i]));
  return d;
}

int nonZeroInRow(const ktChannelFloatBuffer& b, int y) {
  int n = 0;
  for (int x = 0; x < b.width; ++x) n += at(b, x, y) > 0.0f;
  return n;
}

int nonZeroInColumn(const ktChannelFloatBuffer& b, int x) {
  int n = 0;
  for (int y = 0; y < b.height; ++y) n += at(b, x, y) > 0.0f;
  return n;
}

}  // namespace

// ---- Side rules ----

struct HeroSideCase {
  const char* name;
  int kernelType;
  bool forPreview;
  Box format;
  int maxKernelSize;
  bool hasKernelInput;
  Box kernelBox;
  int expected;
};

std::ostream& operator<<(std::ostream& o, const HeroSideCase& c) { return o << c.name; }

class HeroSide : public testing::TestWithParam<HeroSideCase> {};

TEST_P(HeroSide, FollowsPreviewSettingAndKernelBox) {
  const HeroSideCase& c = GetParam();
  ktOrvelSettings s;
  s.kernelType = c.kernelType;
  s.max_kernelsize = c.maxKernelSize;
  EXPECT_EQ(heroKernelSide(s, c.forPreview, formatOf(c.format), c.hasKernelInput ? &c.kernelBox : nullptr),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, HeroSide,
    testing::Values(
        HeroSideCase{"Render", kKernelCircular, false, Box(0, 0, 1920, 1080), 256, false, Box(), 256},
        HeroSideCase{"Preview", kKernelCircular, true, Box(0, 0, 1920, 1080), 256, false, Box(), 1080},
        HeroSideCase{"PreviewIgnoresMax", kKernelBlades, true, Box(0, 0, 1920, 1080), 64, false, Box(), 1080},
        HeroSideCase{"PreviewOffsetFormat", kKernelCircular, true, Box(-100, 50, 540, 530), 256, false, Box(),
                     480},
        HeroSideCase{"BoxIgnoredForShapes", kKernelCircular, false, Box(0, 0, 100, 100), 256, true,
                     Box(0, 0, 64, 64), 256},
        HeroSideCase{"LargeInput", kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(0, 0, 512, 512),
                     256},
        HeroSideCase{"SmallInput", kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(5, 5, 69, 69),
                     64},
        HeroSideCase{"WideInput", kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(0, 0, 300, 200),
                     200},
        HeroSideCase{"PreviewSmallInput", kKernelInput, true, Box(0, 0, 1920, 1080), 256, true,
                     Box(0, 0, 512, 700), 512},
        HeroSideCase{"EmptyBox", kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(10, 10, 10, 50), 0},
        HeroSideCase{"InvertedBox", kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(10, 10, 5, 50),
                     0}),
    [](const testing::TestParamInfo<HeroSideCase>& i) { return std::string(i.param.name); });

// ---- Procedural shapes ----

struct ReferenceCase {
  const char* name;
  Shape shape;
  int side;
};

std::ostream& operator<<(std::ostream& o, const ReferenceCase& c) { return o << c.name; }

class ApertureReference : public testing::TestWithParam<ReferenceCase> {};

TEST_P(ApertureReference, MatchesDoublePrecisionGeometry) {
  const ReferenceCase& c = GetParam();
  const ktChannelFloatBuffer hero = drawShape(c.shape, c.side);
  for (int y = 0; y < c.side; ++y)
    for (int x = 0; x < c.side; ++x)
      ASSERT_NEAR(at(hero, x, y), referenceAperture(c.shape, c.side, x, y), 1e-4)
          << "pixel " << x << ", " << y;
}

namespace {

Shape blades(int sides, float curvature, float rotation, float softness) {
  Shape s;
  s.type = kKernelBlades;
  s.sides = sides;
  s.curvature = curvature;
  s.rotation = rotation;
  s.softness = softness;
  return s;
}

Shape withAspect(Shape s, float aspect) {
  s.aspect = aspect;
  return s;
}

Shape withSphAbb(Shape s, float k) {
  s.sphAbb = k;
  return s;
}

Shape circle(float softness) {
  Shape s;
  s.softness = softness;
  return s;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Kernels, ApertureReference,
    testing::Values(ReferenceCase{"Dome", circle(1.0f), 64}, ReferenceCase{"OddSide", circle(0.4f), 65},
                    ReferenceCase{"Tall", withAspect(circle(0.3f), 2.0f), 64},
                    ReferenceCase{"Wide", withAspect(circle(0.5f), 0.5f), 64},
                    ReferenceCase{"Hexagon", blades(6, 0.0f, 0.0f, 0.25f), 64},
                    ReferenceCase{"RotatedPentagon", withAspect(blades(5, 0.3f, 0.1f, 0.5f), 1.5f), 80},
                    ReferenceCase{"OctagonRing", withSphAbb(blades(8, 0.1f, 0.3f, 0.2f), 0.5f), 64},
                    ReferenceCase{"DarkRim", withSphAbb(circle(1.0f), -0.7f), 64}),
    [](const testing::TestParamInfo<ReferenceCase>& i) { return std::string(i.param.name); });

TEST(HeroShape, HardDiscCoversAQuarterPiOfTheSquare) {
  const ktChannelFloatBuffer hero = drawShape(circle(0.0f), 256);
  double sum = 0.0;
  for (float v : hero.planes[Chan_Red]) sum += v;
  EXPECT_NEAR(sum / (256.0 * 256.0), kPi / 4.0, 0.002);
}

struct SpotCase {
  Shape shape;
  int x, y;
  double expected;
};

std::ostream& operator<<(std::ostream& o, const SpotCase& c) {
  return o << "pixel (" << c.x << ", " << c.y << ") sphAbb " << c.shape.sphAbb << " expects " << c.expected;
}

class HeroSpot : public testing::TestWithParam<SpotCase> {};

TEST_P(HeroSpot, HasTheValueOfItsRadius) {
  const SpotCase& c = GetParam();
  EXPECT_NEAR(at(drawShape(c.shape, 256), c.x, c.y), c.expected, 1e-3);
}

// r2 of pixel (x, y) of a 256 square, worked from its centre offsets.
double r2At(int x, int y) {
  return (offset(x, 256) * offset(x, 256) + offset(y, 256) * offset(y, 256)) / 16384.0;
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, HeroSpot,
    testing::Values(
        // Softness 0.1: flat top, falling to 0 over the outer tenth of r2.
        SpotCase{circle(0.1f), 128, 128, 1.0}, SpotCase{circle(0.1f), 127, 127, 1.0},
        SpotCase{circle(0.1f), 251, 140, 0.5954},  // 0.97 of the radius: r2 = 0.9405
        SpotCase{circle(0.1f), 255, 128, (1.0 - r2At(255, 128)) * 10.0}, SpotCase{circle(0.1f), 10, 10, 0.0},
        SpotCase{circle(0.1f), 0, 0, 0.0},
        // Positive spherical aberration on a hard rim: a ring whose value is r2 inside the rim.
        SpotCase{withSphAbb(circle(0.0f), 1.0f), 128, 128, r2At(128, 128)},
        SpotCase{withSphAbb(circle(0.0f), 1.0f), 200, 180, r2At(200, 180)},
        SpotCase{withSphAbb(circle(0.0f), 1.0f), 251, 140, r2At(251, 140)},
        SpotCase{withSphAbb(circle(0.0f), 1.0f), 5, 5, 0.0},
        // Negative: the centre stays open, the rim darkens to 1 - r2.
        SpotCase{withSphAbb(circle(0.0f), -1.0f), 128, 128, 1.0 - r2At(128, 128)},
        SpotCase{withSphAbb(circle(0.0f), -1.0f), 251, 140, 1.0 - r2At(251, 140)}));

TEST(HeroShape, SoftnessOneIsADome) {
  const ktChannelFloatBuffer hero = drawShape(circle(1.0f), 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) ASSERT_NEAR(at(hero, x, y), std::max(0.0, 1.0 - r2At(x, y)), 1e-5);
}

struct AspectCase {
  float aspect;
  int rowWidth;     // open pixels across the middle row
  int columnWidth;  // open pixels along the middle column
};

std::ostream& operator<<(std::ostream& o, const AspectCase& c) { return o << "aspect " << c.aspect; }

class HeroAspect : public testing::TestWithParam<AspectCase> {};

TEST_P(HeroAspect, ScalesOneAxisOnly) {
  const AspectCase& c = GetParam();
  const ktChannelFloatBuffer hero = drawShape(withAspect(circle(0.0f), c.aspect), 256);
  EXPECT_NEAR(nonZeroInRow(hero, 128), c.rowWidth, 1);
  EXPECT_NEAR(nonZeroInColumn(hero, 128), c.columnWidth, 1);
}

INSTANTIATE_TEST_SUITE_P(Kernels, HeroAspect,
                         testing::Values(AspectCase{1.0f, 256, 256}, AspectCase{2.0f, 128, 256},
                                         AspectCase{0.5f, 256, 128}, AspectCase{4.0f, 64, 256}));

// Aspect 0 (an infinite vertical stretch) or an infinite aspect (horizontal) flattens the
// aperture onto its centre row or column: that line keeps the round shape's values, every other
// pixel is closed, and nothing is NaN.
TEST(HeroShape, ExtremeAspectLeavesOnlyTheCentreLine) {
  const int n = 31;  // odd: a row and a column of pixel centres pass through the shape's centre
  const int c = n / 2;
  for (int type : {kKernelCircular, kKernelBlades}) {
    for (float aspect : {0.0f, std::numeric_limits<float>::infinity()}) {
      Shape flat;
      flat.type = type;
      flat.aspect = aspect;
      Shape round = flat;
      round.aspect = 1.0f;
      const ktChannelFloatBuffer hero = drawShape(flat, n);
      const bool row = aspect == 0.0f;
      for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
          const bool onLine = row ? y == c : x == c;
          const double want = onLine ? referenceAperture(round, n, x, y) : 0.0;
          ASSERT_NEAR(at(hero, x, y), want, 1e-5) << flat << " at " << x << "," << y;
        }
      EXPECT_GT(row ? nonZeroInRow(hero, c) : nonZeroInColumn(hero, c), n / 2) << flat;
    }
  }
}

class FullCurvature : public testing::TestWithParam<Shape> {};

TEST_P(FullCurvature, BladesEqualTheDisc) {
  Shape bladed = GetParam();
  bladed.type = kKernelBlades;
  bladed.curvature = 1.0f;
  Shape disc = GetParam();
  disc.type = kKernelCircular;
  const ktChannelFloatBuffer a = drawShape(bladed, 96), b = drawShape(disc, 96);
  EXPECT_EQ(a.planes[Chan_Red], b.planes[Chan_Red]);
}

INSTANTIATE_TEST_SUITE_P(Kernels, FullCurvature,
                         testing::Values(circle(0.1f), circle(0.0f),
                                         withAspect(blades(5, 1, 0.2f, 0.3f), 1.7f),
                                         withSphAbb(blades(7, 1, 0.0f, 0.5f), 0.6f)));

TEST(HeroShape, HexagonPullsTheRimInMidBlade) {
  const ktChannelFloatBuffer hero = drawShape(blades(6, 0.0f, 0.0f, 0.0f), 256);
  int midBladeInside = 0, midBladeOutside = 0, cornerInside = 0;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const double degrees = std::atan2(offset(y, 256), offset(x, 256)) * 180.0 / kPi;
      const double r2 = r2At(x, y);
      if (std::fabs(degrees - 30.0) < 0.5) {
        // The edge lies at r2 = 1 - 1/6 in the middle of the first blade.
        if (r2 < 5.0 / 6.0 - 0.01) {
          ASSERT_GT(at(hero, x, y), 0.5f) << x << ", " << y;
          ++midBladeInside;
        }
        if (r2 > 5.0 / 6.0 + 0.01) {
          ASSERT_EQ(at(hero, x, y), 0.0f) << x << ", " << y;
          ++midBladeOutside;
        }
      }
      if (std::fabs(degrees) < 0.5 && r2 > 5.0 / 6.0 + 0.01 && r2 < 0.98) {
        // Where two blades meet the opening reaches the full radius.
        ASSERT_GT(at(hero, x, y), 0.5f) << x << ", " << y;
        ++cornerInside;
      }
    }
  }
  EXPECT_GT(midBladeInside, 20);
  EXPECT_GT(midBladeOutside, 5);
  EXPECT_GT(cornerInside, 5);
}

struct RotationCase {
  const char* name;
  int sides;
  float rotation;
  bool mirrored;  // equals the unrotated shape mirrored through the centre, else the shape itself
};

std::ostream& operator<<(std::ostream& o, const RotationCase& c) { return o << c.name; }

class BladeRotation : public testing::TestWithParam<RotationCase> {};

TEST_P(BladeRotation, KeepsOrMirrorsTheShape) {
  const RotationCase& c = GetParam();
  const int n = 128;
  const ktChannelFloatBuffer still = drawShape(blades(c.sides, 0.2f, 0.0f, 0.1f), n);
  const ktChannelFloatBuffer turned = drawShape(blades(c.sides, 0.2f, c.rotation, 0.1f), n);
  float worst = 0.0f;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const float expected = c.mirrored ? at(still, n - 1 - x, n - 1 - y) : at(still, x, y);
      worst = std::max(worst, std::fabs(at(turned, x, y) - expected));
    }
  EXPECT_LT(worst, 1e-4f);
  // The rotation must really have turned something for the comparison above to mean anything.
  if (c.mirrored) {
    EXPECT_GT(maxAbsDifference(turned, still), 0.1f);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, BladeRotation,
                         testing::Values(RotationCase{"OneBladePeriod", 5, 0.2f, false},
                                         RotationCase{"TwoBladePeriods", 7, 2.0f / 7.0f, false},
                                         RotationCase{"HalfTurnEven", 6, 0.5f, false},
                                         RotationCase{"HalfTurnOdd", 5, 0.5f, true},
                                         RotationCase{"FullTurn", 3, 1.0f, false}),
                         [](const testing::TestParamInfo<RotationCase>& i) {
                           return std::string(i.param.name);
                         });

TEST(HeroShape, EveryChannelGetsTheSameShape) {
  const ktChannelFloatBuffer hero = drawShape(blades(5, 0.3f, 0.1f, 0.2f), 64, Mask_RGBA);
  ASSERT_EQ(hero.planes[Chan_Red].size(), 64u * 64u);
  for (Channel z : {Chan_Green, Chan_Blue, Chan_Alpha}) EXPECT_EQ(hero.planes[z], hero.planes[Chan_Red]);
}

TEST(HeroShape, EmptyChannelsStopAfterSizing) {
  const ktChannelFloatBuffer hero = drawShape(circle(0.1f), 32, ChannelSet());
  EXPECT_EQ(hero.width, 32);
  EXPECT_EQ(hero.planes.size(), 1024u);
  for (const auto& p : hero.planes) EXPECT_TRUE(p.empty());
}

TEST(HeroShape, RedrawOverwritesEveryPixel) {
  ktChannelFloatBuffer hero;
  hero.init(Chan_Red, 16, 16);
  std::fill(hero.planes[Chan_Red].begin(), hero.planes[Chan_Red].end(), 5.0f);
  makeHeroKernel(hero, settingsFor(circle(0.1f)), Chan_Red, 16, nullptr);
  EXPECT_EQ(hero.planes[Chan_Red], drawShape(circle(0.1f), 16).planes[Chan_Red]);
}

// ---- "Input" kernels ----

namespace {

// A kernel image over `box` whose channels hold a fixed pseudo-random pattern.
std::unique_ptr<MemoryIop> noiseImage(const Box& box, const ChannelSet& channels) {
  auto img = std::make_unique<MemoryIop>(formatOf(box), box, channels);
  unsigned state = 12345u;
  for (Channel z : channels)
    for (int y = box.y(); y < box.t(); ++y)
      for (int x = box.x(); x < box.r(); ++x) {
        state = state * 1664525u + 1013904223u;
        img->set(x, y, z, float(state >> 8) / float(1u << 24));
      }
  return img;
}

ktChannelFloatBuffer resample(MemoryIop& img, const ktOrvelSettings& s, const ChannelSet& channels) {
  const Box box = img.info().box();
  const int side = heroKernelSide(s, false, Format(1920, 1080), &box);
  ktChannelFloatBuffer hero;
  makeHeroKernel(hero, s, channels, side, &img);
  return hero;
}

ktOrvelSettings inputSettings() {
  ktOrvelSettings s;
  s.kernelType = kKernelInput;
  s.max_kernelsize = 256;
  return s;
}

}  // namespace

TEST(HeroInput, HalvingLandsOnSourcePixels) {
  const Box box(-7, 3, 505, 515);
  auto img = noiseImage(box, Mask_RGBA);
  const ktChannelFloatBuffer hero = resample(*img, inputSettings(), Mask_RGBA);
  ASSERT_EQ(hero.width, 256);
  for (Channel z : ChannelSet(Mask_RGBA))
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x)
        ASSERT_EQ(at(hero, x, y, z), img->at(box.x() + 2 * x + 1, box.y() + 2 * y + 1, z)) << x << ", " << y;
}

TEST(HeroInput, SameSizeGivesTheCatmullRomMidpoint) {
  const Box box(100, -40, 164, 24);
  auto img = noiseImage(box, Chan_Green);
  const ktChannelFloatBuffer hero = resample(*img, inputSettings(), Chan_Green);
  ASSERT_EQ(hero.width, 64);
  const double w[4] = {-1.0 / 16, 9.0 / 16, 9.0 / 16, -1.0 / 16};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      double expected = 0.0;
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
          const int sx = std::clamp(x - 1 + i, 0, 63), sy = std::clamp(y - 1 + j, 0, 63);
          expected += w[j] * w[i] * img->at(box.x() + sx, box.y() + sy, Chan_Green);
        }
      ASSERT_NEAR(at(hero, x, y, Chan_Green), expected, 1e-5) << x << ", " << y;
    }
}

TEST(HeroInput, WideImageIsSqueezedToTheShorterSide) {
  const Box box(0, 0, 300, 200);
  MemoryIop img(formatOf(box), box, Chan_Red);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) img.set(x, y, Chan_Red, 0.01f * x + 0.02f * y);
  const ktChannelFloatBuffer hero = resample(img, inputSettings(), Chan_Red);
  ASSERT_EQ(hero.width, 200);
  ASSERT_EQ(hero.height, 200);
  // Catmull-Rom reproduces a ramp, so away from the clamped edges each hero pixel is the ramp
  // at its centre mapped into the source: 1.5 source columns and 1 source row per pixel.
  for (int y = 1; y < 197; ++y)
    for (int x = 1; x < 197; ++x)
      ASSERT_NEAR(at(hero, x, y), 0.01 * 1.5 * (x + 0.5) + 0.02 * (y + 0.5), 1e-4) << x << ", " << y;
}

struct MissingChannelCase {
  const char* name;
  Channel fallback;
  float blue;
};

std::ostream& operator<<(std::ostream& o, const MissingChannelCase& c) { return o << c.name; }

class HeroMissingChannel : public testing::TestWithParam<MissingChannelCase> {};

TEST_P(HeroMissingChannel, ReadsTheFallbackOrWhatTheInputGives) {
  const MissingChannelCase& c = GetParam();
  const Box box(0, 0, 16, 16);
  MemoryIop img(formatOf(box), box, (ChannelSet(Chan_Red) + Chan_Green));
  img.fill(Chan_Red, 0.25f);
  img.fill(Chan_Green, 0.75f);
  ktOrvelSettings s = inputSettings();
  s.missingKernelChannel = c.fallback;
  const ktChannelFloatBuffer hero = resample(img, s, (ChannelSet(Chan_Red) + Chan_Blue));
  for (size_t i = 0; i < hero.count; ++i) {
    ASSERT_NEAR(hero.planes[Chan_Red][i], 0.25f, 1e-6);
    ASSERT_NEAR(hero.planes[Chan_Blue][i], c.blue, 1e-6);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, HeroMissingChannel,
                         testing::Values(MissingChannelCase{"GreenFallback", Chan_Green, 0.75f},
                                         MissingChannelCase{"NoFallback", DD::Image::Chan_Black, 0.0f}),
                         [](const testing::TestParamInfo<MissingChannelCase>& i) {
                           return std::string(i.param.name);
                         });

TEST(HeroInput, EmptyBoxGivesAnEmptyKernel) {
  const Box box(10, 10, 10, 50);
  MemoryIop img(Format(100, 100), box, Chan_Red);
  const ktChannelFloatBuffer hero = resample(img, inputSettings(), Mask_RGBA);
  EXPECT_EQ(hero.width, 0);
  EXPECT_EQ(hero.count, 0u);
  EXPECT_TRUE(hero.planes[Chan_Red].empty());
}
