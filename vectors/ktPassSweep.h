// Adding a group of consecutive scatters (each its first pass, then its second) into one output
// row in one sweep over the output columns: per column the passes are added in their order, and
// each column is loaded and stored once for all of them.
#pragma once

#include "ktKernelRows.h"

// One pass of a scatter over one output row: its kernel row and the output columns its non-zero
// taps cover, with the weight share and the per-channel scales.
struct PassRun {
  const float* taps;  // tap for output column x: taps[x - left]
  int left;
  int begin, end;
  float weightScale;
  float scale[ktKernelRows::kMaxChannels];
};

// Adds `runs` into `weight` and the `channels` rows of `colour` (all indexed by absolute column),
// over output columns start .. end-1, with the vector target in force; a column outside a run's
// taps adds nothing. Products may be fused into the sums.
void sweepPasses(const PassRun* runs, int runCount, int start, int end, float* weight, float* const* colour,
                 int channels);
