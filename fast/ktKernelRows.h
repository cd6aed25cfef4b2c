// The kernel bank as the fast engine's shared path reads it: per entry the one plane every
// channel shares and the span of non-zero taps of each of its rows, and, for the smaller
// entries, a copy of the plane with zeros around every row, which a 16-column block may read
// past a row's ends without masking. Made once per render.
#pragma once

#include <cstdint>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "ktKernelSpan.h"
#include "ktRenderContext.h"

class ktKernelRows {
 public:
  static constexpr int kMaxChannels = kSweepChannels;  // the shared path keeps this many accumulators
  static constexpr int kRowGap = 16;       // zeros before and after every row of a padded copy
  static constexpr int kPaddedWidth = 127;  // the widest entries with a padded copy

  static constexpr int kMinRun = 4;  // a shorter run of equal taps costs more than its taps

  // The non-zero span of one kernel row and its longest run of equal taps, where it has one of
  // kMinRun taps or more.
  using Span = ktKernelSpan;

  struct Kernel {
    const float* plane;
    int width;
    int halfWidth;
    const Span* rows;  // non-zero span of each row
    // Row ky of the padded copy starts at padded + ky * paddedStride, with kRowGap zeros before
    // and after it; null for entries wider than kPaddedWidth.
    const float* padded;
    int paddedStride;
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
  std::vector<float> padded_;
};
