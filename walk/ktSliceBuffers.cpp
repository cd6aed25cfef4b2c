#include "ktSliceBuffers.h"

#include <algorithm>

void ktSliceBuffers::reset(int slices, const DD::Image::ChannelSet& channels, int x, int r, Options options) {
  x_ = x;
  r_ = std::max(x, r);
  channelList_.clear();
  for (DD::Image::Channel z : channels) channelList_.push_back(z);
  channels_ = channelList_.size();
  options_ = options;
  const size_t n = static_cast<size_t>(std::max(1, slices));
  rows_.assign(n * kKinds * channels_, nullptr);
  runCoverage_.assign(options.differences ? n : 0, nullptr);
  runStarts_.assign(options.differences ? n : 0, nullptr);
  sums_.assign(options.doubleSums ? n * 2 * channels_ : 0, nullptr);
  blockOf_.assign(n, -1);
  made_ = 0;  // the blocks keep their storage for the slices this row makes
  coverage_.resize(static_cast<size_t>(r_ - x_));  // composite() clears what it uses
  if (!options.onFirstUse)
    for (size_t s = 0; s < n; ++s) prepare(s);
}

void ktSliceBuffers::prepare(size_t slice) {
  const size_t width = static_cast<size_t>(r_ - x_);
  if (width == 0 || channels_ == 0) return;  // nothing to address: every row stays null
  const bool differences = options_.differences;
  const size_t weightRowCount = options_.sharedWeights ? 1 : channels_;
  if (made_ == blocks_.size()) blocks_.emplace_back(), starts_.emplace_back(), sumBlocks_.emplace_back();
  if (options_.doubleSums) {
    std::vector<double>& sums = sumBlocks_[made_];
    sums.assign(2 * channels_ * width, 0.0);
    for (size_t k = 0; k < 2 * channels_; ++k) sums_[slice * 2 * channels_ + k] = sums.data() + k * width - x_;
  }
  blockOf_[slice] = int(made_);
  std::vector<float>& block = blocks_[made_++];
  const size_t rows = channels_ + weightRowCount;
  block.assign((differences ? 2 * rows + 1 : rows) * width, 0.0f);
  float* next = block.data();
  for (int set = 0; set < (differences ? 2 : 1); ++set) {
    for (size_t c = 0; c < channels_; ++c, next += width)
      rows_[row(slice, set ? kColourDifference : kColour, c)] = next - x_;
    for (size_t c = 0; c < channels_; ++c) {
      rows_[row(slice, set ? kWeightDifference : kWeight, c)] = next - x_;
      if (!options_.sharedWeights) next += width;
    }
    if (options_.sharedWeights) next += width;
  }
  if (differences) {
    runCoverage_[slice] = next - x_;
    std::vector<double>& starts = starts_[size_t(blockOf_[slice])];
    starts.assign(rows, 0.0);
    runStarts_[slice] = starts.data();
  }
}

void ktSliceBuffers::foldDifferences() {
  if (!options_.differences) return;
  const size_t width = static_cast<size_t>(r_ - x_);
  for (size_t b = 0; b < made_; ++b) {
    std::vector<float>& block = blocks_[b];
    // The rows, then their difference rows in the same order, then the coverage.
    const size_t half = (block.size() - width) / 2;
    float* coverage = block.data() + 2 * half;
    for (size_t row = 0; row < half; row += width) {
      float* out = block.data() + row;
      float* difference = block.data() + half + row;
      double& start = starts_[b][row / width];
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

void ktSliceBuffers::foldSums() {
  if (!options_.doubleSums) return;
  for (size_t slice = 0; slice < blockOf_.size(); ++slice)
    for (size_t c = 0; c < channels_; ++c)
      for (int kind = 0; kind < 2; ++kind) {
        double* sum = sums_[sumRow(slice, size_t(kind), c)];
        float* out = kind ? weight(slice, int(c)) : colour(slice, int(c));
        if (!sum || !out) continue;
        for (int i = x_; i < r_; ++i) out[i] = static_cast<float>(out[i] + sum[i]), sum[i] = 0.0;
      }
}

void ktSliceBuffers::composite(DD::Image::Row& row) {
  foldSums();
  foldDifferences();
  for (size_t c = 0; c < channels_; ++c) compositeChannel(c, row.writable(channelList_[c]));
}

void ktSliceBuffers::compositeChannel(size_t c, float* out) const {
  if (r_ <= x_) return;
  float* coverage = coverage_.data() - x_;
  std::fill(out + x_, out + r_, 0.0f);
  std::fill(coverage + x_, coverage + r_, 0.0f);

  // Nearest slice first: each adds its colour scaled so that the coverage never passes 1.
  for (size_t s = 0; s < blockOf_.size(); ++s) {
    const float* C = colour(s, int(c));
    const float* W = weight(s, int(c));
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

void ktSliceBuffers::meanColours(int alpha, std::vector<float>& out) const {
  const size_t width = size_t(std::max(0, r_ - x_)), slices = blockOf_.size();
  out.assign((2 + channels_) * slices * width, 0.0f);
  float* coverage = coverage_.data() - x_;
  std::fill(coverage + x_, coverage + r_, 0.0f);
  for (size_t s = 0; s < slices; ++s) {
    const float *A = colour(s, alpha), *W = weight(s, alpha);
    if (!A || !W) continue;
    std::copy(A + x_, A + r_, out.data() + s * width);
    float* share = out.data() + (slices + s) * width - x_;
    for (int i = x_; i < r_; ++i) {
      const float taken = std::min(W[i], 1.0f - coverage[i]);
      coverage[i] += taken;
      share[i] = W[i] > 0.0f ? taken / W[i] * A[i] : 0.0f;
    }
    for (size_t q = 0; q < channels_; ++q) {
      const float* C = colour(s, int(q));
      float* mean = out.data() + ((2 + q) * slices + s) * width - x_;
      for (int i = x_; i < r_; ++i) mean[i] = A[i] > 0.0f ? C[i] / A[i] : 0.0f;
    }
  }
  for (size_t s = 0; s < slices; ++s) {
    float* share = out.data() + (slices + s) * width - x_;
    for (int i = x_; i < r_; ++i) share[i] = coverage[i] > 0.0f ? share[i] / coverage[i] : 0.0f;
  }
}
