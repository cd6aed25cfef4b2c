// The fast engine's vector sweeps: kernel rows added into slice rows, one source for every
// Highway target (chosen at run time, see ktSimdTarget.h).
#pragma once

#include "ktKernelSpan.h"

// Adding a stretch of a source row (consecutive pixels with the same kernels and slice)
// into one output row member by member: every member's kernel row, scaled by its share (the
// weight row) and by its value times the share (each colour row). Pays for short stretches;
// long ones go column by column (sweepColumns below).

// A stretch on one output row: member j stands at source column sx0 + j and, for each row pass
// p, adds kernel row taps[p] with its centre on that column, scaled by weight[p][j] into the
// weight row and by scale[p][c][j] into colour row c; the pass's non-zero taps cover output
// columns [sx0 + j + lo[p], sx0 + j + hi[p]), clipped to the output row [x, r).
struct StretchRow {
  int count;
  int passes;
  const float* weight[2];
  const float* scale[2][kSweepChannels];
  const float* taps[2];
  bool padded[2];  // taps has zeros 16 columns beyond both ends of the row (a padded copy)
  int halfWidth[2];
  int lo[2], hi[2];
  int sx0;
  int x, r;
  int start, end;  // the output columns the stretch covers
};

// Adds the stretch into `weight` and the `channels` rows of `colour` (all indexed by absolute
// column), with the vector target in force (ktSimdTarget.h). Products may be fused into the sums.
void sweepStretch(const StretchRow& s, int channels, float* weight, float* const* colour);

// Adding one pass of a stretch of a source row into one output row column by column: each
// block of output columns gathers, tap by tap, the members that tap reaches. A kernel row's
// constant run adds, instead of its taps, two terms into difference rows (where the run begins
// and where it ends), which ktSliceBuffers::foldDifferences sums once per output row. Pays for
// long stretches, and most for kernel rows with long runs (discs and blades).

struct ColumnPass {
  // Member j's share (signal[0][j]) and its scale of each colour row (signal[1 + c][j]), for
  // j in 0 .. count-1; each readable 16 floats beyond both ends (ktSourceMap's planes).
  const float* signal[1 + kSweepChannels];
  int count;
  int origin;         // the output column tap 0 of member 0 lands on; member j's lands on origin + j
  const float* taps;  // the kernel row
  ktKernelSpan span;
  int x, r;  // the output row
};

// Whether the pass costs less column by column than member by member.
bool columnsPay(const ktKernelSpan& span, int count);

// Adds the pass into rows[0] (weight) and rows[1 .. channels] (colour), its run into the
// difference rows of the same order (what a run beginning left of x adds at x into `starts`),
// and the columns its run covers into the `coverage` differences (ktSliceBuffers); all indexed
// by absolute column over [x, r). Products may be fused
// into the sums.
void sweepColumns(const ColumnPass& p, int channels, float* const* rows, float* const* differences,
                  double* const* starts, float* coverage);
