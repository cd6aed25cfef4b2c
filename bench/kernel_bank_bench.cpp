// Kernel bank build time: entries = kernelSizeLimit + kKernelBankMargin resampled from a
// 256-pixel circular hero kernel with RGBA planes, on one worker and on every processor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "DDImage/Thread.h"
#include "ktHeroKernel.h"
#include "ktKernelBank.h"

namespace {

ktChannelFloatBuffer circularHero() {
  ktOrvelSettings s;
  s.kernelType = kKernelCircular;
  ktChannelFloatBuffer hero;
  makeHeroKernel(hero, s, DD::Image::Mask_RGBA, 256, nullptr);
  return hero;
}

void BM_BuildKernelBank(benchmark::State& state) {
  const ktChannelFloatBuffer hero = circularHero();
  const size_t entries = size_t(state.range(0)) + kKernelBankMargin;
  const unsigned workers = state.range(1) == 0 ? DD::Image::Thread::numCPUs : unsigned(state.range(1));
  std::vector<ktChannelFloatBuffer> bank;
  for (auto _ : state) {
    buildKernelBank(bank, hero, DD::Image::Mask_RGBA, entries, workers);
    benchmark::DoNotOptimize(bank.data());
  }
  state.counters["workers"] = workers;
  state.SetLabel(state.range(1) == 0 ? "all CPUs" : "1 worker");
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Arguments: kernelSizeLimit, workers (0 = Thread::numCPUs).
BENCHMARK(BM_BuildKernelBank)
    ->ArgsProduct({{64, 128, 256}, {1, 0}})
    ->ArgNames({"limit", "workers"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
