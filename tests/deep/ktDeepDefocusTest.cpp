// The deep row engine on tiny scenes. With one-pixel kernels and one slice an output pixel is
// the coverage-weighted mix of its own pieces, so expected values are worked out by laying the
// samples over each other front to back by hand.
#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "ktDeepEngineSetup.h"
#include "ktDeepTestScene.h"

using namespace DD::Image;
using namespace standin;
using deeptest::point;
using deeptest::Sample;
using deeptest::thick;

namespace {

constexpr float kTolerance = 1e-5f;
constexpr int kAllPasses = 0, kFrontPass = 1, kBackPass = 2;

struct Rgba {
  float red, green, blue, alpha;
};

void expectPixel(const standin::OwnedRow& row, int x, const Rgba& e) {
  EXPECT_NEAR(row[Chan_Red][x], e.red, kTolerance) << "red at " << x;
  EXPECT_NEAR(row[Chan_Green][x], e.green, kTolerance) << "green at " << x;
  EXPECT_NEAR(row[Chan_Blue][x], e.blue, kTolerance) << "blue at " << x;
  EXPECT_NEAR(row[Chan_Alpha][x], e.alpha, kTolerance) << "alpha at " << x;
}

struct CoverageCase {
  std::string name;
  std::vector<Sample> samples;
  int pass;
  Rgba expected;
};

std::ostream& operator<<(std::ostream& os, const CoverageCase& c) { return os << c.name; }

// Focal plane 10: depths 2 and 5 lie in front, 12 and 15 behind.
class CoverageWalk : public testing::TestWithParam<CoverageCase> {};

TEST_P(CoverageWalk, MixesPiecesByTheirVisibleShare) {
  const CoverageCase& c = GetParam();
  deeptest::Scene scene(1, 1);
  for (const Sample& s : c.samples) scene.add(0, 0, s);
  auto deep = scene.makeDeepOp();
  auto flat = deeptest::makeFlat(1, 1, 0.9f, 0.8f, 0.7f, 0.6f, 3.0f);
  deeptest::EngineSetup setup(1, 1, 4, 0);

  const auto row = setup.run(*flat, deep.get(), 0, 0, 1, Mask_RGBA, c.pass);
  expectPixel(row, 0, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Deep, CoverageWalk,
    testing::Values(CoverageCase{"OpaqueNearestHidesTheRest",
                                 {point(2, 0.2f, 0.4f, 0.6f, 1), point(5, 0.9f, 0.9f, 0.9f, 1),
                                  point(15, 0.25f, 0.25f, 0, 0.5f)},
                                 kAllPasses,
                                 {0.2f, 0.4f, 0.6f, 1}},
                    // 0.3 + 0.5 x 0.1 and so on; alpha 0.5 + 0.5 x 0.5, the last quarter spread transparent.
                    CoverageCase{"TwoHalvesLeaveAQuarter",
                                 {point(2, 0.3f, 0.1f, 0, 0.5f), point(5, 0.1f, 0.2f, 0.4f, 0.5f)},
                                 kAllPasses,
                                 {0.35f, 0.2f, 0.2f, 0.75f}},
                    CoverageCase{"FrontPassSkipsBackPiecesWithoutCoverage",
                                 {point(2, 0.3f, 0.1f, 0, 0.5f), point(15, 0.8f, 0.6f, 0.4f, 1)},
                                 kFrontPass,
                                 {0.3f, 0.1f, 0, 0.5f}},
                    CoverageCase{"BackPassSkipsFrontPiecesWithoutCoverage",
                                 {point(2, 0.3f, 0.1f, 0, 0.5f), point(15, 0.8f, 0.6f, 0.4f, 1)},
                                 kBackPass,
                                 {0.8f, 0.6f, 0.4f, 1}},
                    CoverageCase{"BackPassWalksItsOwnPieces",
                                 {point(2, 0.3f, 0.1f, 0, 0.5f), point(12, 0.2f, 0.2f, 0.2f, 0.5f),
                                  point(15, 0.8f, 0.6f, 0.4f, 1)},
                                 kBackPass,
                                 {0.6f, 0.5f, 0.4f, 1}},
                    CoverageCase{"EmptyPixelSpreadsOnlyTransparency", {}, kAllPasses, {0, 0, 0, 0}},
                    CoverageCase{"FrontPassOfABackOnlyPixelIsTransparent",
                                 {point(15, 0.8f, 0.6f, 0.4f, 1)},
                                 kFrontPass,
                                 {0, 0, 0, 0}},
                    CoverageCase{"TransparentPieceIsNotSpread",
                                 {point(2, 0, 0, 0, 0), point(5, 0.2f, 0.3f, 0.4f, 1)},
                                 kAllPasses,
                                 {0.2f, 0.3f, 0.4f, 1}},
                    // [1, 4] loses its part behind 3 to [3, 6]: a piece of alpha 0.4, then the opaque one.
                    CoverageCase{"OverlappingSamplesAreCutBeforeTheWalk",
                                 {thick(1, 4, 0.3f, 0.15f, 0, 0.6f), thick(3, 6, 0.5f, 0.5f, 0.5f, 1)},
                                 kAllPasses,
                                 {0.5f, 0.4f, 0.3f, 1}}),
    [](const testing::TestParamInfo<CoverageCase>& info) { return info.param.name; });

TEST(DeepDefocus, ChannelsTheDeepInputLacksSpreadTheFlatValueWeightedLikeThePieces) {
  deeptest::Scene scene(1, 1);
  scene.add(0, 0, point(2, 0.3f, 0, 0, 0.5f));
  scene.add(0, 0, point(5, 0.1f, 0, 0.4f, 0.5f));
  auto deep = scene.makeDeepOp(false, Chan_Green);
  auto flat = deeptest::makeFlat(1, 1, 0.9f, 0.8f, 0.7f, 0.6f, 3.0f);
  deeptest::EngineSetup setup(1, 1, 4, 0);

  const auto row = setup.run(*flat, deep.get(), 0, 0, 1, Mask_RGBA, kAllPasses);
  // Green 0.8 with the pieces' weights 0.5 and 0.25; the remainder spreads 0.
  expectPixel(row, 0, {0.35f, 0.8f * 0.75f, 0.2f, 0.75f});
}

struct FallbackCase {
  int x;
  float green;
};

std::ostream& operator<<(std::ostream& os, const FallbackCase& c) { return os << "x=" << c.x; }

// Columns right of a two-pixel image read the deep pixel at column 1. The flat value there is
// fetched only when column 1 lies within the padded source span; otherwise the fallback is 0.
class FallbackOutsideTheSpan : public testing::TestWithParam<FallbackCase> {};

TEST_P(FallbackOutsideTheSpan, IsZero) {
  deeptest::Scene scene(2, 1);
  scene.add(1, 0, point(5, 0.5f, 0, 0, 1));
  auto deep = scene.makeDeepOp(false, Chan_Green);
  auto flat = deeptest::makeFlat(2, 1, 0.9f, 0.8f, 0.7f, 0.6f, 3.0f);
  deeptest::EngineSetup setup(2, 1, 4, 0);
  const int x = GetParam().x;

  const auto row = setup.run(*flat, deep.get(), 0, x, x + 1, Mask_RGBA, kAllPasses);
  expectPixel(row, x, {0.5f, GetParam().green, 0, 1});
}

INSTANTIATE_TEST_SUITE_P(Deep, FallbackOutsideTheSpan,
                         testing::Values(FallbackCase{1, 0.8f}, FallbackCase{2, 0.0f},
                                         FallbackCase{5, 0.0f}));

struct DepthChannelCase {
  Channel depthChannel;
  int pass;
  float alpha;
};

std::ostream& operator<<(std::ostream& os, const DepthChannelCase& c) {
  return os << "channel " << c.depthChannel << " pass " << c.pass;
}

// One sample over [5, 15] around the focal plane 10: its front lies in front, its back behind.
class DepthChannel : public testing::TestWithParam<DepthChannelCase> {};

TEST_P(DepthChannel, PicksTheFrontOrBackDepthOfEachPiece) {
  const DepthChannelCase& c = GetParam();
  deeptest::Scene scene(1, 1);
  scene.add(0, 0, thick(5, 15, 0.25f, 0, 0, 0.5f));
  auto deep = scene.makeDeepOp();
  auto flat = deeptest::makeFlat(1, 1, 0, 0, 0, 0, 3.0f);
  deeptest::EngineSetup setup(1, 1, 4, 0);
  setup.settings.depthChannel = c.depthChannel;

  const auto row = setup.run(*flat, deep.get(), 0, 0, 1, Mask_RGBA, c.pass);
  expectPixel(row, 0, {c.alpha * 0.5f, 0, 0, c.alpha});
}

INSTANTIATE_TEST_SUITE_P(Deep, DepthChannel,
                         testing::Values(DepthChannelCase{Chan_Z, kFrontPass, 0.5f},
                                         DepthChannelCase{Chan_Z, kBackPass, 0.0f},
                                         DepthChannelCase{Chan_DeepFront, kFrontPass, 0.5f},
                                         DepthChannelCase{Chan_DeepBack, kFrontPass, 0.0f},
                                         DepthChannelCase{Chan_DeepBack, kBackPass, 0.5f}));

// With the real-world lens a depth that is not a number has no focus region: only pass 0 takes it.
class NaNDepth : public testing::TestWithParam<int> {};

TEST_P(NaNDepth, IsSpreadOnlyWhenEveryRegionIsWanted) {
  deeptest::Scene scene(1, 1);
  scene.add(0, 0, point(std::numeric_limits<float>::quiet_NaN(), 0.25f, 0, 0, 0.5f));
  auto deep = scene.makeDeepOp();
  auto flat = deeptest::makeFlat(1, 1, 0, 0, 0, 0, 3.0f);
  deeptest::EngineSetup setup(1, 1, 1, 0);
  setup.settings.realWorldLens = true;
  setup.settings.pixelsPerMm = 100.0f;
  setup.settings.lensCoefficient = 1.0f;

  const auto row = setup.run(*flat, deep.get(), 0, 0, 1, Mask_RGBA, GetParam());
  const float alpha = GetParam() == kAllPasses ? 0.5f : 0.0f;
  expectPixel(row, 0, {alpha * 0.5f, 0, 0, alpha});
}

INSTANTIATE_TEST_SUITE_P(Deep, NaNDepth, testing::Values(kAllPasses, kFrontPass, kBackPass));

// Three pixels in a row, one row high, padding 1: opaque red at the focal plane on both sides,
// a half-transparent red point in front in the middle. Front pieces and the focal plane are
// sharp; the far size is 3 (multiplier 3 at the region's far end) and the far slice is 1.
// The middle remainder 0.5 is spread from source rows -1, 0 and 1 (all clamped onto row 0),
// each time as 0.5 / 9 per column: 1/6 in slice 1 at every column.
//   column 0: slice 1 holds weight 1 + 1/6 and red 1, so red = 1 / (7/6) = 6/7.
//   column 1: slice 0 holds the piece, weight 0.5 and red 0.5; slice 1 adds 1/6 coverage of
//             zero colour: red = 0.5 / (2/3) = 3/4.
TEST(DeepDefocus, RemainderGoesToTheFarSliceAtTheFarSize) {
  deeptest::Scene scene(3, 1);
  scene.add(0, 0, point(10, 1, 0, 0, 1));
  scene.add(1, 0, point(2, 0.5f, 0, 0, 0.5f));
  scene.add(2, 0, point(10, 1, 0, 0, 1));
  auto deep = scene.makeDeepOp();
  auto flat = deeptest::makeFlat(3, 1, 0, 0, 0, 0, 3.0f);
  deeptest::EngineSetup setup(3, 1, 4, 1);
  setup.settings.multiplier = 3.0f;
  setup.settings.frontmultiplier = 0.0f;
  setup.setSlices({0.0f, 10.0f});

  const auto row = setup.run(*flat, deep.get(), 0, 0, 3, Mask_RGBA, kAllPasses);
  expectPixel(row, 0, {6.0f / 7, 0, 0, 6.0f / 7});
  expectPixel(row, 1, {0.75f, 0, 0, 0.75f});
  expectPixel(row, 2, {6.0f / 7, 0, 0, 6.0f / 7});
}

// Slices at 0 and 10, focal plane 10, focus region 2 .. 18, multiplier 3: depth 2 blurs over
// 3 pixels, depth 10 is sharp. Pixel 0 is opaque green at depth 2 (slice 0), pixel 1 opaque red
// at depth 10, exactly on the boundary (slice 1), pixel 2 is empty (remainder, 3 pixels, slice 1).
// At column 1 pixel 0 and the remainder each spread 3 x 1/9 = 1/3. Slice 0 takes coverage 1/3
// with green 1/3; slice 1 holds weight 4/3 (red 1) and gets the 2/3 left: red 1/2, alpha 5/6.
TEST(DeepDefocus, ADepthOnASliceBoundaryBelongsToTheSliceStartingThere) {
  deeptest::Scene scene(3, 1);
  scene.add(0, 0, point(2, 0, 1, 0, 1));
  scene.add(1, 0, point(10, 1, 0, 0, 1));
  auto deep = scene.makeDeepOp();
  auto flat = deeptest::makeFlat(3, 1, 0, 0, 0, 0, 3.0f);
  deeptest::EngineSetup setup(3, 1, 4, 1);
  setup.setFocus(10.0f, 16.0f);
  setup.settings.multiplier = 3.0f;
  setup.setSlices({0.0f, 10.0f});

  const auto row = setup.run(*flat, deep.get(), 0, 1, 2, Mask_RGBA, kAllPasses);
  expectPixel(row, 1, {0.5f, 1.0f / 3, 0, 5.0f / 6});
}

// Focus region 2 .. 18, multiplier 3: the opaque red point at 18 in the middle of three pixels
// blurs over 3 pixels, unless the defocus matte (0 there) makes it sharp. The empty pixels on
// either side spread their remainders at the far size whatever the matte: 3 x 1/9 each into
// column 1. Sharp: red = 1 / (1 + 2/3) = 0.6. Blurred: red = (1/3) / (1/3 + 2/3) = 1/3.
class DefocusMatte : public testing::TestWithParam<float> {};

TEST_P(DefocusMatte, ScalesThePiecesBlurButNotTheRemainders) {
  deeptest::Scene scene(3, 1);
  scene.add(1, 0, point(18, 1, 0, 0, 1));
  auto deep = scene.makeDeepOp();
  auto flat = deeptest::makeFlat(3, 1, 0, 0, 0, 0, 3.0f);
  MemoryIop mattes(Format(3, 1), Box(0, 0, 3, 1), ChannelSet(Chan_Blue));
  mattes.fill(Chan_Blue, 1.0f);
  mattes.set(1, 0, Chan_Blue, GetParam());
  deeptest::EngineSetup setup(3, 1, 4, 1);
  setup.setFocus(10.0f, 16.0f);
  setup.settings.multiplier = 3.0f;
  setup.settings.defocusMatteChannel = Chan_Blue;
  setup.ctx.hasDefocusMatte = true;
  setup.ctx.matteChannels = ChannelSet(Chan_Blue);

  const auto row = setup.run(*flat, deep.get(), 0, 1, 2, Mask_RGBA, kAllPasses, &mattes);
  const float red = GetParam() == 0.0f ? 0.6f : 1.0f / 3;
  expectPixel(row, 1, {red, 0, 0, red});
}

INSTANTIATE_TEST_SUITE_P(Deep, DefocusMatte, testing::Values(0.0f, 1.0f));

TEST(DeepDefocus, WithoutADeepInputActiveChannelsAreZeroAndOthersPassThrough) {
  auto flat = deeptest::makeFlat(3, 2, 0.9f, 0.8f, 0.7f, 0.6f, 3.0f);
  deeptest::EngineSetup setup(3, 2, 4, 1);
  ChannelSet channels = Mask_RGBA;
  channels += Chan_Z;

  for (int pass : {kAllPasses, kFrontPass, kBackPass}) {
    const auto row = setup.run(*flat, nullptr, 1, 0, 3, channels, pass);
    for (int x = 0; x < 3; ++x) {
      expectPixel(row, x, {0, 0, 0, 0});
      EXPECT_FLOAT_EQ(row[Chan_Z][x], 3.0f) << x;
    }
  }
}

TEST(DeepDefocus, RequestedChannelsOutsideTheActiveSetPassThrough) {
  deeptest::Scene scene(2, 1);
  scene.addLayer(point(5, 0.2f, 0.3f, 0.4f, 1));
  auto deep = scene.makeDeepOp(true);
  auto flat = deeptest::makeFlat(2, 1, 0.9f, 0.8f, 0.7f, 0.6f, 3.0f);
  deeptest::EngineSetup setup(2, 1, 4, 0);
  setup.settings.activeChannels = (ChannelSet(Chan_Red) + Chan_Alpha);
  ChannelSet channels = Mask_RGBA;
  channels += Chan_Z;

  const auto row = setup.run(*flat, deep.get(), 0, 0, 2, channels, kAllPasses);
  for (int x = 0; x < 2; ++x) expectPixel(row, x, {0.2f, 0.8f, 0.7f, 1});
  EXPECT_FLOAT_EQ(row[Chan_Z][1], 3.0f);
}

}  // namespace
