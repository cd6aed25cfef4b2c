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

}  // namespace

void ktKernelRows::clear() {
  shared_ = false;
  kernels_.clear();
  spans_.clear();
}

void ktKernelRows::describe(const ktRenderContext& ctx, const ChannelSet& channels) {
  clear();
  const std::vector<ktChannelFloatBuffer>& bank = *ctx.kernels;
  shared_ = !channels.empty() && channels.size() <= unsigned(kMaxChannels) && ctx.settings->kChrAbb == 0.0f &&
            kernelsShared(bank, channels);
  if (!shared_) return;
  const Channel z = channels.first();
  size_t total = 0;
  for (const ktChannelFloatBuffer& k : bank) total += size_t(std::max(0, k.height));
  spans_.resize(total);
  kernels_.resize(bank.size());
  size_t next = 0;
  for (size_t i = 0; i < bank.size(); ++i) {
    const ktChannelFloatBuffer& k = bank[i];
    kernels_[i] = {k.plane(z).data(), k.width, k.halfWidth, spans_.data() + next};
    for (int ky = 0; ky < k.height; ++ky) {
      const float* row = k.plane(z).data() + size_t(ky) * k.width;
      int begin = 0, end = k.width;
      while (begin < end && row[begin] == 0.0f) ++begin;
      while (end > begin && row[end - 1] == 0.0f) --end;
      spans_[next++] = {static_cast<uint16_t>(begin), static_cast<uint16_t>(end)};
    }
  }
}
