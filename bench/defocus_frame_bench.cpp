// One 1920 x 1080 RGBA + depth frame through the node on all threads, with the reference and
// the fast flat engine, for a largest blur of 64 and 256 pixels.
#include <benchmark/benchmark.h>

#include "DDImage/RenderDriver.h"
#include "ktBenchMain.h"
#include "ktBenchScene.h"
#include "ktOrvel.h"

namespace {

void renderFrame1080(benchmark::State& state) {
  const int maxKernel = static_cast<int>(state.range(0));
  const bool reference = state.range(1) != 0;
  auto scene = makeBenchScene(1920, 1080);
  ktOrvel node(nullptr);
  node.build_knobs();
  node.referenceEngine = reference;
  node.connect(ktOrvel::kInput, scene.get());
  DD::Image::OutputContext context;
  context.format(scene->format());
  node.setOutputContext(context);
  node.knob("focalPlane")->from_script("100");
  node.knob("focusRegionSize")->from_script("60");
  // An average blur near 20 pixels: 24 for the far background, the foreground at the largest size.
  node.knob("multiplier")->from_script("16");
  node.knob("backmultiplier")->from_script("1.5");
  node.knob("frontmultiplier")->from_script(std::to_string(maxKernel / 16.0));
  node.knob("max_kernelsize")->from_script(std::to_string(maxKernel));
  for (auto _ : state) {
    DD::Image::RenderReport report = DD::Image::renderFrame(node);
    benchmark::DoNotOptimize(report.image);
  }
  state.counters["padding"] = node.padding;
  state.counters["mapped"] = double(node.sourceBands.mapped());
}

}  // namespace

BENCHMARK(renderFrame1080)
    ->ArgsProduct({{64, 256}, {0, 1}})
    ->ArgNames({"max_kernelsize", "reference"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

int main(int argc, char** argv) { return runBenchmarks(argc, argv); }
