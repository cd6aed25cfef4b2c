#include "standin/MemoryDeepOp.h"

#include <algorithm>
#include <numeric>

#include "pixelCount.h"
#include "standin/OpHost.h"

using namespace DD::Image;

namespace standin {

MemoryDeepOp::MemoryDeepOp(const Format& format, const Box& box, const ChannelSet& channels)
    : DeepOnlyOp(nullptr), map_(channels) {
  _deepInfo.setBox(box);
  _deepInfo.Info2D::format(format);
  _deepInfo.full_size_format(format);
  OpHost::setDeepChannels(_deepInfo, channels);
  pixels_.resize(pixelCount(box));
}

size_t MemoryDeepOp::index(int x, int y) const {
  const Box& b = _deepInfo.box();
  return size_t(y - b.y()) * size_t(b.w()) + size_t(x - b.x());
}

void MemoryDeepOp::setPixel(int x, int y, const float* samples, size_t count) {
  const Box& b = _deepInfo.box();
  if (x < b.x() || x >= b.r() || y < b.y() || y >= b.t()) return;
  const size_t stride = map_.size();
  const int front = map_.chanNo(Chan_DeepFront);
  // Store farthest first, so that planes serve ordered access directly.
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t(0));
  if (front >= 0)
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t c) {
      return samples[a * stride + front] > samples[c * stride + front];
    });
  std::vector<float>& dst = pixels_[index(x, y)];
  dst.clear();
  for (size_t i : order) dst.insert(dst.end(), samples + i * stride, samples + (i + 1) * stride);
}

size_t MemoryDeepOp::sampleCount(int x, int y) const {
  const size_t stride = map_.size();
  return stride ? pixels_[index(x, y)].size() / stride : 0;
}

// The plane covers the part of the box inside the image (no pixels when they do not meet).
bool MemoryDeepOp::doDeepEngine(Box box, const ChannelSet& channels, DeepOutputPlane& plane) {
  Box clipped = box;
  clipped.intersect(_deepInfo.box());
  if (pixelCount(clipped) == 0) clipped.set(box.x(), box.y(), box.x(), box.y());
  const ChannelSet wanted = channels.intersection(static_cast<const ChannelSet&>(map_));
  plane = DeepOutputPlane(wanted, clipped);
  const size_t stride = map_.size();
  // The columns of the stored samples to copy; all of them, in order, copy whole samples.
  std::vector<size_t> columns;
  for (Channel z : wanted) columns.push_back(size_t(map_.chanNo(z)));
  const bool whole = columns.size() == stride;
  DeepOutPixel pixel;
  for (int y = clipped.y(); y < clipped.t(); ++y)
    for (int x = clipped.x(); x < clipped.r(); ++x) {
      const std::vector<float>& src = pixels_[index(x, y)];
      const size_t n = stride ? src.size() / stride : 0;
      pixel.clear();
      pixel.reserve(n * columns.size());
      for (size_t i = 0; i < n; ++i) {
        const float* sample = src.data() + i * stride;
        if (whole)
          for (size_t c = 0; c < stride; ++c) pixel.push_back(sample[c]);
        else
          for (size_t c : columns) pixel.push_back(sample[c]);
      }
      plane.addPixel(pixel);
    }
  return true;
}

}  // namespace standin
