#include "DDImage/DeepPlane.h"

namespace DD {
namespace Image {

DeepPlane::DeepPlane(const Box& box, const ChannelSet& channels) : box_(box), map_(channels) {
  offsets_.reserve(pixelCount() + 1);
}

DeepPixel DeepPlane::getPixel(int y, int x) const {
  const size_t i = size_t(y - box_.y()) * size_t(box_.w()) + size_t(x - box_.x());
  const size_t begin = offsets_[i];
  const size_t end = offsets_[i + 1];
  const size_t stride = size_t(map_.size());
  return DeepPixel(map_, data_.data() + begin * stride, end - begin);
}

void DeepPlane::addPixel(const float* samples, size_t count) {
  const size_t stride = size_t(map_.size());
  data_.insert(data_.end(), samples, samples + count * stride);
  offsets_.push_back(offsets_.back() + count);
}

}  // namespace Image
}  // namespace DD
