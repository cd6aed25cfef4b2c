// The benchmarks' main: the host's allocator choice, then Google Benchmark's run.
#pragma once

#include <benchmark/benchmark.h>
#include <malloc.h>

inline int runBenchmarks(int argc, char** argv) {
  // Row buffers of a few hundred kilobytes are taken and given back for every row, and trimming
  // the heap top after each would cost a system call per row.
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
