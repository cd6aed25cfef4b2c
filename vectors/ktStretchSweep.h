// Adding a stretch of a flat source row (consecutive pixels with the same kernels and slice)
// into one output row member by member: every member's kernel row, scaled by its share (the
// weight row) and by its value times the share (each colour row). Pays for short stretches;
// long ones go column by column (ktColumnSweep.h).
#pragma once

#include "ktKernelRows.h"

// A stretch on one output row: member j stands at source column sx0 + j and, for each row pass
// p, adds kernel row taps[p] with its centre on that column, scaled by weight[p][j] into the
// weight row and by scale[p][c][j] into colour row c; the pass's non-zero taps cover output
// columns [sx0 + j + lo[p], sx0 + j + hi[p]), clipped to the output row [x, r).
struct StretchRow {
  int count;
  int passes;
  const float* weight[2];
  const float* scale[2][ktKernelRows::kMaxChannels];
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
