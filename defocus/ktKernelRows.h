// The kernel bank as the fast engine's shared path reads it: per entry the one plane every
// channel shares and the span of non-zero taps of each of its rows. Made once per render.
#pragma once

#include <cstdint>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "ktRenderContext.h"

class ktKernelRows {
 public:
  static constexpr int kMaxChannels = 4;  // the shared path keeps this many accumulators

  // Columns between the first and one past the last non-zero tap of one kernel row.
  struct Span {
    uint16_t begin, end;
  };

  struct Kernel {
    const float* plane;
    int width;
    int halfWidth;
    const Span* rows;  // non-zero span of each row
  };

  // Describes the bank when every entry has the same plane in all `channels`, there are at most
  // kMaxChannels of them and no chromatic shift; otherwise shared() is false.
  void describe(const ktRenderContext& ctx, const DD::Image::ChannelSet& channels);
  void clear();

  bool shared() const { return shared_; }
  const Kernel& kernel(int k) const { return kernels_[k]; }

 private:
  bool shared_ = false;
  std::vector<Kernel> kernels_;
  std::vector<Span> spans_;
};
