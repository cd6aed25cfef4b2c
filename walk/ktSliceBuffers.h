// The accumulation rows of one output row: for each corrective slice a colour row and a weight
// row per channel over columns x .. r-1, zeroed; and the front-to-back compositing of the slices.
// Channels are addressed densely, by their position among the channels the rows were made for
// (ascending id). Made again for each row with reset(), which keeps the storage of the rows
// before.
#pragma once

#include <vector>

#include "DDImage/ChannelSet.h"
#include "DDImage/Row.h"

struct ktSliceOptions {
  // Every channel of a slice adds its weights into one and the same row, for channels whose
  // kernels and centres are the same.
  bool sharedWeights = false;
  // A slice's rows are made only when ensure() asks for them; a slice never asked for adds
  // nothing.
  bool onFirstUse = false;
  // Every row has a difference row beside it (see foldDifferences).
  bool differences = false;
  // The colour and weight rows have rows of double beside them, for sums of many small terms;
  // composite() rounds them into the rows.
  bool doubleSums = false;
};

class ktSliceBuffers {
 public:
  using Options = ktSliceOptions;

  ktSliceBuffers() = default;
  ktSliceBuffers(int slices, const DD::Image::ChannelSet& channels, int x, int r,
                 Options options = Options()) {
    reset(slices, channels, x, r, options);
  }
  // Rows for `slices` slices (at least one) of `channels` over x .. r-1, zeroed as they are made.
  void reset(int slices, const DD::Image::ChannelSet& channels, int x, int r, Options options = Options());

  // The channels, by position.
  const std::vector<DD::Image::Channel>& channels() const { return channelList_; }
  int slices() const { return static_cast<int>(blockOf_.size()); }
  // Makes the rows of `slice` ready, zeroed, before its first addition.
  void ensure(size_t slice) {
    if (blockOf_[slice] < 0) prepare(slice);
  }

  // The rows of channel position c, indexed by absolute column; null until the slice is made.
  float* colour(size_t slice, int c) const { return rows_[row(slice, kColour, c)]; }
  float* weight(size_t slice, int c) const { return rows_[row(slice, kWeight, c)]; }
  // With doubleSums, the double rows of channel position c; null otherwise.
  double* colourSum(size_t slice, int c) const { return sums_.empty() ? nullptr : sums_[sumRow(slice, 0, c)]; }
  double* weightSum(size_t slice, int c) const { return sums_.empty() ? nullptr : sums_[sumRow(slice, 1, c)]; }
  // Differences of what a constant run of kernel taps adds along a row: entry i holds what
  // column i adds beyond column i-1 (entry x what column x adds).
  float* colourDifference(size_t slice, int c) const { return rows_[row(slice, kColourDifference, c)]; }
  float* weightDifference(size_t slice, int c) const { return rows_[row(slice, kWeightDifference, c)]; }
  // With differences, the differences of how many runs cover each column of `slice`: where none
  // does, the running sums are exactly 0, whatever the rounding of the terms before.
  float* runCoverage(size_t slice) const { return runCoverage_[slice]; }
  // With differences, what runs beginning left of the row add at its first column in `slice`, by
  // row (the colour rows in channel order, then the weight rows): in double, as it sums whole runs.
  double* runStarts(size_t slice) const { return runStarts_[slice]; }

  // Adds the running sums of the difference rows into their rows (in double, so the long sums
  // round once per column) and zeroes them.
  void foldDifferences();

  // Folds the differences in, then writes every channel over columns x .. r-1 of `row`: slices
  // nearest first, each scaled so that the coverage taken never passes 1, then divided by the
  // coverage where it is positive (0 where nothing reached).
  void composite(DD::Image::Row& row);
  // After composite(), with `alpha` the position of alpha: each slice's alpha row, what its
  // pieces cover around each column, at out[slice * (r - x) + i - x] for columns i of x .. r-1
  // (0 for a slice not made); then, from out[slices * (r - x)] on in the same layout, each
  // slice's share of the output, its alpha as the composite takes it; then for each channel
  // position q, each slice's mean colour over what it covers (its colour row over its alpha
  // row; 0 where that is not positive), from out[(2 + q) * slices * (r - x)] on. The output is
  // the sum over the slices of share times mean colour.
  void meanColours(int alpha, std::vector<float>& out) const;

 private:
  void compositeChannel(size_t c, float* out) const;
  void foldSums();
  size_t sumRow(size_t slice, size_t kind, size_t c) const { return (slice * 2 + kind) * channels_ + c; }
  enum Kind { kColour, kWeight, kColourDifference, kWeightDifference, kKinds };
  size_t row(size_t slice, Kind kind, size_t c) const { return (slice * kKinds + kind) * channels_ + c; }
  void prepare(size_t slice);

  int x_ = 0, r_ = 0;
  size_t channels_ = 0;
  std::vector<DD::Image::Channel> channelList_;
  Options options_;
  std::vector<float*> rows_;  // by slice, kind, channel position
  std::vector<float*> runCoverage_;  // by slice, null until made
  std::vector<double*> runStarts_;   // by slice, null until made
  // The storage of the slices made, in the order they were made, kept for the rows after: per
  // slice its colour rows, its weight rows, their differences; and its run starts.
  std::vector<std::vector<float>> blocks_;
  std::vector<std::vector<double>> starts_;
  std::vector<std::vector<double>> sumBlocks_;  // with doubleSums, beside blocks_: colour then weight rows
  std::vector<double*> sums_;                   // by slice, colour or weight, channel position
  size_t made_ = 0;           // blocks in use
  std::vector<int> blockOf_;  // by slice: its block, -1 until made
  mutable std::vector<float> coverage_;
};
