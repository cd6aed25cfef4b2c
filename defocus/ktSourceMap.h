// What the flat engine needs of every source pixel, worked out once per render instead of once
// per output row: kernel passes, slice, how far its kernels reach, and the value each channel
// scatters (colour with its bloom light). Rows are the input rows the engine clamps source rows
// to; columns the output box widened by the padding. Every value is computed exactly as the
// row engine computes it, so rows served from the map equal rows computed from the inputs.
#pragma once

#include <cstdint>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/Iop.h"
#include "ktRenderContext.h"

class ktSourceMap {
 public:
  static constexpr uint16_t kNoPass = 0xffff;
  static constexpr int kBlock = 64;  // columns summarised by one block reach

  struct Pixel {
    float size;           // blur diameter, at least 1 (or NaN)
    float passWeight[2];  // the two kernels' shares
    uint16_t kernel[2];   // bank entries of the two passes; kNoPass where a pass is not used
    uint16_t slice;
  };

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

  // Everything the shared scatter reads of a pixel, in one record: its kernels (null where a
  // pass is not used), their shares, the values of up to four channels and its slice.
  static constexpr int kSharedChannels = 4;
  struct SharedPixel {
    const Kernel* kernel[2];
    float passWeight[2];
    float value[kSharedChannels];  // by position in the active channels
    uint32_t slice;
  };

  // Maps the source pixels of rows over `outputBox` for `channels` (the active channels).
  void build(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
             const DD::Image::Box& outputBox, const DD::Image::ChannelSet& channels);
  void clear();
  bool empty() const { return reach_.empty(); }

  // Whether row y over x .. r-1 reads only mapped pixels, with depths at the same columns.
  bool covers(int y, int x, int r, int padding) const;
  // Whether every bank kernel has the same plane in every active channel, there are at most
  // kSharedChannels of them and no chromatic shift: then sharedPixels() serves the scatter,
  // otherwise pixels(), scattered() and aberrationMatte().
  bool sharedKernels() const { return sharedKernels_; }
  const SharedPixel* sharedPixels(int cy) const { return shared_.data() + rowOffset(cy) - x0_; }
  const Kernel& kernel(int k) const { return kernels_[k]; }

  // The input row a source row reads: clamped to the input box, its top row one past the box.
  int clampRow(int sy) const { return sy < boxY_ ? boxY_ : (sy > boxT_ ? boxT_ : sy); }
  int rowReach(int cy) const { return rowReach_[cy - firstRow_]; }

  // All indexed by absolute column. reach: the farthest row distance any channel's kernel of
  // the pixel reaches, -1 where the pixel is not scattered; blockReach: the largest reach of
  // the kBlock columns from x0() + kBlock * i.
  const Pixel* pixels(int cy) const { return pixels_.data() + rowOffset(cy) - x0_; }
  const int16_t* reach(int cy) const { return reach_.data() + rowOffset(cy) - x0_; }
  const int16_t* blockReach(int cy) const { return blockReach_.data() + size_t(cy - firstRow_) * blocks_; }
  const float* scattered(int cy, DD::Image::Channel z) const { return values_[z].data() + rowOffset(cy) - x0_; }
  const float* aberrationMatte(int cy) const;  // null: no matte (1 everywhere)
  int x0() const { return x0_; }

 private:
  size_t rowOffset(int cy) const { return size_t(cy - firstRow_) * size_t(x1_ - x0_); }
  void mapRow(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int cy);
  void describeKernels(const std::vector<ktChannelFloatBuffer>& bank);
  void storePixel(size_t i, const Pixel& p, const float* values);

  int x0_ = 0, x1_ = 0;              // mapped columns
  int firstRow_ = 0, lastRow_ = -1;  // mapped rows, inclusive
  int boxY_ = 0, boxT_ = 0;          // the input box's rows
  int padding_ = 0;
  int formatWidth_ = 0;
  size_t blocks_ = 0;  // blocks per row
  bool sharedKernels_ = false;
  DD::Image::ChannelSet channels_;
  std::vector<Pixel> pixels_;
  std::vector<SharedPixel> shared_;
  std::vector<int16_t> reach_;
  std::vector<int16_t> blockReach_;
  std::vector<int> rowReach_;
  std::vector<std::vector<float>> values_;  // by channel id, planar over the map
  std::vector<float> aberration_;
  std::vector<Kernel> kernels_;
  std::vector<Span> spans_;
};
