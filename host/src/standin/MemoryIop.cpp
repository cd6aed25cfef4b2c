#include "standin/MemoryIop.h"

#include <algorithm>

#include "pixelCount.h"

using namespace DD::Image;

namespace standin {
MemoryIop::MemoryIop(const Format& format, const Box& box, const ChannelSet& channels) : Iop(nullptr) {
  info_.setBox(box);
  info_.channels(channels);
  info_.format(format);
  info_.full_size_format(format);
  planes_.resize(Chan_Last + 1);
  for (Channel z : channels) planes_[z].assign(pixelCount(box), 0.0f);
}

float* MemoryIop::plane(Channel z) {
  return z > 0 && int(z) <= Chan_Last && !planes_[z].empty() ? planes_[z].data() : nullptr;
}

const float* MemoryIop::plane(Channel z) const {
  return z > 0 && int(z) <= Chan_Last && !planes_[z].empty() ? planes_[z].data() : nullptr;
}

void MemoryIop::set(int x, int y, Channel z, float v) {
  float* p = plane(z);
  const Box& b = info_.box();
  if (p && x >= b.x() && x < b.r() && y >= b.y() && y < b.t()) p[size_t(y - b.y()) * b.w() + (x - b.x())] = v;
}

void MemoryIop::fill(Channel z, float v) {
  if (float* p = plane(z)) std::fill(p, p + planes_[z].size(), v);
}

void MemoryIop::engine(int y, int x, int r, ChannelMask channels, Row& row) {
  const Box& b = info_.box();
  for (Channel z : channels) {
    float* out = row.writable(z);
    const float* p = plane(z);
    if (!p) {
      std::fill(out + x, out + r, 0.0f);
      continue;
    }
    const float* src = p + size_t(y - b.y()) * b.w() - b.x();
    std::copy(src + x, src + r, out + x);
  }
}

BlackIop::BlackIop(const Format& format) : Iop(nullptr) {
  info_.setBox(format);
  info_.channels(Mask_RGBA);
  info_.format(format);
  info_.full_size_format(format);
}

void BlackIop::engine(int, int x, int r, ChannelMask channels, Row& row) {
  for (Channel z : channels) {
    float* out = row.writable(z);
    std::fill(out + x, out + r, 0.0f);
  }
}

}  // namespace standin
