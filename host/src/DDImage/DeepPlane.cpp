#include "DDImage/DeepPlane.h"

#include <algorithm>
#include <numeric>

#include "pixelCount.h"

namespace DD {
namespace Image {

// Sample storage of a plane: pixel i's samples run from offsets[i] to offsets[i + 1].
struct DeepPlaneData {
  std::vector<size_t> offsets{0};
  std::vector<float> data;
};

namespace {

const float kZero = 0.0f;

}  // namespace

ChannelMap::ChannelMap() { columns_.fill(-1); }

ChannelMap::ChannelMap(const ChannelSet& channels) : channels_(channels) {
  columns_.fill(-1);
  int c = 0;
  for (Channel z : channels_) columns_[z] = static_cast<int16_t>(c++);
  size_ = size_t(c);
}

DeepPixel::DeepPixel(const ChannelMap& channels, const float* pixels, size_t dataCount, Ordering ordering)
    : channels_(channels),
      data_(pixels),
      dataCount_(dataCount),
      chanCount_(channels.size()),
      sampleCount_(chanCount_ ? dataCount / chanCount_ : 0),
      ordering_(ordering) {}

const float& DeepPixel::getUnorderedSample(size_t sampNo, Channel channel) const {
  const int c = channels_.chanNo(channel);
  return c < 0 ? kZero : data_[sampNo * chanCount_ + size_t(c)];
}

// Ordered index 0 is the farthest sample.
const float& DeepPixel::getOrderedSample(size_t depthIdx, Channel channel) const {
  switch (ordering_) {
    case eZDescending:
      return getUnorderedSample(depthIdx, channel);
    case eZAscending:
      return getUnorderedSample(sampleCount_ - 1 - depthIdx, channel);
    default:
      makeSampleOrder();
      return getUnorderedSample(sampleOrder_[depthIdx], channel);
  }
}

void DeepPixel::makeSampleOrder() const {
  if (doneSampleOrder_) return;
  sampleOrder_.resize(sampleCount_);
  std::iota(sampleOrder_.begin(), sampleOrder_.end(), size_t(0));
  std::stable_sort(sampleOrder_.begin(), sampleOrder_.end(), [this](size_t a, size_t b) {
    return getUnorderedSample(a, Chan_DeepFront) > getUnorderedSample(b, Chan_DeepFront);
  });
  doneSampleOrder_ = true;
}

DeepPlane::DeepPlane() : _sharedData(std::make_shared<DeepPlaneData>()) {}

DeepPlane::DeepPlane(ChannelSet channels, Box box, DeepPixel::Ordering)
    : _channels(channels), _box(box), _sharedData(std::make_shared<DeepPlaneData>()) {
  _sharedData->offsets.reserve(standin::pixelCount(box) + 1);
}

DeepPlane::DeepPlane(const DeepPlane&) = default;

void DeepPlane::operator=(const DeepPlane& other) {
  _channels = other._channels;
  _box.set(other._box);
  _ordering = other._ordering;
  _sharedData = other._sharedData;
}

DeepPlane::~DeepPlane() = default;

DeepPixel DeepPlane::getPixel(int y, int x) const {
  const size_t i = size_t(y - _box.y()) * size_t(_box.w()) + size_t(x - _box.x());
  const size_t begin = _sharedData->offsets[i];
  const size_t end = _sharedData->offsets[i + 1];
  const size_t stride = _channels.size();
  return DeepPixel(_channels, _sharedData->data.data() + begin * stride, (end - begin) * stride, _ordering);
}

size_t DeepPlane::getSampleCount(int y, int x) const {
  const size_t i = size_t(y - _box.y()) * size_t(_box.w()) + size_t(x - _box.x());
  return _sharedData->offsets[i + 1] - _sharedData->offsets[i];
}

DeepPixel DeepOutPixel::getPixel(const ChannelMap& channels, DeepPixel::Ordering ordering) const {
  return DeepPixel(channels, data_.data(), data_.size(), ordering);
}

DeepOutputPlane::DeepOutputPlane() = default;

DeepOutputPlane::DeepOutputPlane(ChannelSet channels, Box box, DeepPixel::Ordering ordering)
    : DeepPlane(channels, box, ordering) {}

void DeepOutputPlane::addHole() { _sharedData->offsets.push_back(_sharedData->offsets.back()); }

// Samples arrive farthest first, as planes store them.
void DeepOutputPlane::addPixel(const DeepOutPixel& f) {
  const size_t stride = _channels.size();
  _sharedData->data.insert(_sharedData->data.end(), f.data(), f.data() + f.size());
  _sharedData->offsets.push_back(_sharedData->offsets.back() + (stride ? f.size() / stride : 0));
}

void DeepOutputPlane::addPixel(const DeepPixel& f) {
  const size_t stride = _channels.size();
  for (size_t i = 0; i < f.getSampleCount(); ++i)
    for (Channel z : static_cast<const ChannelSet&>(_channels))
      _sharedData->data.push_back(f.getOrderedSample(i, z));
  _sharedData->offsets.push_back(_sharedData->offsets.back() + (stride ? f.getSampleCount() : 0));
}

}  // namespace Image
}  // namespace DD
