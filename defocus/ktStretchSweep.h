// Adding a stretch of a flat source row (consecutive pixels with the same kernels and slice)
// into one output row: every member's kernel row, scaled by its share (the weight row) and by
// its value times the share (each colour row), in the order one scatter after the other would
// add them, so every variant gives the reference engine's bits.
#pragma once

#include "ktSourceMap.h"

// One kernel row run into a shared weight row and up to four colour rows: the same additions,
// in the same order per row, as one run per channel (products and sums kept apart, never fused,
// so every variant rounds alike). colour[c] is indexed by absolute column from `first`.
inline void scatterSharedRunPlain(const float* __restrict k, float* __restrict weight, float* const* colour,
                                  const float* scale, int channels, int count, float weightScale, int first) {
  for (int i = 0; i < count; ++i) weight[i] += k[i] * weightScale;
  for (int c = 0; c < channels; ++c) {
    float* __restrict out = colour[c] + first;
    const float s = scale[c];
    for (int i = 0; i < count; ++i) out[i] += k[i] * s;
  }
}

// A stretch on one output row, read straight from its members: member j stands at source
// column sx0 + j and, for each pass p the row uses, adds kernel row taps[p] with its centre on
// that column; the pass's non-zero taps cover output columns [sx0 + j + lo[p], sx0 + j + hi[p]),
// clipped to the output row [x, r). Each member's scales are picked by `index`.
struct StretchRow {
  const ktSourceMap::Scales* members;
  int count;
  int passes;
  int pass[2];  // the member's pass of each row pass
  const float* taps[2];
  bool padded[2];  // taps has zeros 16 columns beyond both ends of the row (a padded copy)
  int halfWidth[2];
  int lo[2], hi[2];
  int sx0;
  int x, r;
  int start, end;  // the output columns the stretch covers
  int index[ktSourceMap::kSharedChannels];
};

// Adds the stretch into `weight` and the `channels` rows of `colour` (all indexed by absolute
// column). The sweep takes 16 columns at a time and needs AVX-512; the plain one runs anywhere.
void sweepStretchAvx512(const StretchRow& s, int channels, float* weight, float* const* colour);
void sweepStretchPlain(const StretchRow& s, int channels, float* weight, float* const* colour);

using StretchSweep = void (*)(const StretchRow&, int, float*, float* const*);
// The widest variant this processor runs.
StretchSweep stretchSweepForThisProcessor();
