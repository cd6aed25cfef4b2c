// The fast engine's multiply-add loop on its own: a frame whose every pixel has the same blur, so
// that nearly all the time goes into adding kernel rows into the accumulation rows. Reports the
// multiply-adds per second on one thread next to the peak of the vector width in use at the
// reported clock.
#include <benchmark/benchmark.h>
#include "standin/OpHost.h"

#include <fstream>
#include <string>

#include "standin/MemoryIop.h"
#include "ktBenchMain.h"
#include "ktOrvel.h"
#include "ktSimdTarget.h"

namespace {

using namespace DD::Image;
using namespace standin;

// The processor clock the kernel reports, in Hz (0 when unknown).
double clockHz() {
  std::ifstream info("/proc/cpuinfo");
  for (std::string line; std::getline(info, line);)
    if (line.rfind("cpu MHz", 0) == 0) return std::stod(line.substr(line.find(':') + 1)) * 1e6;
  return 0.0;
}

// Multiply-adds of one frame: every tap of every kernel row that a pixel spreads, for the weight
// row and each colour channel, both passes.
double multiplyAdds(const ktOrvel& node, int width, int height, float size, int channels) {
  const int k0 = static_cast<int>(size);
  double taps = 0;
  for (int k : {k0, k0 + 2}) {
    const std::vector<ktChannelFloatBuffer>& bank = *node.renderContext().kernels;
    const ktChannelFloatBuffer& kernel = bank[std::min<size_t>(k, bank.size() - 1)];
    for (float v : kernel.plane(Chan_Red)) taps += v != 0.0f ? 1.0 : 0.0;
  }
  return taps * double(width) * double(height) * double(channels + 1);
}

void hotLoop(benchmark::State& state) {
  const int width = 960, height = 540, blur = static_cast<int>(state.range(0));
  MemoryIop image(Format(width, height), Box(0, 0, width, height), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z));
  for (Channel z : ChannelSet(Mask_RGBA)) image.fill(z, 0.5f);
  image.fill(Chan_Z, 1000.0f);
  ktOrvel node(nullptr);
  OpHost::buildKnobs(node);
  OpHost::connect(node, ktOrvel::kInput, &image);
  standin::record(node.knob("focalPlane"))->fromScript("100");
  standin::record(node.knob("multiplier"))->fromScript(std::to_string(blur - 0.5));
  standin::record(node.knob("correctiveSlices"))->fromScript("1");
  standin::record(node.knob("max_kernelsize"))->fromScript("256");
  node.validate(true);
  node.request(0, 0, width, height, Mask_RGBA, 1);
  node.open();
  Row row(0, width);
  for (auto _ : state)
    for (int y = 0; y < height; ++y) node.engine(y, 0, width, Mask_RGBA, row);
  const double madds = multiplyAdds(node, width, height, float(blur) - 0.5f, 4);
  state.counters["madds_per_s"] = benchmark::Counter(madds, benchmark::Counter::kIsIterationInvariantRate);
  // The sweeps may fuse multiply-adds: a core issues two vector multiply-adds a cycle, each as
  // wide as the target the engine ran on.
  const std::string target = simdTargetName();
  const double lanes = target == "avx512" ? 16 : target == "avx2" ? 8 : target == "scalar" ? 1 : 4;
  state.counters["peak_madds_per_s"] = 2 * lanes * clockHz();
}

}  // namespace

// Rates per second of this thread's processor time, so that other work on the machine does not
// count against the loop.
BENCHMARK(hotLoop)->Arg(24)->Arg(64)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) { return runBenchmarks(argc, argv); }
