// Adding one pass of a stretch of a flat source row into one output row column by column: each
// block of output columns gathers, tap by tap, the members that tap reaches. A kernel row's
// constant run adds, instead of its taps, two terms into difference rows (where the run begins
// and where it ends), which ktSliceBuffers::foldDifferences sums once per output row. Pays for
// long stretches, and most for kernel rows with long runs (discs and blades).
#pragma once

#include "ktKernelRows.h"

struct ColumnPass {
  // Member j's share (signal[0][j]) and its scale of each colour row (signal[1 + c][j]), for
  // j in 0 .. count-1; each readable 16 floats beyond both ends (ktSourceMap's planes).
  const float* signal[1 + ktKernelRows::kMaxChannels];
  int count;
  int origin;         // the output column tap 0 of member 0 lands on; member j's lands on origin + j
  const float* taps;  // the kernel row
  ktKernelRows::Span span;
  int x, r;  // the output row
};

// Whether the pass costs less column by column than member by member.
bool columnsPay(const ktKernelRows::Span& span, int count);

// Adds the pass into rows[0] (weight) and rows[1 .. channels] (colour), its run into the
// difference rows of the same order (what a run beginning left of x adds at x into `starts`),
// and the columns its run covers into the `coverage` differences (ktSliceBuffers); all indexed
// by absolute column over [x, r). Products may be fused
// into the sums.
void sweepColumns(const ColumnPass& p, int channels, float* const* rows, float* const* differences,
                  double* const* starts, float* coverage);
