// The accumulation rows of one output row: for each corrective slice a colour row and a weight
// row per channel over columns x .. r-1, zeroed, with the tables convole adds into; and the
// front-to-back compositing of the slices.
#pragma once

#include <vector>

#include "DDImage/ChannelSet.h"
#include "ktSliceRows.h"

class ktSliceBuffers {
 public:
  // At least one slice; rows exist for `channels` only (other table entries are null), all
  // carved from one zeroed block.
  // With `sharedWeights` every channel of a slice adds its weights into one and the same row,
  // for channels whose kernels and centres are the same.
  ktSliceBuffers(int slices, const DD::Image::ChannelSet& channels, int x, int r, bool sharedWeights = false);

  int slices() const { return static_cast<int>(colourRows.size()); }

  ktSliceRows colourRows;
  ktSliceRows weightRows;

  // Writes channel z of columns x .. r-1 into out (indexed by absolute column): slices nearest
  // first, each scaled so that the coverage taken never passes 1, then divided by the coverage
  // where it is positive (0 where nothing reached).
  void composite(DD::Image::Channel z, float* out) const;

 private:
  int x_, r_;
  std::vector<float> storage_;
  mutable std::vector<float> coverage_;
};
