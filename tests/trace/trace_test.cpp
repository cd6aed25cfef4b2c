// "Lens Trace" through the node, against thin-lens geometry worked in double: a sharp layer
// passes unchanged and composites two pieces of one slice; a point light keeps its light in the
// disc, also from beyond the format; a half-plane or a thin bar hides the share of the aperture
// it covers; a layer continues behind an opaque square and across slice boundaries; without
// occlusion, and for a sharp wall behind blurred bars, it draws what "See Through" draws; the
// picture does not depend on the thread count or the engine.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "DDImage/Thread.h"
#include "ktOrvel.h"
#include "nodeScenes.h"
#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "standin/OpHost.h"
#include "standin/RenderDriver.h"

using namespace DD::Image;
using namespace standin;

namespace {

using Knobs = std::vector<std::pair<const char*, std::string>>;
constexpr int kSide = 96;

// One opaque sample a pixel wherever `sample` gives alpha > 0: {r, g, b, alpha, depth}.
struct Sample {
  float r, g, b, a, depth;
};
using Pixel = std::vector<Sample>;

template <class Fn>
std::unique_ptr<MemoryDeepOp> deepFrame(Fn pixel, const Box& box = Box(0, 0, kSide, kSide)) {
  auto op = std::make_unique<MemoryDeepOp>(Format(kSide, kSide), box, ChannelSet(Mask_RGBA) + Mask_Deep);
  const ChannelMap& map = op->channelMap();
  const Channel order[] = {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha, Chan_DeepFront, Chan_DeepBack};
  std::vector<float> data;
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) {
      const Pixel samples = pixel(x, y);
      data.assign(samples.size() * size_t(map.size()), 0.0f);
      for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        const float values[] = {s.r * s.a, s.g * s.a, s.b * s.a, s.a, s.depth, s.depth};
        for (int k = 0; k < 6; ++k) data[i * size_t(map.size()) + size_t(map.chanNo(order[k]))] = values[k];
      }
      op->setPixel(x, y, data.data(), samples.size());
    }
  return op;
}

// A 100 mm lens at f/1.4 focused at 1000 mm on a 22 x 16 mm film back: the thin-lens blur
// diameter in pixels of depth d (mm), worked in double.
double thinLensDiameter(double d) {
  const double f = 100.0, n = 1.4, focus = 1000.0;
  const double pixelsPerMm = double(kSide) / std::sqrt(22.0 * 16.0);
  return f * f / (n * (focus - f)) * std::fabs(d - focus) / d * pixelsPerMm;
}
// The share of the unit disc with u_x < t, less one half.
double discBelow(double t) {
  t = std::min(1.0, std::max(-1.0, t));
  return (t * std::sqrt(1.0 - t * t) + std::asin(t)) / M_PI;
}
// The share of the aperture of output column x that a bar over columns [x0, x1) hides, the bar
// blurred by `radius` pixels: a ray through x and aperture point u meets it where x + 0.5 + radius
// u_x falls inside.
double barHides(int x, double x0, double x1, double radius) {
  return discBelow((x1 - (x + 0.5)) / radius) - discBelow((x0 - (x + 0.5)) / radius);
}
const Knobs kThinLens = {{"realWorldLens", "true"}, {"focalLength", "100"}, {"fStop", "1.4"},
                         {"worldScale", "mm"},      {"focalPlane", "1000"}, {"max_kernelsize", "64"},
                         {"kSoftness", "0"}};

std::unique_ptr<MemoryIop> render(MemoryDeepOp& deep, const Knobs& knobs, unsigned threads = 2,
                                  bool reference = false) {
  MemoryIop flat(Format(kSide, kSide), Box(0, 0, kSide, kSide), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z));
  ktOrvel node(nullptr);
  node.useReferenceEngine(reference);
  OpHost::buildKnobs(node);
  OpHost::connect(node, ktOrvel::kInput, &flat);
  OpHost::connect(node, ktOrvel::kDeepInput, &deep);
  OpHost::setProjectFormat(node, Format(kSide, kSide));
  setKnobs(node, knobs);
  const unsigned cpus = Thread::numCPUs;
  Thread::numCPUs = threads;
  RenderOptions options;
  options.threads = threads;
  RenderReport report = renderFrame(node, options);
  Thread::numCPUs = cpus;
  EXPECT_TRUE(report.errors.empty());
  return std::move(report.image);
}

Knobs with(Knobs knobs, const Knobs& more) {
  knobs.insert(knobs.end(), more.begin(), more.end());
  return knobs;
}
Knobs lensTrace(int samples) {
  return {{"deepMethod", "Lens Trace"}, {"lensTraceSamples", std::to_string(samples)}};
}

// The fraction of a picture's red light within `radius` of (cx, cy), and its total.
double enclosed(MemoryIop& image, double cx, double cy, double radius, double* total = nullptr) {
  double inside = 0.0, all = 0.0;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const double v = image.at(x, y, Chan_Red);
      all += v;
      if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= radius) inside += v;
    }
  if (total) *total = all;
  return inside / all;
}

TEST(LensTrace, SamplesKnobShownOnlyWithLensTrace) {
  ktOrvel node(nullptr);
  OpHost::buildKnobs(node);
  Knob* method = node.knob("deepMethod");
  ASSERT_TRUE(method && node.knob("lensTraceSamples"));
  EXPECT_FALSE(node.knob("lensTraceSamples")->isVisible());
  for (const char* label : {"Lens Trace", "See Through", "Visible Share"}) {
    ASSERT_TRUE(method->from_script(label));
    node.knob_changed(method);
    EXPECT_EQ(node.knob("lensTraceSamples")->isVisible(), std::string(label) == "Lens Trace") << label;
  }
}

// A random sample over a second, opaque one in the same slice: the second shows only through
// what the first leaves.
TEST(LensTrace, SharpLayerPassesUnchangedAndCompositesPiecesOfOneSlice) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<Pixel> want;
  auto deep = deepFrame([&](int, int) {
    want.push_back({{u(rng), u(rng), 4.0f * u(rng), u(rng) < 0.5f ? 1.0f : 0.5f, 10.0f},
                    {u(rng), u(rng), u(rng), 1.0f, 10.1f}});
    return want.back();
  });
  auto image = render(
      *deep,
      with({{"focalPlane", "10"}, {"focusRegionSize", "4"}, {"multiplier", "9"}, {"correctiveSlices", "1"}},
           lensTrace(100)));
  ASSERT_TRUE(image);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const Sample &s = want[size_t(y) * kSide + size_t(x)][0], &t = want[size_t(y) * kSide + size_t(x)][1];
      const float expected[] = {s.r * s.a + t.r * (1 - s.a), s.g * s.a + t.g * (1 - s.a),
                                s.b * s.a + t.b * (1 - s.a), 1.0f};
      for (int k = 0; k < 4; ++k)
        ASSERT_NEAR(image->at(x, y, Channel(Chan_Red + k)), expected[k], 1e-6f * std::max(1.0f, expected[k]))
            << x << "," << y << " channel " << k;
    }
}

MemoryDeepOp* lightAt(std::unique_ptr<MemoryDeepOp>& keep, int cx, int cy) {
  keep = deepFrame([=](int x, int y) {
    return x == cx && y == cy ? Pixel{{1000, 1000, 1000, 1, 2000}} : Pixel{};
  });
  return keep.get();
}

// Each pixel gathers through its own pattern, so a one-pixel light keeps its total on average
// over positions, and each within a few per cent at 256 samples.
TEST(LensTrace, PointLightKeepsItsLight) {
  double sum = 0.0;
  for (int k = 0; k < 8; ++k) {
    std::unique_ptr<MemoryDeepOp> deep;
    double total = 0.0;
    enclosed(*render(*lightAt(deep, 30 + 5 * k, 33 + 3 * k), with(kThinLens, lensTrace(256))), 0, 0, 0,
             &total);
    EXPECT_NEAR(total, 1000.0, 30.0) << "light " << k;
    sum += total;
  }
  EXPECT_NEAR(sum / 8.0, 1000.0, 10.0);
}

// A light of 1000 at (48.5, 48.5), 2000 mm away, on an empty frame.
TEST(LensTrace, PointLightFillsTheThinLensDiscLikeTheScatterEngine) {
  std::unique_ptr<MemoryDeepOp> deep;
  lightAt(deep, 48, 48);
  const double radius = 0.5 * thinLensDiameter(2000.0);
  auto traced = render(*deep, with(kThinLens, lensTrace(256)));
  auto scattered = render(*deep, kThinLens);
  ASSERT_TRUE(traced && scattered);
  // A uniform disc of the thin-lens radius encloses (rho / radius)^2 of its light within rho;
  // the rim is softened by about a pixel.
  for (double rho : {0.4, 0.7, 0.9, 1.15}) {
    const double disc = std::min(1.0, rho * rho);
    EXPECT_NEAR(enclosed(*traced, 48.5, 48.5, rho * radius), disc, 0.05) << "traced, rho " << rho;
    EXPECT_NEAR(enclosed(*traced, 48.5, 48.5, rho * radius), enclosed(*scattered, 48.5, 48.5, rho * radius),
                0.04)
        << "against the scatter engine, rho " << rho;
  }
  // Aspect ratio 2: the shape half as wide as tall, with the same light.
  auto narrow = render(*deep, with(with(kThinLens, lensTrace(256)), {{"kAspectRatio", "2"}}));
  double xx = 0.0, yy = 0.0, sum = 0.0;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const double v = narrow->at(x, y, Chan_Red);
      xx += v * (x - 48) * (x - 48), yy += v * (y - 48) * (y - 48), sum += v;
    }
  // An ellipse of semi-axes radius / 2 and radius: second moments radius^2 / 16 and radius^2 / 4.
  EXPECT_NEAR(xx / sum, radius * radius / 16.0, 0.1 * radius * radius / 16.0 + 0.5);
  EXPECT_NEAR(yy / sum, radius * radius / 4.0, 0.1 * radius * radius / 4.0 + 0.5);
}

// A black opaque half-plane x < 48 at 600 mm before a light at 2000 mm: the ray through output
// p and aperture point u meets the light where p = c + rB u, and the half-plane at
// c + (rB + |rA|) u, so the light keeps the part of the unit disc where u_x >= t.
class HalfPlane : public ::testing::TestWithParam<int> {};  // the light's column

TEST_P(HalfPlane, HidesTheShareOfTheDiscTheGeometrySays) {
  const int column = GetParam();
  auto deep = deepFrame([column](int x, int y) {
    Pixel p;
    if (x < 48) p.push_back({0, 0, 0, 1, 600});
    if (x == column && y == 48) p.push_back({1000, 1000, 1000, 1, 2000});
    return p;
  });
  auto image = render(*deep, with(kThinLens, lensTrace(256)));
  ASSERT_TRUE(image);
  const double t = (48.0 - (column + 0.5)) / (0.5 * thinLensDiameter(2000.0) + 0.5 * thinLensDiameter(600.0));
  const double visible = t <= -1.0  ? 1.0
                         : t >= 1.0 ? 0.0
                                    : (std::acos(t) - t * std::sqrt(1.0 - t * t)) / M_PI;
  double total = 0.0;
  enclosed(*image, 0, 0, 0, &total);
  EXPECT_NEAR(total / 1000.0, visible, 0.02) << "t " << t;
}

INSTANTIATE_TEST_SUITE_P(LensTrace, HalfPlane, ::testing::Values(40, 47, 52, 58),
                         [](const auto& info) { return "light_column_" + std::to_string(info.param); });

// A light 6 pixels left of the format, in the deep input's box beyond it: the part of its disc
// that falls in the format, a circular segment, comes in.
TEST(LensTrace, LightOutsideTheFormatShinesIn) {
  auto deep = deepFrame(
      [](int x, int y) { return x == -6 && y == 48 ? Pixel{{1000, 1000, 1000, 1, 2000}} : Pixel{}; },
      Box(-16, 0, kSide, kSide));
  auto image = render(*deep, with(kThinLens, lensTrace(256)));
  ASSERT_TRUE(image);
  const double t = 5.5 / (0.5 * thinLensDiameter(2000.0));
  double total = 0.0;
  enclosed(*image, 0, 0, 0, &total);
  EXPECT_NEAR(total / 1000.0, (std::acos(t) - t * std::sqrt(1.0 - t * t)) / M_PI, 0.02);
}

// Rendered as a renderer writes it: an in-focus opaque square over a blurred wall that holds no
// samples behind the square. Rays passing the square meet the wall continued behind it.
// An in-focus opaque square before an out-of-focus wall, as a renderer writes it: nothing behind
// the square. Every pixel is opaque, and beside the square the wall shows as a lens shows it: a
// pixel there sees the wall through its whole aperture (an in-focus square blocks only its own
// pixels), so a uniform wall keeps its colour and a ramp its value, the blur of a ramp being
// the ramp. A gather that read only what the input holds would lose the light behind the square.
class NoHole : public ::testing::TestWithParam<bool> {};

TEST_P(NoHole, BehindAnInFocusSquare) {
  const bool ramp = GetParam();
  auto wall = [ramp](int x) { return ramp ? 0.2f + 0.6f * float(x) / float(kSide) : 0.5f; };
  auto deep = deepFrame([&](int x, int y) {
    const bool square = std::abs(x - 48) < 12 && std::abs(y - 48) < 12;
    return Pixel{square ? Sample{1, 1, 1, 1, 1000} : Sample{wall(x), 0.5f, 0.8f, 1, 3000}};
  });
  auto image = render(*deep, with(kThinLens, lensTrace(64)));
  ASSERT_TRUE(image);
  const int blur = int(std::ceil(thinLensDiameter(3000.0) / 2.0));
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      ASSERT_GT(image->at(x, y, Chan_Alpha), 0.9999f) << x << "," << y;
      // Beside the square, within the wall's blur, and the wall's blur away from the frame's edges.
      const int out = std::max(std::abs(x - 48), std::abs(y - 48)) - 11;
      if (out <= 0 || out > blur || std::min({x, y, kSide - 1 - x, kSide - 1 - y}) < blur) continue;
      const double expected[] = {wall(x), 0.5, 0.8};
      for (int k = 0; k < 3; ++k)
        ASSERT_NEAR(image->at(x, y, Channel(Chan_Red + k)), expected[k], 0.01 * expected[k]) << x << "," << y;
    }
}
INSTANTIATE_TEST_SUITE_P(LensTrace, NoHole, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "RampWall" : "UniformWall"; });

// A limit handed in through the plug-in's entry point refuses layers beyond it, and only those:
// one layer of the tilted plane alone, at least 3 x 98 pixels of 4 floats, passes 4 kB.
TEST(LensTrace, LayersBeyondTheMemoryLimitSetAreRefused) {
  auto deep = deepFrame([](int x, int) { return Pixel{{0.5f, 0.5f, 0.5f, 1, 600.0f + 30.0f * float(x)}}; });
  MemoryIop flat(Format(kSide, kSide), Box(0, 0, kSide, kSide), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z));
  for (const double limit : {4096.0, 1e9}) {
    ktOrvel node(nullptr);
    OpHost::buildKnobs(node);
    OpHost::connect(node, ktOrvel::kInput, &flat);
    OpHost::connect(node, ktOrvel::kDeepInput, deep.get());
    setKnobs(node, with(with(kThinLens, lensTrace(4)), {{"correctiveSlices", "40"},
                                                        {"overrideNearAndFarForSlices", "true"},
                                                        {"depthSlicesNearAndFar", "600 3450"}}));
    ktOrvelLimitMemory(&node, limit);
    const RenderReport report = renderFrame(node, RenderOptions());
    if (limit < 1e9) {
      ASSERT_EQ(report.errors.size(), 1u);
      EXPECT_NE(report.errors[0].find("the memory limit set"), std::string::npos) << report.errors[0];
    } else {
      EXPECT_TRUE(report.errors.empty());
    }
  }
}

// An opaque grey plane whose depth runs from 600 to 3450 mm across the frame, cut by the slices.
class TiltedPlane : public ::testing::TestWithParam<int> {};
TEST_P(TiltedPlane, ComesOutUniformWithoutSeams) {
  auto deep = deepFrame([](int x, int) { return Pixel{{0.5f, 0.5f, 0.5f, 1, 600.0f + 30.0f * float(x)}}; });
  auto image =
      render(*deep, with(with(kThinLens, lensTrace(64)), {{"correctiveSlices", std::to_string(GetParam())},
                                                          {"overrideNearAndFarForSlices", "true"},
                                                          {"depthSlicesNearAndFar", "600 3450"}}));
  ASSERT_TRUE(image);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      ASSERT_NEAR(image->at(x, y, Chan_Red), 0.5f, 0.0025f) << x << "," << y;
      ASSERT_GT(image->at(x, y, Chan_Alpha), 0.9999f) << x << "," << y;
    }
}
INSTANTIATE_TEST_SUITE_P(LensTrace, TiltedPlane, ::testing::Values(3, 10, 40),
                         [](const auto& info) { return std::to_string(info.param) + "_slices"; });

// A black opaque bar two pixels wide at 600 mm before a white in-focus wall written as a renderer
// writes it; with two slices, also a grey square at 800 mm in the bar's slice. A ray through
// output column p and aperture point u meets the bar where p + R u lies in it (R its thin-lens
// radius), so each column loses the share of the unit disc whose u_x falls in that strip.
class ThinBar : public ::testing::TestWithParam<bool> {};
TEST_P(ThinBar, HidesTheShareOfTheApertureItCovers) {
  const bool square = GetParam();
  auto deep = deepFrame([square](int x, int y) {
    if (x == 47 || x == 48) return Pixel{{0, 0, 0, 1, 600}};
    if (square && x >= 53 && x < 90 && y < 34) return Pixel{{0.5f, 0.5f, 0.5f, 1, 800}};
    return Pixel{{1, 1, 1, 1, 1000}};
  });
  const Knobs slices = square ? Knobs{{"correctiveSlices", "2"}} : Knobs{};
  auto image = render(*deep, with(with(kThinLens, lensTrace(256)), slices));
  ASSERT_TRUE(image);
  const double radius = 0.5 * thinLensDiameter(600.0);
  for (int x = 28; x < 68; ++x) {
    double light = 0.0;
    for (int y = 40; y < kSide; ++y) light += image->at(x, y, Chan_Red);
    const double hidden = barHides(x, 47.0, 49.0, radius);
    EXPECT_NEAR(1.0 - light / (kSide - 40), hidden, 0.02) << "column " << x;
  }
}
INSTANTIATE_TEST_SUITE_P(LensTrace, ThinBar, ::testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "with_square" : "bar_alone");
});

// The bar eight pixels wide, a light on the wall at its rim. Behind the bar the wall is hidden
// and continued; the light beside it must not flood it. Truth: every bar column keeps the share of
// the aperture the geometry leaves, the light only its own pixel. An infinite light, which no fill
// can blend, is left out of it.
class LightBesideABar : public ::testing::TestWithParam<float> {};
TEST_P(LightBesideABar, DoesNotFloodTheWallBehindIt) {
  const float light = GetParam();
  auto deep = deepFrame([light](int x, int y) {
    if (x >= 44 && x < 52) return Pixel{{0, 0, 0, 1, 600}};
    return Pixel{{x == 52 && y == 60 ? light : 1.0f, 1, 1, 1, 1000}};
  });
  auto image = render(*deep, with(with(kThinLens, lensTrace(256)), {{"correctiveSlices", "2"}}));
  ASSERT_TRUE(image);
  const double radius = 0.5 * thinLensDiameter(600.0);
  double excess = 0.0;
  for (int y = 20; y < 76; ++y)
    for (int x = 44; x < 52; ++x) {
      const double visible = 1.0 - barHides(x, 44.0, 52.0, radius);
      const double v = image->at(x, y, Chan_Red);
      ASSERT_TRUE(std::isfinite(v)) << x << "," << y;
      if (std::abs(y - 60) <= 1 && x >= 50) continue;  // the light's own footprint
      if (!std::isfinite(light)) {
        ASSERT_NEAR(v, visible, 0.03) << x << "," << y;
      }
      excess += v - visible;
    }
  if (std::isfinite(light)) {
    EXPECT_LT(excess, 0.25 * image->at(52, 60, Chan_Red));
  }
}
INSTANTIATE_TEST_SUITE_P(LensTrace, LightBesideABar, ::testing::Values(100.0f, INFINITY),
                         [](const auto& info) { return std::isfinite(info.param) ? "bright" : "infinite"; });

// Nothing hides anything: a textured plane at 2000 mm with small bright lights in it comes out
// as "See Through" draws it, at 16 samples as at any: the rays only correct the scatter where
// something nearer is in the way. Their own estimate would be off by several per cent.
TEST(LensTrace, WithoutOcclusionDrawsWhatSeeThroughDraws) {
  auto deep = deepFrame([](int x, int y) {
    const float light = x % 23 == 5 && y % 19 == 7 ? 50.0f : 0.0f;
    return Pixel{{0.5f + 0.4f * std::sin(0.2f * float(x)) * std::cos(0.15f * float(y)) + light, 0.5f, 0.5f, 1, 2000}};
  });
  auto traced = render(*deep, with(kThinLens, lensTrace(16)));
  auto scattered = render(*deep, with(kThinLens, {{"deepMethod", "See Through"}}));
  ASSERT_TRUE(traced && scattered);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const float want = scattered->at(x, y, Chan_Red);
      ASSERT_NEAR(traced->at(x, y, Chan_Red), want, 1e-5f * std::max(1.0f, want)) << x << "," << y;
      ASSERT_NEAR(traced->at(x, y, Chan_Alpha), scattered->at(x, y, Chan_Alpha), 1e-5f) << x << "," << y;
    }
}

// A sharp textured wall, and sharp bright squares in a slice of their own just before it, seen
// through blurred black bars: for a point in focus the bars' blurred alpha is the share of its
// cone they block, which "See Through" draws exactly; so does the trace, at 16 samples, where its
// rays alone would only estimate it.
TEST(LensTrace, SharpWallThroughABlurredFenceAsSeeThroughDrawsIt) {
  auto deep = deepFrame([](int x, int y) {
    Pixel p;
    if (x % 16 < 2) p.push_back({0, 0, 0, 1, 600});
    if (x % 12 < 3 && y % 12 < 3) p.push_back({20, 20, 20, 1, 965});
    p.push_back({(x / 4 + y / 4) % 2 ? 0.9f : 0.2f, 0.5f, 0.5f, 1, 1000});
    return p;
  });
  const Knobs slices = {
      {"correctiveSlices", "20"}, {"overrideNearAndFarForSlices", "true"}, {"depthSlicesNearAndFar", "600 1000"}};
  auto traced = render(*deep, with(with(kThinLens, lensTrace(16)), slices));
  auto scattered = render(*deep, with(with(kThinLens, {{"deepMethod", "See Through"}}), slices));
  ASSERT_TRUE(traced && scattered);
  for (int y = 0; y < kSide; ++y)
    for (int x = 20; x < kSide - 20; ++x) {
      // Beside a square the rays read it between pixels, under its blur of a pixel's fraction.
      if ((x + 1) % 12 < 5 && (y + 1) % 12 < 5) continue;
      ASSERT_NEAR(traced->at(x, y, Chan_Red), scattered->at(x, y, Chan_Red), 1e-4f) << x << "," << y;
    }
}

TEST(LensTrace, SameFrameBitForBitOnAnyThreadCount) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  auto deep = deepFrame([&](int x, int) {
    Pixel p;
    if (x % 9 < 2) p.push_back({0.3f, 0.2f, 0.1f, 0.8f, 500.0f + 300.0f * u(rng)});
    p.push_back({8.0f * u(rng), u(rng), u(rng), 1.0f, 900.0f + 3000.0f * u(rng)});
    return p;
  });
  const Knobs knobs = with(with(kThinLens, lensTrace(64)), {{"kChrAbb", "4"}, {"bloom", "0.5"}});
  auto one = render(*deep, knobs, 1), many = render(*deep, knobs, 4), again = render(*deep, knobs, 4);
  ASSERT_TRUE(one && many && again);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      for (Channel z : ChannelSet(Mask_RGBA)) {
        ASSERT_EQ(one->at(x, y, z), many->at(x, y, z)) << x << "," << y;
        ASSERT_EQ(many->at(x, y, z), again->at(x, y, z)) << x << "," << y;
      }
}

// Posts before lights: the straightforward engine's See Through row gives the gather the same
// slice means as the fast engine's, so both draw one picture.
TEST(LensTrace, BothEnginesDrawTheSamePicture) {
  auto deep = deepFrame([](int x, int y) {
    Pixel p;
    if (x % 24 < 3) p.push_back({0.1f, 0.1f, 0.1f, 1, 600});
    p.push_back({x % 12 == 5 && y % 12 == 5 ? 40.0f : 0.2f, 0.3f, 0.4f, 1, 3000});
    return p;
  });
  auto fast = render(*deep, with(kThinLens, lensTrace(32)));
  auto reference = render(*deep, with(kThinLens, lensTrace(32)), 2, true);
  ASSERT_TRUE(fast && reference);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      for (Channel z : {Chan_Red, Chan_Alpha})
        ASSERT_NEAR(fast->at(x, y, z), reference->at(x, y, z), 1e-4f * std::max(1.0f, reference->at(x, y, z)))
            << x << "," << y;
}

}  // namespace
