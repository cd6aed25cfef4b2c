// What the flat engine needs of every source pixel, worked out once per render instead of once
// per output row: blur size, kernel passes, slice, how far its kernels reach, bloom level,
// aberration matte and colour. Rows are the input rows the engine clamps source rows to; columns
// the output box widened by the padding. Every value is computed exactly as the row engine
// computes it, so rows served from the map equal rows computed from the inputs.
#pragma once

#include <cstdint>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Iop.h"
#include "ktRenderContext.h"

class ktSourceMap {
 public:
  static constexpr uint16_t kNoPass = 0xffff;

  struct Pixel {
    float size;           // blur diameter, at least 1 (or NaN)
    float passWeight[2];  // the two kernels' shares; a pass of weight <= 0 is not used
    uint16_t kernel[2];   // bank entries of the two passes; kNoPass where a pass is not used
    uint16_t slice;
    int16_t reach;  // farthest row distance any channel's kernel reaches; -1: not scattered
  };

  // Maps the source pixels of rows over `outputBox` for `channels` (the active channels).
  void build(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
             const DD::Image::Box& outputBox, const DD::Image::ChannelSet& channels);
  void clear();
  bool empty() const { return pixels_.empty(); }

  // Whether row y over x .. r-1 reads only mapped pixels, with depths at the same columns.
  bool covers(int y, int x, int r, int padding) const;
  // Whether every bank kernel has the same plane in every active channel.
  bool sharedKernels() const { return sharedKernels_; }

  // The input row a source row reads: clamped to the input box, its top row one past the box.
  int clampRow(int sy) const { return sy < boxY_ ? boxY_ : (sy > boxT_ ? boxT_ : sy); }
  int rowReach(int cy) const { return rowReach_[cy - firstRow_]; }
  // Indexed by absolute column.
  const Pixel* pixels(int cy) const { return pixels_.data() + rowOffset(cy) - x0_; }
  const float* colour(int cy, DD::Image::Channel z) const;
  const float* bloomAmount(int cy) const;
  const float* aberrationMatte(int cy) const;  // null: no matte (1 everywhere)

 private:
  size_t rowOffset(int cy) const { return size_t(cy - firstRow_) * size_t(x1_ - x0_); }
  void mapRow(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int cy);

  int x0_ = 0, x1_ = 0;              // mapped columns
  int firstRow_ = 0, lastRow_ = -1;  // mapped rows, inclusive
  int boxY_ = 0, boxT_ = 0;          // the input box's rows
  bool sharedKernels_ = false;
  int padding_ = 0;
  int formatWidth_ = 0;
  DD::Image::ChannelSet channels_;
  std::vector<Pixel> pixels_;
  std::vector<int> rowReach_;
  std::vector<std::vector<float>> colours_;  // by channel id, planar over the map
  std::vector<float> bloom_;
  std::vector<float> aberration_;
};
