// The same frame rendered many times over, eight row threads at once, must come out bit for bit
// as one thread renders it: rows share nothing but read-only render state, and each render
// rebuilds that state from scratch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "standin/RenderDriver.h"
#include "DDImage/Thread.h"
#include "standin/OpHost.h"
#include "ktOrvel.h"
#include "nodeScenes.h"

using namespace DD::Image;
using namespace standin;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kRenders = 30;
constexpr unsigned kThreads = 8;

enum class Engine { Fast, Reference, Deep };
const char* const kEngineNames[] = {"fast", "reference", "deep"};
void PrintTo(Engine e, std::ostream* os) { *os << kEngineNames[int(e)]; }

// Noise colours over depth bands from the foreground through the focal plane (10) to far away,
// with bright points; mattes drive defocus, bloom and chromatic aberration.
struct SoakScene {
  explicit SoakScene(Engine engine)
      : format(kWidth, kHeight),
        image(format, Box(-2, -1, kWidth + 3, kHeight + 2), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z)),
        mattes(format, Box(0, 0, kWidth, kHeight), Mask_RGB),
        deep(format, Box(0, 0, kWidth, kHeight), ChannelSet(Mask_Deep) + Mask_RGBA) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const float bands[] = {4.0f, 8.5f, 10.0f, 11.0f, 30.0f, 1e30f};
    const Box& b = image.info().box();
    for (int y = b.y(); y < b.t(); ++y)
      for (int x = b.x(); x < b.r(); ++x) {
        for (Channel z : ChannelSet(Mask_RGBA)) image.set(x, y, z, u(rng));
        image.set(x, y, Chan_Z, bands[((x + 2 * y) / 5 % 6 + 6) % 6] + 0.01f * float((x + 9) % 3));
        if ((x * 7 + y * 3) % 23 == 0) image.set(x, y, Chan_Red, 8.0f);
      }
    for (Channel z : ChannelSet(Mask_RGB))
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) mattes.set(x, y, z, 0.5f + u(rng));
    // Two overlapping samples per pixel, a transparent near one over an opaque far one.
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const float near = 3.0f + 0.2f * float((x + y) % 9), far = 12.0f + float(x % 5);
        const float samples[] = {0.3f * u(rng), 0.2f,   0.1f,   0.4f, near, near + 10.0f,
                                 u(rng),        u(rng), u(rng), 1.0f, far,  far + 0.5f};
        deep.setPixel(x, y, samples, 2);
      }

    OpHost::buildKnobs(node);
    node.useReferenceEngine(engine == Engine::Reference);
    OpHost::connect(node, ktOrvel::kInput, &image);
    OpHost::connect(node, ktOrvel::kMattes, &mattes);
    if (engine == Engine::Deep) OpHost::connect(node, ktOrvel::kDeepInput, &deep);
    // clang-format off
    const std::pair<const char*, const char*> knobs[] = {
        {"focalPlane", "10"}, {"focusRegionSize", "3"}, {"multiplier", "15"}, {"max_kernelsize", "24"},
        {"correctiveSlices", "6"}, {"kernelType", "Aperture Blades"}, {"kNumSides", "7"}, {"bloom", "0.6"},
        {"bloomThreshold", "0.4"}, {"kChrAbb", "3"}, {"defocusMatteChannel", "R"}, {"bloomMatteChannel", "G"},
        {"chromicAberrationMatteChannel", "B"}, {"integrateFrontAndBackSeperately", "true"}};
    // clang-format on
    setKnobs(node, knobs);
    OutputContext context;
    OpHost::setProjectFormat(node, format);
    node.setOutputContext(context);
  }

  RenderReport render(unsigned threads) {
    RenderOptions options;
    options.threads = threads;
    return renderFrame(node, options);
  }

  Format format;
  MemoryIop image, mattes;
  MemoryDeepOp deep;
  ktOrvel node{nullptr};
};

class Soak : public ::testing::TestWithParam<Engine> {};

// Sets the host's processor count (the kernel bank's workers) for one test.
struct ProcessorCount {
  explicit ProcessorCount(unsigned n) : saved(Thread::numCPUs) { Thread::numCPUs = n; }
  ~ProcessorCount() { Thread::numCPUs = saved; }
  unsigned saved;
};

TEST_P(Soak, EveryRenderWithEightThreadsGivesTheSingleThreadBits) {
  const ProcessorCount cpus(kThreads);
  SoakScene scene(GetParam());
  const RenderReport single = scene.render(1);
  ASSERT_TRUE(single.errors.empty());
  ASSERT_NE(single.image, nullptr);
  EXPECT_EQ(scene.node.mappedBands() > 0, GetParam() != Engine::Reference) << "not the engine under test";

  // The frame is really blurred: green moves from the input's values by 0.01 on average or more.
  const Box& b = single.image->info().box();
  double changed = 0.0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      changed += std::fabs(single.image->at(x, y, Chan_Green) - scene.image.at(x, y, Chan_Green));
  EXPECT_GT(changed / (kWidth * kHeight), 0.01);
  EXPECT_EQ(b, Box(-2, -1, kWidth + 3, kHeight + 2));

  for (int i = 0; i < kRenders; ++i) {
    const RenderReport again = scene.render(kThreads);
    ASSERT_NE(again.image, nullptr) << "render " << i;
    ASSERT_EQ(again.image->info().box(), b) << "render " << i;
    for (Channel z : single.image->channels())
      ASSERT_EQ(std::memcmp(single.image->plane(z), again.image->plane(z), sizeof(float) * b.w() * b.h()), 0)
          << "render " << i << ", channel " << z;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Soak, ::testing::Values(Engine::Fast, Engine::Reference, Engine::Deep),
                         ::testing::PrintToStringParamName());

}  // namespace
