#include "ktSliceBuffers.h"

#include <algorithm>

ktSliceBuffers::ktSliceBuffers(int slices, const DD::Image::ChannelSet& channels, int x, int r, bool sharedWeights,
                               bool onFirstUse)
    : x_(x), r_(std::max(x, r)), channels_(channels), sharedWeights_(sharedWeights) {
  const size_t n = static_cast<size_t>(std::max(1, slices));
  colourRows.assign(n, {});
  weightRows.assign(n, {});
  storage_.assign(n, {});
  coverage_.assign(static_cast<size_t>(r_ - x_), 0.0f);
  for (size_t s = 0; s < n; ++s) {
    colourRows[s].fill(nullptr);
    weightRows[s].fill(nullptr);
    if (!onFirstUse) prepare(s);
  }
}

void ktSliceBuffers::prepare(size_t slice) {
  const size_t width = static_cast<size_t>(r_ - x_);
  if (width == 0 || channels_.empty()) return;  // nothing to address: every row stays null
  const size_t weightRowCount = sharedWeights_ ? 1 : channels_.size();
  std::vector<float>& block = storage_[slice];
  block.assign((channels_.size() + weightRowCount) * width, 0.0f);
  float* next = block.data();
  for (DD::Image::Channel z : channels_) {
    colourRows[slice][z] = next - x_;
    next += width;
  }
  for (DD::Image::Channel z : channels_) {
    weightRows[slice][z] = next - x_;
    if (!sharedWeights_) next += width;
  }
}

void ktSliceBuffers::composite(DD::Image::Channel z, float* out) const {
  if (r_ <= x_) return;
  float* coverage = coverage_.data() - x_;
  std::fill(out + x_, out + r_, 0.0f);
  std::fill(coverage + x_, coverage + r_, 0.0f);
  if (z <= 0 || int(z) > DD::Image::Chan_Last) return;

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
