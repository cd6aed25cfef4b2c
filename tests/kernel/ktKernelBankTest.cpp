#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "DDImage/Thread.h"
#include "ktHeroKernel.h"
#include "ktKernelBank.h"

using DD::Image::Chan_Black;
using DD::Image::Chan_Blue;
using DD::Image::Chan_Green;
using DD::Image::Chan_Red;
using DD::Image::Channel;
using DD::Image::ChannelSet;
using DD::Image::Mask_RGBA;

namespace {

using Bank = std::vector<ktChannelFloatBuffer>;

ktChannelFloatBuffer circularHero(int side, const ChannelSet& channels, float sphAbb = 0.0f) {
  ktOrvelSettings s;
  s.kernelType = kKernelCircular;
  s.kSphAbb = sphAbb;
  ktChannelFloatBuffer hero;
  makeHeroKernel(hero, s, channels, side, nullptr);
  return hero;
}

// A w x h hero with a fixed pseudo-random pattern in every plane of `channels`.
ktChannelFloatBuffer noiseHero(int w, int h, const ChannelSet& channels) {
  ktChannelFloatBuffer hero;
  hero.init(channels, w, h);
  unsigned state = 987u;
  for (Channel z : channels)
    for (float& v : hero.planes[z]) {
      state = state * 1664525u + 1013904223u;
      v = float(state >> 8) / float(1u << 24) - 0.25f;
    }
  return hero;
}

Bank bankOf(const ktChannelFloatBuffer& hero, const ChannelSet& channels, size_t entries,
            unsigned workers = 2) {
  Bank bank;
  buildKernelBank(bank, hero, channels, entries, workers);
  return bank;
}

double sumOf(const std::vector<float>& plane) {
  double s = 0.0;
  for (float v : plane) s += v;
  return s;
}

// Catmull-Rom in its textbook matrix form, in double precision.
double referenceCatmullRom(double p0, double p1, double p2, double p3, double t) {
  return 0.5 * (2 * p1 + (p2 - p0) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t +
                (3 * p1 - p0 - 3 * p2 + p3) * t * t * t);
}

// One pixel of an s x s resampling of plane `p` (w x h): the sample at ((x + 0.5) w / s,
// (y + 0.5) h / s) from the 4 x 4 clamped neighbourhood, 0 where the source index falls on the
// first row or column or past the far edge.
double referenceSample(const std::vector<float>& p, int w, int h, int s, int x, int y) {
  const float scaleX = float(w) / float(s), scaleY = float(h) / float(s);
  const double u = (x + 0.5) * double(scaleX), v = (y + 0.5) * double(scaleY);
  const int i = int(std::floor(u)), j = int(std::floor(v));
  if (i < 1 || j < 1 || i >= w || j >= h) return 0.0;
  double across[4];
  for (int c = 0; c < 4; ++c) {
    const int col = std::clamp(i - 1 + c, 0, w - 1);
    double taps[4];
    for (int r = 0; r < 4; ++r) taps[r] = p[size_t(std::clamp(j - 1 + r, 0, h - 1)) * w + col];
    across[c] = referenceCatmullRom(taps[0], taps[1], taps[2], taps[3], v - j);
  }
  return referenceCatmullRom(across[0], across[1], across[2], across[3], u - i);
}

}  // namespace

// ---- Sides ----

struct BankSideCase {
  int k;
  int side;
};

std::ostream& operator<<(std::ostream& o, const BankSideCase& c) {
  return o << "k " << c.k << " side " << c.side;
}

class KernelSide : public testing::TestWithParam<BankSideCase> {};

TEST_P(KernelSide, IsTheLargestOddNotAboveK) { EXPECT_EQ(kernelSide(GetParam().k), GetParam().side); }

INSTANTIATE_TEST_SUITE_P(Kernels, KernelSide,
                         testing::Values(BankSideCase{0, 1}, BankSideCase{1, 1}, BankSideCase{2, 1},
                                         BankSideCase{3, 3}, BankSideCase{4, 3}, BankSideCase{5, 5},
                                         BankSideCase{6, 5}, BankSideCase{128, 127}, BankSideCase{129, 129},
                                         BankSideCase{260, 259}, BankSideCase{-3, 1}));

TEST(KernelBank, SmallestBankHasSidesOneOneOneThreeThree) {
  const Bank bank = bankOf(circularHero(64, Chan_Red), Chan_Red, 5);
  ASSERT_EQ(bank.size(), 5u);
  const int sides[5] = {1, 1, 1, 3, 3};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(bank[k].width, sides[k]);
    EXPECT_EQ(bank[k].height, sides[k]);
    EXPECT_EQ(bank[k].halfWidth, sides[k] / 2);
    EXPECT_EQ(bank[k].planes[Chan_Red].size(), size_t(sides[k] * sides[k]));
  }
}

// ---- Catmull-Rom ----

struct QuadraticCase {
  double a, b, c;  // f(t) = a + b t + c t^2, sampled at t = -1, 0, 1, 2
  double t;
};

std::ostream& operator<<(std::ostream& o, const QuadraticCase& q) {
  return o << q.a << " + " << q.b << " t + " << q.c << " t^2 at " << q.t;
}

class CatmullRom : public testing::TestWithParam<QuadraticCase> {};

TEST_P(CatmullRom, ReproducesQuadratics) {
  const QuadraticCase& q = GetParam();
  auto f = [&](double t) { return q.a + q.b * t + q.c * t * t; };
  EXPECT_NEAR(catmullRom(float(f(-1)), float(f(0)), float(f(1)), float(f(2)), float(q.t)), f(q.t), 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Kernels, CatmullRom,
                         testing::Values(QuadraticCase{1, 0, 0, 0.3}, QuadraticCase{0, 1, 0, 0.5},
                                         QuadraticCase{2, -3, 0, 0.9}, QuadraticCase{0, 0, 1, 0.25},
                                         QuadraticCase{0.5, 2, -1.5, 0.75},
                                         QuadraticCase{-1, 0.5, 0.25, 0.1}));

TEST(CatmullRomPoints, PassesThroughTheSecondSampleAndWeighsTheMidpoint) {
  EXPECT_EQ(catmullRom(7.0f, -2.5f, 11.0f, 3.0f, 0.0f), -2.5f);
  // At t = 0.5 the weights are -1/16, 9/16, 9/16, -1/16; a step overshoots below zero.
  EXPECT_NEAR(catmullRom(1.0f, 2.0f, 4.0f, 8.0f, 0.5f), (-1 + 18 + 36 - 8) / 16.0, 1e-6);
  EXPECT_NEAR(catmullRom(0.0f, 0.0f, 1.0f, 1.0f, 0.25f), 0.203125, 1e-6);
  EXPECT_LT(catmullRom(0.0f, 0.0f, 0.0f, 1.0f, 0.5f), 0.0f);
}

// ---- Resampling ----

struct ResampleCase {
  int w, h, size;
};

std::ostream& operator<<(std::ostream& o, const ResampleCase& c) {
  return o << c.w << " x " << c.h << " to " << c.size;
}

class BuildKernel : public testing::TestWithParam<ResampleCase> {};

TEST_P(BuildKernel, MatchesABicubicReference) {
  const ResampleCase& c = GetParam();
  const ktChannelFloatBuffer hero = noiseHero(c.w, c.h, (ChannelSet(Chan_Red) + Chan_Blue));
  ktChannelFloatBuffer out;
  out.init(ChannelSet(Chan_Red) + Chan_Blue, c.size, c.size);
  buildKernel(hero, out, c.size, Chan_Blue);
  for (int y = 0; y < c.size; ++y)
    for (int x = 0; x < c.size; ++x)
      ASSERT_NEAR(out.planes[Chan_Blue][size_t(y) * c.size + x],
                  referenceSample(hero.planes[Chan_Blue], c.w, c.h, c.size, x, y), 1e-5)
          << x << ", " << y;
  // Only the named channel is written.
  EXPECT_EQ(sumOf(out.planes[Chan_Red]), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Kernels, BuildKernel,
                         testing::Values(ResampleCase{9, 7, 1}, ResampleCase{9, 7, 3}, ResampleCase{9, 7, 5},
                                         ResampleCase{9, 7, 11}, ResampleCase{7, 12, 4},
                                         ResampleCase{16, 16, 5}, ResampleCase{16, 16, 9},
                                         ResampleCase{16, 16, 23}, ResampleCase{33, 33, 13}));

TEST(BuildKernelEdges, SizeBelowOneWritesNothing) {
  const ktChannelFloatBuffer hero = noiseHero(8, 8, Chan_Red);
  ktChannelFloatBuffer out;
  out.init(Chan_Red, 2, 2);
  std::fill(out.planes[Chan_Red].begin(), out.planes[Chan_Red].end(), 3.0f);
  buildKernel(hero, out, 0, Chan_Red);
  EXPECT_EQ(out.planes[Chan_Red], std::vector<float>(4, 3.0f));
}

struct FirstRowCase {
  int k;
  bool firstRowAndColumnZero;
};

std::ostream& operator<<(std::ostream& o, const FirstRowCase& c) { return o << "entry " << c.k; }

class FirstRowAndColumn : public testing::TestWithParam<FirstRowCase> {};

// With hero side 256, 0.5 x 256 / s < 1 puts the first output row and column on hero row and
// column 0, which never contribute, for every side s from 129 up.
TEST_P(FirstRowAndColumn, VanishWhenTheKernelExceedsHalfTheHero) {
  const FirstRowCase& c = GetParam();
  ktChannelFloatBuffer hero;
  hero.init(Chan_Red, 256, 256);
  std::fill(hero.planes[Chan_Red].begin(), hero.planes[Chan_Red].end(), 1.0f);
  ktChannelFloatBuffer entry;
  initializeKernel(hero, Chan_Red, entry, c.k);
  const int s = entry.width;
  const std::vector<float>& p = entry.planes[Chan_Red];
  for (int i = 0; i < s; ++i) {
    EXPECT_EQ(p[i] == 0.0f, c.firstRowAndColumnZero) << "row 0, column " << i;
    EXPECT_EQ(p[size_t(i) * s] == 0.0f, c.firstRowAndColumnZero) << "column 0, row " << i;
  }
  // The rest of the kernel is flat and open.
  EXPECT_GT(p[size_t(s / 2) * s + s / 2], 0.0f);
  EXPECT_NEAR(p[size_t(s - 1) * s + s - 1], p[size_t(s / 2) * s + s / 2], 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Kernels, FirstRowAndColumn,
                         testing::Values(FirstRowCase{3, false}, FirstRowCase{64, false},
                                         FirstRowCase{127, false}, FirstRowCase{128, false},
                                         FirstRowCase{129, true}, FirstRowCase{130, true},
                                         FirstRowCase{201, true}, FirstRowCase{260, true}));

// ---- Normalisation ----

TEST(KernelBank, StrongestChannelSumsToOne) {
  const Bank bank = bankOf(circularHero(256, Mask_RGBA), Mask_RGBA, 70);
  for (size_t k = 0; k < bank.size(); ++k)
    for (Channel z : ChannelSet(Mask_RGBA)) EXPECT_NEAR(sumOf(bank[k].plane(z)), 1.0, 1e-4) << "entry " << k;
  EXPECT_EQ(bank[3].width, 3);
}

TEST(KernelBank, SinglePixelEntriesTakeTheHeroCentre) {
  ktChannelFloatBuffer hero;
  hero.init(ChannelSet(Chan_Red) + Chan_Green, 8, 8);
  std::fill(hero.planes[Chan_Red].begin(), hero.planes[Chan_Red].end(), 9.0f);
  std::fill(hero.planes[Chan_Green].begin(), hero.planes[Chan_Green].end(), 9.0f);
  // The sample of a single-pixel kernel lies on hero pixel (4, 4) with fraction 0.
  hero.planes[Chan_Red][4 * 8 + 4] = 0.25f;
  hero.planes[Chan_Green][4 * 8 + 4] = 0.5f;
  const Bank bank = bankOf(hero, (ChannelSet(Chan_Red) + Chan_Green), 3);
  for (const ktChannelFloatBuffer& entry : bank) {
    ASSERT_EQ(entry.count, 1u);
    EXPECT_FLOAT_EQ(entry.planes[Chan_Green][0], 1.0f);
    EXPECT_FLOAT_EQ(entry.planes[Chan_Red][0], 0.5f);
  }
}

TEST(KernelBank, ZeroCentreGivesWeightlessSinglePixels) {
  ktChannelFloatBuffer hero = circularHero(16, Chan_Red);
  hero.planes[Chan_Red][8 * 16 + 8] = 0.0f;
  const Bank bank = bankOf(hero, Chan_Red, 4);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(bank[k].planes[Chan_Red][0], 0.0f);
  EXPECT_NEAR(sumOf(bank[3].planes[Chan_Red]), 1.0, 1e-6);
}

TEST(KernelBank, ColouredKernelKeepsItsRatio) {
  ktChannelFloatBuffer hero = circularHero(128, (ChannelSet(Chan_Red) + Chan_Green));
  for (float& v : hero.planes[Chan_Red]) v *= 2.0f;
  const Bank bank = bankOf(hero, (ChannelSet(Chan_Red) + Chan_Green), 40);
  for (size_t k = 0; k < bank.size(); ++k) {
    EXPECT_NEAR(sumOf(bank[k].planes[Chan_Red]), 1.0, 1e-4) << "entry " << k;
    EXPECT_NEAR(sumOf(bank[k].planes[Chan_Green]), 0.5, 1e-4) << "entry " << k;
  }
}

TEST(KernelBank, BlackPlaneStaysBlackAndLeavesTheOthersAlone) {
  const ChannelSet rg = ChannelSet(Chan_Red) + Chan_Green, rgb = ChannelSet(Chan_Red) + Chan_Green + Chan_Blue;
  ktChannelFloatBuffer hero = circularHero(64, rgb);
  for (float& v : hero.planes[Chan_Green]) v *= 0.5f;
  std::fill(hero.planes[Chan_Blue].begin(), hero.planes[Chan_Blue].end(), 0.0f);
  const Bank withBlack = bankOf(hero, rgb, 20), without = bankOf(hero, rg, 20);
  for (size_t k = 0; k < withBlack.size(); ++k) {
    EXPECT_EQ(withBlack[k].planes[Chan_Blue], std::vector<float>(withBlack[k].count, 0.0f)) << "entry " << k;
    EXPECT_EQ(withBlack[k].planes[Chan_Red], without[k].planes[Chan_Red]) << "entry " << k;
    EXPECT_EQ(withBlack[k].planes[Chan_Green], without[k].planes[Chan_Green]) << "entry " << k;
  }
}

TEST(KernelBank, NegativeSumIsLeftAsBuilt) {
  ktChannelFloatBuffer hero;
  hero.init(ChannelSet(Chan_Red) + Chan_Green, 4, 4);
  std::fill(hero.planes[Chan_Red].begin(), hero.planes[Chan_Red].end(), 4.0f);
  std::fill(hero.planes[Chan_Green].begin(), hero.planes[Chan_Green].end(), -3.0f);
  const Bank bank = bankOf(hero, (ChannelSet(Chan_Red) + Chan_Green), 2);
  EXPECT_FLOAT_EQ(bank[1].planes[Chan_Red][0], 1.0f);
  EXPECT_FLOAT_EQ(bank[1].planes[Chan_Green][0], -3.0f);
}

TEST(KernelBank, EmptyHeroGivesEmptyKernels) {
  ktChannelFloatBuffer hero;
  makeHeroKernel(hero, ktOrvelSettings(), Mask_RGBA, 0, nullptr);
  const Bank bank = bankOf(hero, Mask_RGBA, 9);
  for (size_t k = 0; k < bank.size(); ++k) {
    EXPECT_EQ(bank[k].width, kernelSide(int(k)));
    for (Channel z : ChannelSet(Mask_RGBA)) EXPECT_EQ(bank[k].plane(z), std::vector<float>(bank[k].count, 0.0f));
  }
}

// ---- One plane for equal hero planes ----

// A bank over RGBA equals, channel by channel and bit for bit, banks built for each channel on
// its own; it keeps one plane when the hero's planes are equal and one per channel otherwise.
struct SharingCase {
  const char* name;
  bool equalPlanes;
};

class KernelBankSharing : public ::testing::TestWithParam<SharingCase> {};

TEST_P(KernelBankSharing, EveryChannelReadsWhatItsOwnBankHolds) {
  ktChannelFloatBuffer hero = circularHero(96, Mask_RGBA, 0.4f);
  if (!GetParam().equalPlanes)
    for (float& v : hero.planes[Chan_Blue]) v *= 0.5f;
  const Bank bank = bankOf(hero, Mask_RGBA, 40);
  for (size_t k = 0; k < bank.size(); ++k) {
    EXPECT_EQ(bank[k].sharedPlane, GetParam().equalPlanes ? Chan_Red : Chan_Black) << "entry " << k;
    EXPECT_EQ(bank[k].planes[Chan_Green].empty(), GetParam().equalPlanes) << "entry " << k;
  }
  for (Channel z : ChannelSet(Mask_RGBA)) {
    // The strongest channel sets the scale of every plane, so an unequal hero is built whole.
    const Bank own = GetParam().equalPlanes ? bankOf(hero, z, 40) : bank;
    for (size_t k = 0; k < bank.size(); ++k) ASSERT_EQ(bank[k].plane(z), own[k].planes[z]) << "entry " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(HeroPlanes, KernelBankSharing,
                         ::testing::Values(SharingCase{"equal", true}, SharingCase{"unequal", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KernelBankSharing, InitGivesEveryChannelItsOwnPlaneAgain) {
  Bank bank = bankOf(circularHero(32, Mask_RGBA), Mask_RGBA, 8);
  ASSERT_EQ(bank[5].sharedPlane, Chan_Red);
  bank[5].init(Mask_RGBA, 5, 5);
  EXPECT_EQ(bank[5].sharedPlane, Chan_Black);
  EXPECT_EQ(&bank[5].plane(Chan_Green), &bank[5].planes[Chan_Green]);
  bank[5].clear();
  EXPECT_EQ(bank[5].sharedPlane, Chan_Black);
}

// ---- Workers ----

TEST(KernelBankWorkers, OneWorkerAndManyBuildTheSameBank) {
  const ktChannelFloatBuffer hero = circularHero(128, Mask_RGBA, 0.3f);
  const Bank one = bankOf(hero, Mask_RGBA, 75, 1);
  for (unsigned workers : {3u, 8u, std::max(2u, DD::Image::Thread::numCPUs)}) {
    const Bank many = bankOf(hero, Mask_RGBA, 75, workers);
    ASSERT_EQ(many.size(), one.size());
    for (size_t k = 0; k < one.size(); ++k)
      for (Channel z : ChannelSet(Mask_RGBA))
        ASSERT_EQ(many[k].plane(z), one[k].plane(z)) << workers << " workers, entry " << k;
  }
}

TEST(KernelBankWorkers, WorkerBuildsEveryCountthEntryFromItsIndex) {
  const ktChannelFloatBuffer hero = circularHero(32, Chan_Red);
  const ChannelSet channels(Chan_Red);
  Bank bank(10);
  ktKernelBankJob job{&hero, &channels, &bank};
  initializeKernelsThreaded(1, 3, &job);
  for (size_t k = 0; k < bank.size(); ++k) EXPECT_EQ(bank[k].planes.empty(), k % 3 != 1) << "entry " << k;
  Bank none;
  ktKernelBankJob empty{&hero, &channels, &none};
  initializeKernelsThreaded(0, 2, &empty);
  EXPECT_TRUE(none.empty());
}

TEST(KernelBankWorkers, RebuildReplacesThePreviousBank) {
  const ktChannelFloatBuffer hero = circularHero(32, Chan_Red);
  Bank bank = bankOf(hero, Chan_Red, 30);
  buildKernelBank(bank, hero, Chan_Red, 6, 2);
  ASSERT_EQ(bank.size(), 6u);
  EXPECT_EQ(bank[5].planes[Chan_Red], bankOf(hero, Chan_Red, 6)[5].planes[Chan_Red]);
}
