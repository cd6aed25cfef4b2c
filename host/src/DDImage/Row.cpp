#include "DDImage/Row.h"

#include <algorithm>

#include "DDImage/Iop.h"

namespace DD {
namespace Image {

Row::Row(int x, int r) : x_(x), r_(std::max(x, r)) { slot_.fill(-1); }

Row::~Row() = default;

void Row::get(Iop& iop, int y, int x, int r, const ChannelSet& channels) {
  iop.get(y, x, r, channels, *this);
}

const float* Row::operator[](Channel z) const {
  if (z > 0 && int(z) <= Chan_Last && slot_[z] >= 0) return planes_[slot_[z]].data() - x_;
  if (zeros_.size() != size_t(r_ - x_)) zeros_.assign(r_ - x_, 0.0f);
  return zeros_.data() - x_;
}

float* Row::writable(Channel z) {
  if (z <= 0 || int(z) > Chan_Last) {
    // Writes to no channel go to a scratch plane that nobody reads.
    if (zeros_.size() != size_t(r_ - x_)) zeros_.assign(r_ - x_, 0.0f);
    return zeros_.data() - x_;
  }
  if (slot_[z] < 0) {
    slot_[z] = static_cast<int16_t>(planes_.size());
    planes_.emplace_back(r_ - x_, 0.0f);
  }
  return planes_[slot_[z]].data() - x_;
}

void Row::copy(const Row& src, const ChannelSet& channels, int x, int r) {
  x = std::max(x, x_);
  r = std::min(r, r_);
  if (r <= x) return;
  for (Channel z : channels) {
    const float* s = src[z];
    float* d = writable(z);
    std::copy(s + x, s + r, d + x);
  }
}

void Row::erase(const ChannelSet& channels) {
  for (Channel z : channels) erase(z);
}

void Row::erase(Channel z) {
  float* d = writable(z);
  std::fill(d + x_, d + r_, 0.0f);
}

}  // namespace Image
}  // namespace DD
