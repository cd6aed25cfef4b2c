// What the row engines reuse from one row to the next, so that their buffers are allocated once
// per thread that renders rather than once per row: the caller keeps one per thread.
#pragma once

#include <vector>

#include "ktSliceBuffers.h"

// The rows one output row accumulates into, and the fast engine's places of the row's channels
// among the active channels its maps hold values for.
struct ktRowScratch {
  ktSliceBuffers slices;
  std::vector<int> valueIndex;
  std::vector<float> sliceMeans;  // by slice and column, each slice's coverage and mean colours
  std::vector<float> sums;        // what a gather's rays sum of each layer
};
