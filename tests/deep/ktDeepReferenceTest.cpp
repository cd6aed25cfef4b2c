// The deep row engine against a brute-force gather written here from first principles, on a
// mixed scene whose samples do not overlap. The lens is chosen so that every blur is 1 or 3
// pixels (box kernels, one pass each): focal plane 0.5, focus region -0.5 .. 1.5, multiplier 3,
// so depth 0.5 is sharp and depths -0.5, 1.5 and 7 (clamped to 1.5) blur over 3 pixels.
// Three slices at 0, 0.5 and 1; depth -0.5 lies below the first boundary and goes to slice 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <vector>

#include "ktDeepEngineSetup.h"
#include "ktDeepTestScene.h"

using namespace DD::Image;

namespace {

constexpr int kWidth = 6, kHeight = 4, kPadding = 1;
constexpr float kFocalPlane = 0.5f, kNear = -0.5f, kFar = 1.5f, kMultiplier = 3.0f;
const std::vector<float> kBoundaries{0.0f, 0.5f, 1.0f};
const float kDepths[4] = {-0.5f, 0.5f, 1.5f, 7.0f};

using Colour = std::array<float, 4>;  // red, green, blue, alpha

struct Layers {
  std::vector<Colour> colour;
  std::vector<float> weight;
};

int clampInt(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

int sliceOfDepth(float d) {
  int s = -1;
  for (float b : kBoundaries)
    if (b <= d) ++s;
  return std::max(s, 0);
}

// Adds one spread of colour u with weight w at (sx, sy) to output pixel (ox, oy) if the box of
// the given side covers it.
void gather(Layers& layers, int slice, int side, int sx, int sy, int ox, int oy, const Colour& u, float w) {
  const int reach = side / 2;
  if (std::abs(ox - sx) > reach || std::abs(oy - sy) > reach) return;
  const float k = w / float(side * side);
  layers.weight[slice] += k;
  for (int c = 0; c < 4; ++c) layers.colour[slice][c] += k * u[c];
}

// Every spread a source pixel makes: its samples nearest first, each with the coverage left,
// then the uncovered rest as transparent coverage at the far end of the focus region.
void gatherSource(Layers& layers, const deeptest::Scene& scene, int sx, int sy, int ox, int oy, int pass) {
  std::vector<deeptest::Sample> samples =
      scene.samples(clampInt(sx, 0, kWidth - 1), clampInt(sy, 0, kHeight - 1));
  std::stable_sort(samples.begin(), samples.end(),
                   [](const deeptest::Sample& a, const deeptest::Sample& b) { return a.front < b.front; });
  float covered = 0.0f;
  for (const deeptest::Sample& s : samples) {
    const float d = std::min(std::max(s.front, kNear), kFar);
    const bool front = d < kFocalPlane;
    if ((pass == 1 && !front) || (pass == 2 && front)) continue;
    const int side = d == kFocalPlane ? 1 : 3;
    const Colour u{s.red / s.alpha, s.green / s.alpha, s.blue / s.alpha, 1.0f};
    const float w = (1.0f - covered) * s.alpha;
    if (w > 0.0f) gather(layers, sliceOfDepth(d), side, sx, sy, ox, oy, u, w);
    covered += w;
    if (1.0f - covered < 1e-6f) return;
  }
  gather(layers, sliceOfDepth(kFar), 3, sx, sy, ox, oy, {0, 0, 0, 0}, 1.0f - covered);
}

// Nearer slices first, each taking at most the coverage left, then normalised by coverage.
Colour compositeSlices(const Layers& layers) {
  Colour out{0, 0, 0, 0};
  float coverage = 0.0f;
  for (size_t s = 0; s < layers.weight.size(); ++s) {
    const float rem = 1.0f - coverage;
    const float w = layers.weight[s];
    const float scale = rem < w ? rem / w : 1.0f;
    for (int c = 0; c < 4; ++c) out[c] += scale * layers.colour[s][c];
    coverage += std::min(rem, w);
  }
  if (coverage > 0.0f)
    for (float& v : out) v /= coverage;
  return out;
}

Colour referencePixel(const deeptest::Scene& scene, int ox, int oy, int pass) {
  Layers layers{std::vector<Colour>(kBoundaries.size(), Colour{0, 0, 0, 0}),
                std::vector<float>(kBoundaries.size(), 0.0f)};
  for (int sy = oy - kPadding; sy <= oy + kPadding; ++sy)
    for (int sx = ox - kPadding; sx <= ox + kPadding; ++sx) gatherSource(layers, scene, sx, sy, ox, oy, pass);
  return compositeSlices(layers);
}

struct SpanCase {
  int x, r, pass;
};

std::ostream& operator<<(std::ostream& os, const SpanCase& c) {
  return os << "span " << c.x << ".." << c.r << " pass " << c.pass;
}

class AgainstBruteForce : public testing::TestWithParam<SpanCase> {};

TEST_P(AgainstBruteForce, EveryRowMatches) {
  const SpanCase& c = GetParam();
  const deeptest::Scene scene = deeptest::mixedScene(kWidth, kHeight, kDepths, false);
  auto deep = scene.makeDeepOp(true);
  auto flat = deeptest::makeFlat(kWidth, kHeight, 0.9f, 0.8f, 0.7f, 0.6f, 3.0f);
  deeptest::EngineSetup setup(kWidth, kHeight, 4, kPadding);
  setup.setFocus(kFocalPlane, kFar - kNear);
  setup.settings.multiplier = kMultiplier;
  setup.setSlices(kBoundaries);

  const Channel channels[] = {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha};
  for (int y = -1; y <= kHeight; ++y) {
    const auto row = setup.run(*flat, deep.get(), y, c.x, c.r, Mask_RGBA, c.pass);
    for (int x = c.x; x < c.r; ++x) {
      const Colour expected = referencePixel(scene, x, y, c.pass);
      for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(row[channels[i]][x], expected[i], 1e-5f)
            << "channel " << channels[i] << " at " << x << ", " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Deep, AgainstBruteForce,
                         testing::Values(SpanCase{0, kWidth, 0}, SpanCase{0, kWidth, 1},
                                         SpanCase{0, kWidth, 2}, SpanCase{2, 5, 0}, SpanCase{-3, 1, 0},
                                         SpanCase{kWidth - 1, kWidth + 2, 0},
                                         SpanCase{kWidth - 1, kWidth + 2, 1}));

}  // namespace
