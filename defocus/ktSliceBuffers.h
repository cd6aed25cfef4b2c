// The accumulation rows of one output row: for each corrective slice a colour row and a weight
// row per channel over columns x .. r-1, zeroed, with the tables convole adds into; and the
// front-to-back compositing of the slices.
#pragma once

#include <vector>

#include "DDImage/ChannelSet.h"
#include "ktSliceRows.h"

class ktSliceBuffers {
 public:
  // With `sharedWeights` every channel of a slice adds its weights into one and the same row,
  // for channels whose kernels and centres are the same. With `onFirstUse` a slice's rows are
  // made only when ensure() asks for them; a slice never asked for adds nothing. With
  // `differences` every row has a difference row beside it (see foldDifferences).
  ktSliceBuffers(int slices, const DD::Image::ChannelSet& channels, int x, int r, bool sharedWeights = false,
                 bool onFirstUse = false, bool differences = false);

  int slices() const { return static_cast<int>(colourRows.size()); }
  // Makes the rows of `slice` ready, zeroed, before its first addition.
  void ensure(size_t slice) {
    if (storage_[slice].empty()) prepare(slice);
  }

  ktSliceRows colourRows;
  ktSliceRows weightRows;
  // Differences of what a constant run of kernel taps adds along a row: entry i holds what
  // column i adds beyond column i-1 (entry x what column x adds).
  ktSliceRows colourDifferences;
  ktSliceRows weightDifferences;
  // Per slice, the differences of how many runs cover each column: where none does, the running
  // sums are exactly 0, whatever the rounding of the terms before.
  std::vector<float*> runCoverage;
  // Per slice, what runs beginning left of the row add at its first column, by row (the colour
  // rows in channel order, then the weight rows): in double, as it sums whole runs.
  std::vector<double*> runStarts;

  // Adds the running sums of the difference rows into their rows (in double, so the long sums
  // round once per column) and zeroes them.
  void foldDifferences();

  // Writes channel z of columns x .. r-1 into out (indexed by absolute column): slices nearest
  // first, each scaled so that the coverage taken never passes 1, then divided by the coverage
  // where it is positive (0 where nothing reached). Fewer than one slice counts as one; rows of
  // channels not asked for stay null.
  void composite(DD::Image::Channel z, float* out) const;

 private:
  void prepare(size_t slice);

  int x_, r_;
  DD::Image::ChannelSet channels_;
  bool sharedWeights_;
  bool differences_;
  std::vector<std::vector<double>> starts_;
  std::vector<std::vector<float>> storage_;  // per slice: its colour rows, its weight rows, their differences
  mutable std::vector<float> coverage_;
};
