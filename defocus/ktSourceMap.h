// What the fast row engine needs of every source position, worked out once per render instead
// of once per output row: the scatters of the position (one per flat pixel; one per deep piece
// plus the uncovered remainder), each with its kernel passes, slice, reach and the value each
// channel scatters (colour with its bloom light). Rows are the input rows the engines clamp
// source rows to; columns the output box widened by the padding. Every value is computed exactly
// as the row engines compute it, so rows served from the map equal rows computed from the inputs.
#pragma once

#include <cstdint>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Iop.h"
#include "ktLargeAllocator.h"
#include "ktRenderContext.h"

class ktSourceMap {
 public:
  static constexpr uint16_t kNoPass = 0xffff;
  static constexpr int kBlock = 64;  // columns summarised by one block reach
  static constexpr int kSharedChannels = 4;

  // Columns between the first and one past the last non-zero tap of one kernel row.
  struct Span {
    uint16_t begin, end;
  };

  // A bank entry as the shared scatter reads it: the plane every channel shares.
  struct Kernel {
    const float* plane;
    int width;
    int halfWidth;
    const Span* rows;  // non-zero span of each row
  };

  // A scatter as the per-channel path reads it.
  struct Scatter {
    float size;           // blur diameter (for the chromatic shift)
    float passWeight[2];  // the two kernels' shares times the scatter's weight
    uint16_t kernel[2];   // bank entries of the two passes; kNoPass where a pass is not used
    uint16_t slice;
    float aberrationMatte;
  };

  // A scatter as the shared path reads it, in one record: its kernels (null where a pass is not
  // used), their shares, the values of up to four channels and its slice.
  struct SharedScatter {
    uint16_t kernel[2];  // entries of kernel(); kNoPass where a pass is not used
    float passWeight[2];
    float value[kSharedChannels];  // by position among the active channels
    uint16_t slice;
    bool finite;  // every value and share is finite: zero taps may be left out
  };

  // Consecutive positions of one row, one scatter each, that share kernels and slice and have
  // finite values: the fast engine adds them in one sweep.
  struct Stretch {
    int sx0;         // the first member's column; member j stands at sx0 + j
    int count;
    uint32_t first;  // the first member's scatter index; the others follow
    int16_t reach;
    bool finite;
  };

  // The flat map: one scatter per source pixel that its focus region lets through.
  void build(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
             const DD::Image::Box& outputBox, const DD::Image::ChannelSet& channels);

  // Building by hand: the layout (source rows clamp to clampLo .. clampHi), then for every
  // mapped row in order and every column in order, its scatters and endPosition().
  void layout(const ktRenderContext& ctx, const DD::Image::Box& outputBox, const DD::Image::ChannelSet& channels,
              int clampLo, int clampHi);
  // `values` holds the scattered value of every active channel, in ascending channel id.
  void addScatter(const ktRenderContext& ctx, float size, float weight, size_t slice, float aberrationMatte,
                  const float* values);
  void endPosition();
  void clear();
  bool empty() const { return offsets_.empty(); }

  // Whether row y over x .. r-1 reads only mapped positions, with depths (or fallback values) at
  // the same columns.
  bool covers(int y, int x, int r, int padding) const;
  // Whether every bank kernel has the same plane in every active channel, there are at most
  // kSharedChannels of them and no chromatic shift: then sharedScatters() serves the scatter,
  // otherwise scatters() and scattered().
  bool sharedKernels() const { return sharedKernels_; }
  const Kernel& kernel(int k) const { return kernels_[k]; }
  // The kernel of a shared scatter's pass, or null where the pass is not used.
  const Kernel* kernelOf(const SharedScatter& s, int q) const {
    return s.kernel[q] == kNoPass ? nullptr : &kernels_[s.kernel[q]];
  }

  int clampRow(int sy) const { return sy < clampLo_ ? clampLo_ : (sy > clampHi_ ? clampHi_ : sy); }
  int firstRow() const { return firstRow_; }
  int lastRow() const { return lastRow_; }
  int x0() const { return x0_; }
  int x1() const { return x1_; }
  int rowReach(int cy) const { return rowReach_[cy - firstRow_]; }

  // By position (absolute column): the farthest row distance a scatter of the position reaches
  // (-1: none), the first of its scatters (the next position's first ends them), and the
  // largest reach of the kBlock columns from x0() + kBlock * i.
  const int16_t* reach(int cy) const { return reach_.data() + rowOffset(cy) - x0_; }
  const uint32_t* first(int cy) const { return offsets_.data() + rowOffset(cy) - x0_; }
  const int16_t* blockReach(int cy) const { return blockReach_.data() + size_t(cy - firstRow_) * blocks_; }
  // By scatter index.
  const int16_t* scatterReach() const { return scatterReach_.data(); }
  const SharedScatter* sharedScatters() const { return shared_.data(); }
  const Scatter* scatters() const { return scatters_.data(); }
  const float* scattered(int activeIndex) const { return values_[activeIndex].data(); }
  // The stretches of a row in column order (flat shared maps only; empty otherwise).
  bool hasStretches() const { return !rowStretches_.empty(); }
  const Stretch* stretchesBegin(int cy) const { return stretches_.data() + rowStretches_[cy - firstRow_]; }
  const Stretch* stretchesEnd(int cy) const { return stretches_.data() + rowStretches_[cy - firstRow_ + 1]; }

 private:
  size_t rowOffset(int cy) const { return size_t(cy - firstRow_) * size_t(x1_ - x0_); }
  void mapFlatRow(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int cy);
  void describeKernels(const std::vector<ktChannelFloatBuffer>& bank);
  void findStretches(int cy);

  int x0_ = 0, x1_ = 0;              // mapped columns
  int firstRow_ = 0, lastRow_ = -1;  // mapped rows, inclusive
  int clampLo_ = 0, clampHi_ = 0;    // the rows source rows clamp to
  int padding_ = 0;
  int formatWidth_ = 0;
  size_t blocks_ = 0;  // blocks per row
  size_t position_ = 0;  // the position being built
  int channelCount_ = 0;
  bool sharedKernels_ = false;
  DD::Image::ChannelSet channels_;
  template <typename T>
  using Table = std::vector<T, ktLargeAllocator<T>>;
  Table<uint32_t> offsets_;
  Table<int16_t> reach_;
  std::vector<int16_t> blockReach_;
  std::vector<int> rowReach_;
  Table<int16_t> scatterReach_;
  Table<SharedScatter> shared_;
  Table<Scatter> scatters_;
  std::vector<Table<float>> values_;  // by active channel position, over the scatters
  std::vector<Kernel> kernels_;
  std::vector<Span> spans_;
  std::vector<Stretch> stretches_;
  std::vector<uint32_t> rowStretches_;
};
