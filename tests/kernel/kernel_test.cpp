// The hero kernel against its geometry worked in double precision and against the source pixels
// of an aperture image; the bank against a textbook bicubic resampling, its normalisation, and
// the same bank from any number of workers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "standin/MemoryIop.h"
#include "ktHeroKernel.h"
#include "ktKernelBank.h"
#include "nodeScenes.h"

using namespace DD::Image;
using namespace standin;

namespace {

// A format whose aperture is `b`.
Format formatOf(const Box& b) { return Format(b.w(), b.h(), b.x(), b.y(), b.r(), b.t()); }

constexpr double kPi = 3.14159265358979323846;
using Bank = std::vector<ktChannelFloatBuffer>;

struct Shape {
  int type = kKernelCircular;
  float aspect = 1.0f, softness = 0.1f;
  int sides = 6;
  float curvature = 0.1f, rotation = 0.0f, sphAbb = 0.0f;
};

ktChannelFloatBuffer draw(const Shape& p, int side, const ChannelSet& channels = Channel(Chan_Red)) {
  ktOrvelSettings s;
  s.kernelType = p.type;
  s.kAspectRatio = p.aspect;
  s.kSoftness = p.softness;
  s.kNumSides = p.sides;
  s.kCurvature = p.curvature;
  s.kRotation = p.rotation;
  s.kSphAbb = p.sphAbb;
  ktChannelFloatBuffer hero;
  makeHeroKernel(hero, s, channels, side, nullptr);
  return hero;
}

float at(const ktChannelFloatBuffer& b, int x, int y, Channel z = Chan_Red) {
  return b.planes[z][size_t(y) * b.width + x];
}

// The aperture worked in double precision from pixel centres: r2 is the squared radius over the
// half side (aspect stretching one axis), the blade phase the fractional part of (angle in turns
// + rotation) x blade count.
double referenceAperture(const Shape& p, int n, int x, int y) {
  double dx = x + 0.5 - n / 2.0, dy = y + 0.5 - n / 2.0;
  if (p.aspect > 1) dx *= p.aspect;
  if (p.aspect < 1) dy /= p.aspect;
  const double r2 = (dx * dx + dy * dy) / (n * n / 4.0);
  const double circle = 1.0 - std::min(r2, 1.0);
  double open = circle;
  if (p.type == kKernelBlades) {
    double turns = std::atan2(dy, dx) / (2 * kPi);
    if (turns < 0) turns += 1.0;
    const double phase = (turns + p.rotation) * p.sides;
    open =
        1.0 - std::min(1.0, (1.0 - p.curvature) * std::sin((phase - std::floor(phase)) * kPi) / p.sides + r2);
  }
  double v = std::min(open / std::max(0.001, double(p.softness)), 1.0);
  if (p.sphAbb > 0) v -= p.sphAbb * circle;
  if (p.sphAbb < 0) v -= -p.sphAbb * (1.0 - circle);
  return std::clamp(v, 0.0, 1.0);
}

Shape shape(int type, float softness, float aspect = 1, int sides = 6, float curvature = 0.1f,
            float rotation = 0, float sphAbb = 0) {
  return Shape{type, aspect, softness, sides, curvature, rotation, sphAbb};
}

// clang-format off
struct ApertureCase { const char* name; Shape shape; int side; };
// clang-format on
void PrintTo(const ApertureCase& c, std::ostream* os) { *os << c.name; }

class Aperture : public ::testing::TestWithParam<ApertureCase> {};

TEST_P(Aperture, MatchesDoublePrecisionGeometry) {
  const ApertureCase& c = GetParam();
  const ktChannelFloatBuffer hero = draw(c.shape, c.side, Mask_RGBA);
  for (Channel z : ChannelSet(Mask_RGBA))
    for (int y = 0; y < c.side; ++y)
      for (int x = 0; x < c.side; ++x)
        ASSERT_NEAR(at(hero, x, y, z), referenceAperture(c.shape, c.side, x, y), 1e-4) << x << ", " << y;
}

const int C = kKernelCircular, B = kKernelBlades;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Kernels, Aperture,
    ::testing::Values(ApertureCase{"Dome", shape(C, 1.0f), 64}, ApertureCase{"FlatTop", shape(C, 0.1f), 256},
                      ApertureCase{"OddSide", shape(C, 0.4f), 65}, ApertureCase{"Tall", shape(C, 0.3f, 2.0f), 64},
                      ApertureCase{"Wide", shape(C, 0.5f, 0.5f), 64},
                      ApertureCase{"Hexagon", shape(B, 0.25f, 1, 6, 0.0f), 64},
                      ApertureCase{"RotatedPentagon", shape(B, 0.5f, 1.5f, 5, 0.3f, 0.1f), 80},
                      ApertureCase{"HalfTurnHeptagon", shape(B, 0.1f, 1, 7, 0.2f, 0.5f), 64},
                      ApertureCase{"RoundBlades", shape(B, 0.3f, 1.7f, 5, 1.0f, 0.2f), 64},
                      ApertureCase{"OctagonRing", shape(B, 0.2f, 1, 8, 0.1f, 0.3f, 0.5f), 64},
                      ApertureCase{"HardRing", shape(C, 0.0f, 1, 6, 0.1f, 0, 1.0f), 64},
                      ApertureCase{"DarkRim", shape(C, 1.0f, 1, 6, 0.1f, 0, -0.7f), 64}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Side of the hero: the maximum kernel size, the format's shorter side for the preview, an
// aperture image's shorter side when smaller, 0 for an empty image.
TEST(HeroSide, FollowsPreviewSettingAndKernelBox) {
  // clang-format off
  struct Case { int type; bool preview; Box format; int max; bool input; Box box; int side; };
  const Case cases[] = {
      {C, false, Box(0, 0, 1920, 1080), 256, false, Box(), 256},
      {C, true, Box(0, 0, 1920, 1080), 256, false, Box(), 1080},
      {C, true, Box(-100, 50, 540, 530), 256, false, Box(), 480},
      {C, false, Box(0, 0, 100, 100), 256, true, Box(0, 0, 64, 64), 256},
      {kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(0, 0, 512, 512), 256},
      {kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(5, 5, 69, 69), 64},
      {kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(0, 0, 300, 200), 200},
      {kKernelInput, true, Box(0, 0, 1920, 1080), 256, true, Box(0, 0, 512, 700), 512},
      {kKernelInput, false, Box(0, 0, 100, 100), 256, true, Box(10, 10, 10, 50), 0}};
  // clang-format on
  for (const Case& c : cases) {
    ktOrvelSettings s;
    s.kernelType = c.type;
    s.max_kernelsize = c.max;
    EXPECT_EQ(heroKernelSide(s, c.preview, formatOf(c.format), c.input ? &c.box : nullptr), c.side)
        << "case " << (&c - cases);
  }
}

// ---- Aperture images: a fixed pseudo-random pattern, resampled onto the hero.

// A fixed pseudo-random sequence in 0 .. 1.
float noise() {
  static unsigned state = 12345u;
  state = state * 1664525u + 1013904223u;
  return float(state >> 8) / float(1u << 24);
}

ktChannelFloatBuffer fromImage(MemoryIop& img, const ChannelSet& channels, Channel missing = Chan_Black) {
  ktOrvelSettings s;
  s.kernelType = kKernelInput;
  s.missingKernelChannel = missing;
  const Box box = img.info().box();
  ktChannelFloatBuffer hero;
  makeHeroKernel(hero, s, channels, heroKernelSide(s, false, Format(1920, 1080), &box), &img);
  return hero;
}

// Halving lands every hero pixel on a source pixel; at the same size each is the Catmull-Rom
// midpoint of its 4 x 4 neighbourhood, weights -1/16, 9/16, 9/16, -1/16, edges clamped. Hero row
// N - 1 - y holds source row y counted up from the box's bottom: the top row comes first.
TEST(HeroInput, ResamplesTheSourcePixels) {
  const Box big(-7, 3, 505, 515);
  auto img = noiseImage(formatOf(big), big, Mask_RGBA, 1);
  const ktChannelFloatBuffer half = fromImage(*img, Mask_RGBA);
  ASSERT_EQ(half.width, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      ASSERT_EQ(at(half, x, 255 - y, Chan_Blue),
                img->at(big.x() + 2 * x + 1, big.y() + 2 * y + 1, Chan_Blue));

  const Box box(100, -40, 164, 24);
  auto same = noiseImage(formatOf(box), box, Chan_Green, 2);
  const ktChannelFloatBuffer hero = fromImage(*same, Chan_Green);
  ASSERT_EQ(hero.width, 64);
  const double w[4] = {-1.0 / 16, 9.0 / 16, 9.0 / 16, -1.0 / 16};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      double expected = 0.0;
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
          expected += w[j] * w[i] *
                      same->at(box.x() + std::clamp(x - 1 + i, 0, 63), box.y() + std::clamp(y - 1 + j, 0, 63),
                               Chan_Green);
      ASSERT_NEAR(at(hero, x, 63 - y, Chan_Green), expected, 1e-5) << x << ", " << y;
    }
}

// ---- The bank.

TEST(KernelBank, SidesAreTheLargestOddNotAboveTheEntry) {
  const std::pair<int, int> cases[] = {{0, 1}, {1, 1},     {2, 1},     {3, 3}, {4, 3},
                                       {5, 5}, {128, 127}, {129, 129}, {-3, 1}};
  for (const auto& [k, side] : cases) EXPECT_EQ(kernelSide(k), side) << k;
}

// Catmull-Rom in its textbook matrix form, in double precision.
double catmullRomReference(const double p[4], double t) {
  return 0.5 * (2 * p[1] + (p[2] - p[0]) * t + (2 * p[0] - 5 * p[1] + 4 * p[2] - p[3]) * t * t +
                (3 * p[1] - p[0] - 3 * p[2] + p[3]) * t * t * t);
}

// One pixel of an s x s resampling of a w x h plane: the sample at ((x + 0.5) w / s, (y + 0.5) h / s)
// from the 4 x 4 clamped neighbourhood, 0 where the source index falls on the first row or
// column or past the far edge.
double referenceSample(const std::vector<float>& p, int w, int h, int s, int x, int y) {
  const double u = (x + 0.5) * double(float(w) / float(s)), v = (y + 0.5) * double(float(h) / float(s));
  const int i = int(std::floor(u)), j = int(std::floor(v));
  if (i < 1 || j < 1 || i >= w || j >= h) return 0.0;
  double across[4];
  for (int c = 0; c < 4; ++c) {
    double taps[4];
    for (int r = 0; r < 4; ++r)
      taps[r] = p[size_t(std::clamp(j - 1 + r, 0, h - 1)) * w + std::clamp(i - 1 + c, 0, w - 1)];
    across[c] = catmullRomReference(taps, v - j);
  }
  return catmullRomReference(across, u - i);
}

ktChannelFloatBuffer noiseHero(int w, int h, const ChannelSet& channels) {
  ktChannelFloatBuffer hero;
  hero.init(channels, w, h);
  for (Channel z : channels)
    for (float& v : hero.planes[z]) v = noise() - 0.25f;
  return hero;
}

TEST(KernelBank, ResamplingMatchesABicubicReference) {
  const int cases[][3] = {{9, 7, 1},   {9, 7, 3},    {9, 7, 11},  {7, 12, 4},
                          {16, 16, 5}, {16, 16, 23}, {33, 33, 13}};
  for (const auto& [w, h, size] : cases) {
    const ktChannelFloatBuffer hero = noiseHero(w, h, (ChannelSet(Chan_Red) + Chan_Blue));
    ktChannelFloatBuffer out;
    out.init((ChannelSet(Chan_Red) + Chan_Blue), size, size);
    buildKernel(hero, out, size, Chan_Blue);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x)
        ASSERT_NEAR(out.planes[Chan_Blue][size_t(y) * size + x],
                    referenceSample(hero.planes[Chan_Blue], w, h, size, x, y), 1e-5)
            << w << " x " << h << " to " << size << " at " << x << ", " << y;
    EXPECT_EQ(out.planes[Chan_Red], std::vector<float>(out.count, 0.0f))
        << "only the named channel is written";
  }
}

double sumOf(const std::vector<float>& plane) {
  double s = 0.0;
  for (float v : plane) s += v;
  return s;
}

Bank bankOf(const ktChannelFloatBuffer& hero, const ChannelSet& channels, size_t entries,
            unsigned workers = 2) {
  Bank bank;
  buildKernelBank(bank, hero, channels, entries, workers);
  return bank;
}

// The strongest channel of every entry sums to one, the others keep their ratio to it, and a
// channel dark by design stays dark (no centre tap: another channel has weight).
TEST(KernelBank, NormalisedByTheStrongestChannel) {
  ktChannelFloatBuffer hero = draw(shape(C, 0.1f), 128, Mask_RGB);
  for (float& v : hero.planes[Chan_Red]) v *= 2.0f;
  std::fill(hero.planes[Chan_Blue].begin(), hero.planes[Chan_Blue].end(), 0.0f);
  const Bank bank = bankOf(hero, Mask_RGB, 40);
  ASSERT_EQ(bank.size(), 40u);
  for (size_t k = 0; k < bank.size(); ++k) {
    EXPECT_EQ(bank[k].width, kernelSide(int(k)));
    EXPECT_NEAR(sumOf(bank[k].plane(Chan_Red)), 1.0, 1e-4) << "entry " << k;
    EXPECT_NEAR(sumOf(bank[k].plane(Chan_Green)), 0.5, 1e-4) << "entry " << k;
    EXPECT_EQ(bank[k].plane(Chan_Blue), std::vector<float>(bank[k].count, 0.0f)) << "entry " << k;
  }
}

// Any number of workers builds the same bank, and every channel reads, bit for bit, what a bank
// of its own holds (whether or not equal hero planes share one plane).
TEST(KernelBank, SameBankFromAnyWorkersAndForEveryChannel) {
  ktChannelFloatBuffer hero = draw(shape(C, 0.1f, 1, 6, 0.1f, 0, 0.3f), 96, Mask_RGBA);
  const Bank one = bankOf(hero, Mask_RGBA, 60, 1);
  for (unsigned workers : {3u, 8u}) {
    const Bank many = bankOf(hero, Mask_RGBA, 60, workers);
    for (size_t k = 0; k < one.size(); ++k)
      for (Channel z : ChannelSet(Mask_RGBA))
        ASSERT_EQ(many[k].plane(z), one[k].plane(z)) << workers << " workers, entry " << k;
  }
  for (Channel z : ChannelSet(Mask_RGBA)) {
    const Bank own = bankOf(hero, z, 60);
    for (size_t k = 0; k < one.size(); ++k) ASSERT_EQ(one[k].plane(z), own[k].planes[z]) << "entry " << k;
  }
}

}  // namespace
