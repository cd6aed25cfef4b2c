// End-to-end: --depth-edges puts ktDepthEdges before the node. A bright anti-aliased disc in
// focus (depth 100) before a far black wall (depth 1000) whose edge pixels carry the wall's
// depth: without the companion node they spread the disc's light over the wall as a ring; with
// it, none does, and pixels away from the edge come out the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app_support.h"

namespace {

constexpr int kW = 48, kH = 40;
constexpr float kCx = 24.3f, kCy = 20.2f, kRadius = 7.4f;

float distance(float x, float y) { return std::hypot(x - kCx, y - kCy); }

// Colour: the disc's coverage of 4 x 4 samples, times 4; depth: what the pixel's centre hits.
float scene(int x, int row, int c) {
  if (c == 3) return distance(x + 0.5f, row + 0.5f) < kRadius ? 100.0f : 1000.0f;
  int hits = 0;
  for (int sy = 0; sy < 4; ++sy)
    for (int sx = 0; sx < 4; ++sx) hits += distance(x + (sx + 0.5f) / 4, row + (sy + 0.5f) / 4) < kRadius;
  return 4.0f * float(hits) / 16.0f;
}

RunResult render(const std::string& in, const std::string& out, std::vector<std::string> more) {
  std::vector<std::string> args{
      "render", "--quiet",         in, "-o", out, "--set", "focalPlane=100", "--set", "focusRegionSize=10",
      "--set",  "backmultiplier=8"};
  args.insert(args.end(), more.begin(), more.end());
  return runOrvel(args);
}

// The mean red over the pixels whose centres lie between `inner` and `outer` from the disc's.
float meanRed(const TestImage& image, float inner, float outer) {
  double sum = 0;
  int n = 0;
  for (int row = 0; row < kH; ++row)
    for (int x = 0; x < kW; ++x) {
      const float d = distance(x + 0.5f, row + 0.5f);
      if (d < inner || d >= outer) continue;
      sum += image.at(x, row, image.channel("R"));
      ++n;
    }
  return float(sum / n);
}

// The largest difference over every channel of the pixels at least `from` away from the disc.
float largestDifference(const TestImage& a, const TestImage& b, float from) {
  float largest = 0;
  for (int row = 0; row < kH; ++row)
    for (int x = 0; x < kW; ++x)
      for (size_t c = 0; c < a.channels.size() && distance(x + 0.5f, row + 0.5f) >= from; ++c)
        largest = std::max(largest, std::fabs(a.at(x, row, int(c)) - b.at(x, row, b.channel(a.channels[c]))));
  return largest;
}

TEST(DepthEdges, RemoveTheRingAroundAnInFocusDiscAndChangeNothingAwayFromIt) {
  ScratchFolder dir;
  writeImage(dir.path("in.exr"), makeImage(kW, kH, {"R", "G", "B", "Z"}, scene));
  RunResult r = render(dir.path("in.exr"), dir.path("plain.exr"), {});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  r = render(dir.path("in.exr"), dir.path("fixed.exr"), {"--depth-edges"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // A threshold above the 900 % jump, set through the prefixed knob name, leaves every pixel.
  r = render(dir.path("in.exr"), dir.path("high.exr"),
             {"--depth-edges", "1", "--set", "ktDepthEdges.threshold=10"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const TestImage plain = readImage(dir.path("plain.exr"));
  const TestImage fixed = readImage(dir.path("fixed.exr"));
  const TestImage high = readImage(dir.path("high.exr"));
  ASSERT_EQ(fixed.width, kW);

  // The ring: light on the black wall 2 to 5 pixels out from the disc.
  EXPECT_GT(meanRed(plain, kRadius + 2, kRadius + 5), 0.01f);
  EXPECT_LT(meanRed(fixed, kRadius + 2, kRadius + 5), 1e-4f);
  EXPECT_EQ(largestDifference(high, plain, 0), 0.0f);
  // Changed depths lie within 2 pixels of the disc and spread at most 5: nothing changes 9 out.
  EXPECT_LE(largestDifference(fixed, plain, kRadius + 9), 1e-6f);
}

TEST(DepthEdges, KnobsListsBothNodes) {
  const RunResult r = runOrvel({"knobs"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const size_t edges = r.out.find("\n# ktDepthEdges");
  ASSERT_NE(edges, std::string::npos) << r.out;
  EXPECT_LT(r.out.find("# ktOrvel\n"), edges);
  for (const char* knob : {"\ndepthChannel\tDepth Channel\tinput channel\tdepth.Z", "\ndepthStyle\t",
                           "\nradius\tRadius\tint\t1\t1 .. 8", "\nthreshold\tThreshold\tfloat\t0.1"})
    EXPECT_NE(r.out.find(knob, edges), std::string::npos) << knob;
}

}  // namespace
