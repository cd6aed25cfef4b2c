#include "ktKernelRows.h"

#include <algorithm>

using namespace DD::Image;

namespace {

// Whether every entry of the bank holds one and the same plane in all of `channels`.
bool kernelsShared(const std::vector<ktChannelFloatBuffer>& bank, const ChannelSet& channels) {
  const Channel first = channels.first();
  for (const ktChannelFloatBuffer& k : bank)
    for (Channel z : channels)
      if (size_t(z) >= k.planes.size() || k.plane(z).size() < k.count ||
          (&k.plane(z) != &k.plane(first) && k.plane(z) != k.plane(first)))
        return false;
  return true;
}

// The longest run of equal non-zero taps in row[begin .. end-1], when it pays.
void findRun(const float* row, ktKernelRows::Span& span) {
  span.runBegin = span.runEnd = span.begin;
  span.run = 0.0f;
  for (int i = span.begin; i < span.end;) {
    int j = i + 1;
    while (j < span.end && row[j] == row[i]) ++j;
    if (j - i > span.runEnd - span.runBegin && row[i] != 0.0f) {
      span.runBegin = static_cast<uint16_t>(i);
      span.runEnd = static_cast<uint16_t>(j);
      span.run = row[i];
    }
    i = j;
  }
  if (span.runEnd - span.runBegin < ktKernelRows::kMinRun) span.runEnd = span.runBegin;
}

}  // namespace

void ktKernelRows::clear() {
  shared_ = false;
  kernels_.clear();
  spans_.clear();
  padded_.clear();
}

void ktKernelRows::describe(const ktRenderContext& ctx, const ChannelSet& channels) {
  clear();
  const std::vector<ktChannelFloatBuffer>& bank = *ctx.kernels;
  shared_ = !channels.empty() && channels.size() <= unsigned(kMaxChannels) && ctx.settings->kChrAbb == 0.0f &&
            kernelsShared(bank, channels);
  if (!shared_) return;
  const Channel z = channels.first();
  size_t rows = 0, paddedFloats = kRowGap;
  for (const ktChannelFloatBuffer& k : bank) {
    rows += size_t(std::max(0, k.height));
    if (k.width <= kPaddedWidth) paddedFloats += size_t(std::max(0, k.height)) * size_t(k.width + kRowGap);
  }
  spans_.resize(rows);
  padded_.assign(paddedFloats, 0.0f);
  kernels_.resize(bank.size());
  size_t nextSpan = 0, nextPadded = kRowGap;
  for (size_t i = 0; i < bank.size(); ++i) {
    const ktChannelFloatBuffer& k = bank[i];
    const float* plane = k.plane(z).data();
    const bool pad = k.width <= kPaddedWidth;
    kernels_[i] = {plane, k.width, k.halfWidth, spans_.data() + nextSpan, pad ? padded_.data() + nextPadded : nullptr,
                   k.width + kRowGap};
    for (int ky = 0; ky < k.height; ++ky) {
      const float* row = plane + size_t(ky) * k.width;
      int begin = 0, end = k.width;
      while (begin < end && row[begin] == 0.0f) ++begin;
      while (end > begin && row[end - 1] == 0.0f) --end;
      Span& span = spans_[nextSpan++];
      span.begin = static_cast<uint16_t>(begin);
      span.end = static_cast<uint16_t>(end);
      findRun(row, span);
      if (pad) {
        std::copy(row, row + k.width, padded_.begin() + std::ptrdiff_t(nextPadded));
        nextPadded += size_t(k.width + kRowGap);
      }
    }
  }
}
