#include "ktSliceBuffers.h"

#include <algorithm>

ktSliceBuffers::ktSliceBuffers(int slices, const DD::Image::ChannelSet& channels, int x, int r,
                               bool sharedWeights, bool onFirstUse, bool differences)
    : x_(x),
      r_(std::max(x, r)),
      channels_(channels),
      sharedWeights_(sharedWeights),
      differences_(differences) {
  const size_t n = static_cast<size_t>(std::max(1, slices));
  for (ktSliceRows* rows : {&colourRows, &weightRows, &colourDifferences, &weightDifferences}) {
    rows->assign(differences || rows == &colourRows || rows == &weightRows ? n : 0, {});
    for (auto& slice : *rows) slice.fill(nullptr);
  }
  runCoverage.assign(differences ? n : 0, nullptr);
  runStarts.assign(differences ? n : 0, nullptr);
  starts_.assign(differences ? n : 0, {});
  storage_.assign(n, {});
  coverage_.assign(static_cast<size_t>(r_ - x_), 0.0f);
  if (!onFirstUse)
    for (size_t s = 0; s < n; ++s) prepare(s);
}

void ktSliceBuffers::prepare(size_t slice) {
  const size_t width = static_cast<size_t>(r_ - x_);
  if (width == 0 || channels_.empty()) return;  // nothing to address: every row stays null
  const size_t weightRowCount = sharedWeights_ ? 1 : channels_.size();
  std::vector<float>& block = storage_[slice];
  const size_t rows = channels_.size() + weightRowCount;
  block.assign((differences_ ? 2 * rows + 1 : rows) * width, 0.0f);
  float* next = block.data();
  for (int set = 0; set < (differences_ ? 2 : 1); ++set) {
    for (DD::Image::Channel z : channels_) {
      (set ? colourDifferences : colourRows)[slice][z] = next - x_;
      next += width;
    }
    for (DD::Image::Channel z : channels_) {
      (set ? weightDifferences : weightRows)[slice][z] = next - x_;
      if (!sharedWeights_) next += width;
    }
    if (sharedWeights_) next += width;
  }
  if (differences_) {
    runCoverage[slice] = next - x_;
    starts_[slice].assign(rows, 0.0);
    runStarts[slice] = starts_[slice].data();
  }
}

void ktSliceBuffers::foldDifferences() {
  if (!differences_) return;
  const size_t width = static_cast<size_t>(r_ - x_);
  for (size_t s = 0; s < storage_.size(); ++s) {
    std::vector<float>& block = storage_[s];
    if (block.empty()) continue;
    // The rows, then their difference rows in the same order, then the coverage.
    const size_t half = (block.size() - width) / 2;
    float* coverage = block.data() + 2 * half;
    for (size_t row = 0; row < half; row += width) {
      float* out = block.data() + row;
      float* difference = block.data() + half + row;
      double& start = starts_[s][row / width];
      double sum = start;
      start = 0.0;
      float covering = 0.0f;
      for (size_t i = 0; i < width; ++i) {
        covering += coverage[i];
        sum = covering > 0.0f ? sum + difference[i] : 0.0;
        difference[i] = 0.0f;
        out[i] = static_cast<float>(out[i] + sum);
      }
    }
    std::fill(coverage, coverage + width, 0.0f);
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
