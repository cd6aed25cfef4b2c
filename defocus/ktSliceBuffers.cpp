#include "ktSliceBuffers.h"

#include <algorithm>

ktSliceBuffers::ktSliceBuffers(int slices, const DD::Image::ChannelSet& channels, int x, int r, bool sharedWeights)
    : x_(x), r_(std::max(x, r)) {
  const size_t n = static_cast<size_t>(std::max(1, slices));
  const size_t width = static_cast<size_t>(r_ - x_);
  const size_t colourRowsPerSlice = channels.size();
  const size_t weightRowsPerSlice = sharedWeights ? std::min<size_t>(1, channels.size()) : channels.size();
  colourRows.assign(n, {});
  weightRows.assign(n, {});
  // One block for every row: colour rows of all slices, then weight rows of all slices.
  storage_.assign(n * (colourRowsPerSlice + weightRowsPerSlice) * width, 0.0f);
  coverage_.assign(width, 0.0f);
  if (width == 0) return;  // nothing to address: every row stays null

  float* next = storage_.data();
  for (size_t s = 0; s < n; ++s) {
    colourRows[s].fill(nullptr);
    for (DD::Image::Channel z : channels) {
      colourRows[s][z] = next - x_;
      next += width;
    }
  }
  for (size_t s = 0; s < n; ++s) {
    weightRows[s].fill(nullptr);
    for (DD::Image::Channel z : channels) {
      weightRows[s][z] = next - x_;
      if (!sharedWeights) next += width;
    }
    if (sharedWeights && !channels.empty()) next += width;
  }
}

void ktSliceBuffers::composite(DD::Image::Channel z, float* out) const {
  if (r_ <= x_) return;
  float* coverage = coverage_.data() - x_;
  std::fill(out + x_, out + r_, 0.0f);
  std::fill(coverage + x_, coverage + r_, 0.0f);
  if (z <= 0 || z >= DD::Image::Chan_Last) return;

  // Nearest slice first: each adds its colour scaled so that the coverage never passes 1.
  for (size_t s = 0; s < colourRows.size(); ++s) {
    const float* C = colourRows[s][z];
    const float* W = weightRows[s][z];
    if (!C || !W) continue;
    for (int i = x_; i < r_; ++i) {
      const float rem = 1.0f - coverage[i];
      out[i] += (rem < W[i] ? rem / W[i] : 1.0f) * C[i];
      coverage[i] += std::min(W[i], rem);
    }
  }
  for (int i = x_; i < r_; ++i)
    if (coverage[i] > 0.0f) out[i] = out[i] / coverage[i];
}
