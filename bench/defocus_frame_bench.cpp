// One 1920 x 1080 RGBA + depth frame through the node on all threads, with the reference and
// the fast flat engine, for a largest blur of 64 and 256 pixels.
#include <benchmark/benchmark.h>
#include "standin/OpHost.h"

#include "standin/RenderDriver.h"
#include "ktBenchMain.h"
#include "ktBenchScene.h"
#include "ktOrvel.h"

using DD::Image::OpHost;

namespace {

void renderFrame1080(benchmark::State& state) {
  const int maxKernel = static_cast<int>(state.range(0));
  const bool reference = state.range(1) != 0;
  auto scene = makeBenchScene(1920, 1080);
  ktOrvel node(nullptr);
  OpHost::buildKnobs(node);
  node.useReferenceEngine(reference);
  OpHost::connect(node, ktOrvel::kInput, scene.get());
  DD::Image::OutputContext context;
  OpHost::setProjectFormat(node, scene->format());
  node.setOutputContext(context);
  standin::record(node.knob("focalPlane"))->fromScript("100");
  standin::record(node.knob("focusRegionSize"))->fromScript("60");
  // An average blur near 20 pixels: 24 for the far background, the foreground at the largest size.
  standin::record(node.knob("multiplier"))->fromScript("16");
  standin::record(node.knob("backmultiplier"))->fromScript("1.5");
  standin::record(node.knob("frontmultiplier"))->fromScript(std::to_string(maxKernel / 16.0));
  standin::record(node.knob("max_kernelsize"))->fromScript(std::to_string(maxKernel));
  for (auto _ : state) {
    standin::RenderReport report = standin::renderFrame(node);
    benchmark::DoNotOptimize(report.image);
  }
  state.counters["padding"] = node.renderContext().padding;
  state.counters["mapped"] = double(node.mappedBands());
}

}  // namespace

BENCHMARK(renderFrame1080)
    ->ArgsProduct({{64, 256}, {0, 1}})
    ->ArgNames({"max_kernelsize", "reference"})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

int main(int argc, char** argv) { return runBenchmarks(argc, argv); }
