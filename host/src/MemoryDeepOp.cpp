#include "DDImage/MemoryDeepOp.h"

#include <algorithm>
#include <numeric>

namespace DD {
namespace Image {

MemoryDeepOp::MemoryDeepOp(const Format& format, const Box& box, const ChannelSet& channels)
    : DeepOp(nullptr), map_(channels) {
  deepInfo_ = DeepInfo(format, box, channels);
  pixels_.resize(box.empty() ? 0 : size_t(box.w()) * size_t(box.h()));
}

size_t MemoryDeepOp::index(int x, int y) const {
  const Box& b = deepInfo_.box();
  return size_t(y - b.y()) * size_t(b.w()) + size_t(x - b.x());
}

void MemoryDeepOp::setPixel(int x, int y, const float* samples, size_t count) {
  const Box& b = deepInfo_.box();
  if (x < b.x() || x >= b.r() || y < b.y() || y >= b.t()) return;
  const int stride = map_.size();
  const int front = map_.column(Chan_DeepFront);
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
  const int stride = map_.size();
  return stride ? pixels_[index(x, y)].size() / stride : 0;
}

bool MemoryDeepOp::deepEngine(const Box& box, const ChannelSet& channels, DeepPlane& plane) {
  if (aborted()) return false;
  const Box& b = deepInfo_.box();
  Box clipped = box;
  clipped.intersect(b);
  if (clipped.empty()) clipped = Box(box.x(), box.y(), box.x(), box.y());
  ChannelSet wanted = channels;
  wanted &= map_.channels();
  plane = DeepPlane(clipped, wanted);
  const ChannelMap& out = plane.channelMap();
  const int stride = map_.size();
  std::vector<float> buffer;
  for (int y = clipped.y(); y < clipped.t(); ++y)
    for (int x = clipped.x(); x < clipped.r(); ++x) {
      const std::vector<float>& src = pixels_[index(x, y)];
      const size_t n = stride ? src.size() / stride : 0;
      buffer.resize(n * out.size());
      size_t k = 0;
      for (size_t i = 0; i < n; ++i)
        for (Channel z : wanted) buffer[k++] = src[i * stride + map_.column(z)];
      plane.addPixel(buffer.data(), n);
    }
  return true;
}

}  // namespace Image
}  // namespace DD
