// The padding scan: the largest blur of a frame, rounded up, sets the kernel-size limit
// (capped by max_kernelsize) and the padding by which input requests grow.
#pragma once

#include <algorithm>

#include "ktDepthToCoc.h"

class ktCocScan {
 public:
  explicit ktCocScan(const ktOrvelSettings& settings) : s_(settings) {}

  // One measured depth. The running maximum serves as the blur of infinitely far depths,
  // so those never raise it.
  void add(float depth, DepthKind kind);
  void addRow(const float* depths, int count, DepthKind kind) {
    for (int i = 0; i < count; ++i) add(depths[i], kind);
  }
  int measured() const { return max_; }
  // Takes in what another scan measured.
  void merge(const ktCocScan& other) { max_ = std::max(max_, other.max_); }

  struct Result {
    int kernelSizeLimit;
    int padding;
    bool capped;  // the frame needs more than max_kernelsize
  };
  Result finish() const;

 private:
  const ktOrvelSettings& s_;
  int max_ = 0;
};
