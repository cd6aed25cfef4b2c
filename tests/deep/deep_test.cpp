// The deep engine: the channels it asks for, one pixel's coverage walk laid out by hand
// (overlapping samples cut first), and whole rows against a brute-force gather written here. The
// cutting itself is checked against a transcription of the walk by the deep_walk fuzz target.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ktDefocus.h"
#include "ktLensValues.h"
#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "standin/OwnedRow.h"

using namespace DD::Image;
using namespace standin;

namespace {

// ---- Rows. Samples per pixel (premultiplied colour, alpha, front, back); box kernels (entry k
// a block of side k or k - 1, at least 1); an artistic linear lens.

// clang-format off
struct Sample { float red, green, blue, alpha, front, back; };
// clang-format on
Sample point(float depth, float r, float g, float b, float a) { return {r, g, b, a, depth, depth}; }

using Pixels = std::vector<std::vector<Sample>>;  // row by row from the bottom

std::unique_ptr<MemoryDeepOp> deepOp(int w, int h, const Pixels& pixels,
                                     ChannelSet layout = ChannelSet(Mask_RGBA) + Mask_Deep) {
  auto op = std::make_unique<MemoryDeepOp>(Format(w, h), Box(0, 0, w, h), layout);
  const ChannelMap& map = op->channelMap();
  for (int i = 0; i < w * h; ++i) {
    std::vector<float> data(pixels[i].size() * map.size(), 0.0f);
    for (size_t j = 0; j < pixels[i].size(); ++j) {
      const Sample& s = pixels[i][j];
      const std::pair<Channel, float> values[] = {{Chan_Red, s.red},         {Chan_Green, s.green},
                                                  {Chan_Blue, s.blue},       {Chan_Alpha, s.alpha},
                                                  {Chan_DeepFront, s.front}, {Chan_DeepBack, s.back}};
      for (const auto& [z, v] : values)
        if (map.chanNo(z) >= 0) data[j * map.size() + map.chanNo(z)] = v;
    }
    op->setPixel(i % w, i / w, data.data(), pixels[i].size());
  }
  return op;
}

struct Engine {
  Engine(int w, int h, int padding, float focalPlane, float region, float multiplier,
         std::vector<float> slices = {})
      : flat(Format(w, h), Box(0, 0, w, h), ChannelSet(Mask_RGBA) + Chan_Z) {
    s.activeChannels = Mask_RGBA;
    s.contextScale = 1.0f, s.bloom = s.kChrAbb = 0.0f;
    s.multiplier = multiplier, s.focalPlane = focalPlane, s.focusRegionSize = region;
    s.focusRegionFalloff = kFalloffLinear;
    s.correctiveSlices = slices.empty() ? 1 : int(slices.size());
    computeLensValues(s, w, h);
    sliceDepths = slices;
    bank.resize(9);
    for (size_t k = 0; k < bank.size(); ++k) {
      const int side = k < 1 ? 1 : (k % 2 ? int(k) : int(k) - 1);
      bank[k].init(Mask_RGBA, side, side);
      for (Channel z : ChannelSet(Mask_RGBA))
        std::fill(bank[k].planes[z].begin(), bank[k].planes[z].end(), 1.0f / float(side * side));
    }
    ctx.settings = &s;
    ctx.kernels = &bank;
    ctx.sliceDepths = &sliceDepths;
    ctx.padding = padding;
    ctx.kernelSizeLimit = 4;
    ctx.format = Format(w, h);
    const float fill[] = {0.9f, 0.8f, 0.7f, 0.6f};
    for (int i = 0; i < 4; ++i) flat.fill(Channel(Chan_Red + i), fill[i]);
    flat.fill(Chan_Z, 3.0f);
  }
  OwnedRow run(DeepOp& deep, int y, int x, int r, int pass = 0, Iop* mattes = nullptr) const {
    OwnedRow row(x, r);
    ktSliceBuffers slices;
    orvel::deepDefocus(ctx, {y, x, r}, const_cast<MemoryIop&>(flat), mattes, &deep, DeepPass(pass), Mask_RGBA,
                       slices, row.row());
    return row;
  }
  ktOrvelSettings s;
  std::vector<ktChannelFloatBuffer> bank;
  std::vector<float> sliceDepths;
  ktRenderContext ctx;
  MemoryIop flat;
};

void expectPixel(const OwnedRow& row, int x, const std::array<float, 4>& e) {
  for (int i = 0; i < 4; ++i)
    EXPECT_NEAR(row[Channel(Chan_Red + i)][x], e[i], 1e-5f) << "channel " << i << " at " << x;
}

// One pixel, one-pixel kernels (no blur), focal plane 10: the pieces laid over each other front
// to back, the uncovered rest spread transparent; pass 1 keeps the front region, 2 the back.
struct CoverageCase {
  std::string name;
  std::vector<Sample> samples;
  int pass;
  std::array<float, 4> expected;
  int method = kDeepVisibleShare;
};
void PrintTo(const CoverageCase& c, std::ostream* os) { *os << c.name; }

class Coverage : public ::testing::TestWithParam<CoverageCase> {};

TEST_P(Coverage, MixesPiecesByTheirVisibleShare) {
  Engine engine(1, 1, 0, 10, 20, 0);
  engine.s.deepMethod = GetParam().method;
  auto deep = deepOp(1, 1, {GetParam().samples});
  expectPixel(engine.run(*deep, 0, 0, 1, GetParam().pass), 0, GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Deep, Coverage,
    ::testing::Values(
        CoverageCase{"OpaqueNearestHidesTheRest",
                     {point(2, 0.2f, 0.4f, 0.6f, 1), point(5, 0.9f, 0.9f, 0.9f, 1), point(15, 0.25f, 0.25f, 0, 0.5f)},
                     0, {0.2f, 0.4f, 0.6f, 1}},
        CoverageCase{"TwoHalvesLeaveAQuarter", {point(2, 0.3f, 0.1f, 0, 0.5f), point(5, 0.1f, 0.2f, 0.4f, 0.5f)}, 0,
                     {0.35f, 0.2f, 0.2f, 0.75f}},
        // One slice: "See Through" keeps the visible shares within it.
        CoverageCase{"SeeThroughSameSliceQuarter", {point(2, 0.3f, 0.1f, 0, 0.5f), point(5, 0.1f, 0.2f, 0.4f, 0.5f)},
                     0, {0.35f, 0.2f, 0.2f, 0.75f}, kDeepSeeThrough},
        CoverageCase{"SeeThroughSameSliceHides",
                     {point(2, 0.2f, 0.4f, 0.6f, 1), point(5, 0.9f, 0.9f, 0.9f, 1)}, 0, {0.2f, 0.4f, 0.6f, 1},
                     kDeepSeeThrough},
        CoverageCase{"BackPassWalksItsOwnPieces",
                     {point(2, 0.3f, 0.1f, 0, 0.5f), point(12, 0.2f, 0.2f, 0.2f, 0.5f), point(15, 0.8f, 0.6f, 0.4f, 1)},
                     2, {0.6f, 0.5f, 0.4f, 1}},
        CoverageCase{"TransparentPieceIsNotSpread", {point(2, 0, 0, 0, 0), point(5, 0.2f, 0.3f, 0.4f, 1)}, 0,
                     {0.2f, 0.3f, 0.4f, 1}},
        // [1, 4] loses its part behind 3 to [3, 6]: a piece of alpha 0.4, then the opaque one.
        CoverageCase{"OverlapsAreCut", {{0.3f, 0.15f, 0, 0.6f, 1, 4}, {0.5f, 0.5f, 0.5f, 1, 3, 6}}, 0,
                     {0.5f, 0.4f, 0.3f, 1}}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// What the walks, the lens trace and the node ask of a deep input: the offered channels of the
// work but Z, and alpha and both deep depths whatever is offered.
struct RequestCase {
  std::string name;
  ChannelSet offered, work, expected;
};
void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

class DeepRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(DeepRequest, AsksForWhatThePiecesCarry) {
  EXPECT_EQ(deepRequestSet(GetParam().offered, GetParam().work), GetParam().expected);
}

const ChannelSet kPieceChannels = ChannelSet(Chan_Alpha) + Mask_Deep;
INSTANTIATE_TEST_SUITE_P(
    Deep, DeepRequest,
    ::testing::Values(RequestCase{"ZLeftOut", ChannelSet(Mask_RGBA) + Mask_Deep + Chan_Z,
                                  ChannelSet(Mask_RGB) + Chan_Z, ChannelSet(Mask_RGB) + kPieceChannels},
                      RequestCase{"UnofferedLeftOut", ChannelSet(Chan_Red) + Chan_DeepFront, Mask_RGB,
                                  ChannelSet(Chan_Red) + kPieceChannels},
                      RequestCase{"OfferedButNotWorkedLeftOut", ChannelSet(Mask_RGBA) + Mask_Deep, Chan_Green,
                                  ChannelSet(Chan_Green) + kPieceChannels}),
    [](const auto& info) { return info.param.name; });

// Focus region 2 .. 18, multiplier 3: the opaque red point at 18 between two empty pixels blurs
// over 3 pixels unless the defocus matte (0 there) keeps it sharp; the empty pixels spread
// their remainders, 3 x 1/9 each into column 1, whatever the matte. Sharp: red 1 / (1 + 2/3);
// blurred: (1/3) / (1/3 + 2/3).
TEST(DeepDefocus, DefocusMatteScalesPiecesNotRemainders) {
  for (float matte : {0.0f, 1.0f}) {
    Engine engine(3, 1, 1, 10, 16, 3);
    engine.s.defocusMatteChannel = Chan_Blue;
    engine.ctx.hasDefocusMatte = true;
    engine.ctx.matteChannels = ChannelSet(Chan_Blue);
    MemoryIop mattes(Format(3, 1), Box(0, 0, 3, 1), ChannelSet(Chan_Blue));
    mattes.fill(Chan_Blue, 1.0f);
    mattes.set(1, 0, Chan_Blue, matte);
    auto deep = deepOp(3, 1, {{}, {point(18, 1, 0, 0, 1)}, {}});
    const float red = matte == 0.0f ? 0.6f : 1.0f / 3;
    expectPixel(engine.run(*deep, 0, 1, 2, 0, &mattes), 1, {red, 0, 0, red});
  }
}

// ---- Against a brute-force gather: every blur 1 or 3 pixels (focal plane 0.5, focus region
// -0.5 .. 1.5, multiplier 3), three slices at 0, 0.5 and 1, depth -0.5 in slice 0; samples that
// do not overlap, the box repeating its edges.

constexpr int kW = 6, kH = 4;
const float kDepths[4] = {-0.5f, 0.5f, 1.5f, 7.0f};
const std::vector<float> kBounds{0.0f, 0.5f, 1.0f};

Pixels mixedScene() {
  Pixels p(kW * kH);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const float k = 0.05f * float((x + 2 * y) % 7);
      std::vector<Sample>& s = p[y * kW + x];
      switch ((x + 3 * y) % 6) {
        case 0:
          s = {point(kDepths[3], 0.2f + k, 0.5f, 0.3f, 1), point(kDepths[1], 0.15f, 0.1f, k * 0.5f, 0.5f)};
          break;
        case 1:
          s = {{0.1f, 0.2f + k * 0.25f, 0.25f, 0.25f, kDepths[0], kDepths[1]},
               {0.48f, k, 0.2f, 0.8f, kDepths[2], kDepths[3]}};
          break;
        case 2:
          break;
        case 3:
          s = {point(kDepths[2], 0.3f, 0.3f, k, 0.6f)};
          break;
        case 4:
          s = {point(kDepths[0], 0.7f, 0.1f + k, 0.4f, 1), point(kDepths[3], 0.9f, 0.9f, 0.9f, 1)};
          break;
        default:
          s = {point(kDepths[2], 0.25f + k, 0.75f, 0.5f, 1)};
          break;
      }
    }
  return p;
}

using Colour = std::array<double, 4>;

// Output pixel (ox, oy): each source's samples nearest first take the coverage left (pass 1:
// front region only, 2: back only), spread over their box into their slice, then the rest
// transparent at the far size into the far slice; slices composited nearest first. With "See
// Through" a sample takes what its own slice left, and the rest stays what the visible shares left.
Colour referencePixel(const Pixels& scene, int ox, int oy, int pass, bool seeThrough) {
  std::vector<Colour> colour(3, Colour{0, 0, 0, 0});
  std::vector<double> weight(3, 0.0);
  const auto slice = [](float d) {
    return std::max(0,
                    int(std::count_if(kBounds.begin(), kBounds.end(), [d](float b) { return b <= d; })) - 1);
  };
  const auto spread = [&](int sl, int side, int sx, int sy, const Colour& u, double w) {
    if (std::abs(ox - sx) > side / 2 || std::abs(oy - sy) > side / 2) return;
    weight[sl] += w / (side * side);
    for (int c = 0; c < 4; ++c) colour[sl][c] += w / (side * side) * u[c];
  };
  for (int sy = oy - 1; sy <= oy + 1; ++sy)
    for (int sx = ox - 1; sx <= ox + 1; ++sx) {
      std::vector<Sample> samples = scene[std::clamp(sy, 0, kH - 1) * kW + std::clamp(sx, 0, kW - 1)];
      std::stable_sort(samples.begin(), samples.end(),
                       [](const Sample& a, const Sample& b) { return a.front < b.front; });
      double covered = 0.0, sliceCovered[3] = {0, 0, 0};
      for (const Sample& s : samples) {
        const float d = std::clamp(s.front, -0.5f, 1.5f);
        if ((pass == 1 && d >= 0.5f) || (pass == 2 && d < 0.5f)) continue;
        if (!seeThrough && 1.0 - covered < 1e-6) break;
        double& left = seeThrough ? sliceCovered[slice(d)] : covered;
        const double w = (1.0 - left) * s.alpha;
        if (w > 0.0)
          spread(slice(d), d == 0.5f ? 1 : 3, sx, sy,
                 {s.red / s.alpha, s.green / s.alpha, s.blue / s.alpha, 1}, w);
        if (seeThrough) covered += (1.0 - covered) * s.alpha;
        left += w;
      }
      if (1.0 - covered >= 1e-6) spread(slice(1.5f), 3, sx, sy, {0, 0, 0, 0}, 1.0 - covered);
    }
  Colour out{0, 0, 0, 0};
  double coverage = 0.0;
  for (int s = 0; s < 3; ++s) {
    const double left = 1.0 - coverage, scale = left < weight[s] ? left / weight[s] : 1.0;
    for (int c = 0; c < 4; ++c) out[c] += scale * colour[s][c];
    coverage += std::min(left, weight[s]);
  }
  if (coverage > 0.0)
    for (double& v : out) v /= coverage;
  return out;
}

class BruteForce : public ::testing::TestWithParam<std::array<int, 4>> {};  // x, r, pass, method

TEST_P(BruteForce, EveryRowMatches) {
  const auto [x0, r, pass, method] = GetParam();
  const Pixels scene = mixedScene();
  auto deep = deepOp(kW, kH, scene);
  Engine engine(kW, kH, 1, 0.5f, 2.0f, 3.0f, kBounds);
  engine.s.deepMethod = method;
  for (int y = -1; y <= kH; ++y) {
    const auto row = engine.run(*deep, y, x0, r, pass);
    for (int x = x0; x < r; ++x) {
      const Colour e = referencePixel(scene, x, y, pass, method == kDeepSeeThrough);
      for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(row[Channel(Chan_Red + i)][x], e[i], 1e-5) << i << " at " << x << "," << y;
    }
  }
}

std::string spanPassMethod(const ::testing::TestParamInfo<std::array<int, 4>>& info) {
  const auto [x, r, pass, method] = info.param;
  return std::string(x < 0 ? "left_edge" : r > kW ? "right_edge" : x > 0 ? "inside" : "row") +
         (pass == 1 ? "_front" : pass == 2 ? "_back" : "") + (method == kDeepSeeThrough ? "_see_through" : "");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Deep, BruteForce,
                         ::testing::Values(std::array{0, kW, 0, 0}, std::array{0, kW, 1, 0}, std::array{0, kW, 2, 0},
                                           std::array{2, 5, 0, 0}, std::array{-3, 1, 0, 0},
                                           std::array{kW - 1, kW + 2, 0, 0}, std::array{kW - 1, kW + 2, 1, 0},
                                           std::array{0, kW, 0, 1}, std::array{0, kW, 2, 1},
                                           std::array{-3, 1, 0, 1}),
                         spanPassMethod);
// clang-format on

}  // namespace
