// Deep samples: a channel layout, a read-only view of one pixel's samples, and an output pixel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

// The layout of one sample: the channels of a set in ascending id, one float each.
class ChannelMap {
 public:
  ChannelMap() { column_.fill(-1); }
  explicit ChannelMap(const ChannelSet& channels) : channels_(channels) {
    column_.fill(-1);
    int c = 0;
    for (Channel z : channels_) column_[z] = static_cast<int16_t>(c++);
    size_ = c;
  }
  const ChannelSet& channels() const { return channels_; }
  int size() const { return size_; }
  // Column of channel z within a sample, or -1 when the layout lacks it.
  int column(Channel z) const { return z > 0 && z < Chan_Last ? column_[z] : -1; }

 private:
  ChannelSet channels_;
  std::array<int16_t, Chan_Last> column_;
  int size_ = 0;
};

// A growable list of floats, one per channel of a layout per sample, appended in order.
class DeepOutPixel {
 public:
  void push_back(float v) { data_.push_back(v); }
  void clear() { data_.clear(); }
  size_t size() const { return data_.size(); }
  const float* data() const { return data_.data(); }
  void reserve(size_t n) { data_.reserve(n); }

 private:
  std::vector<float> data_;
};

// One pixel's samples. Ordered access sorts by front depth: index 0 is the farthest sample,
// index count-1 the nearest. Unordered access gives the samples as stored.
class DeepPixel {
 public:
  DeepPixel(const ChannelMap& map, const float* data, size_t samples, bool storedFarthestFirst = true)
      : map_(&map), data_(data), samples_(samples), farthestFirst_(storedFarthestFirst) {}
  // Reads back an output pixel in the order its samples were appended.
  DeepPixel(const ChannelMap& map, const DeepOutPixel& out)
      : map_(&map),
        data_(out.data()),
        samples_(map.size() > 0 ? out.size() / map.size() : 0),
        farthestFirst_(false) {}

  size_t getSampleCount() const { return samples_; }
  const ChannelSet& channels() const { return map_->channels(); }
  const ChannelMap& channelMap() const { return *map_; }

  float getUnorderedSample(size_t i, Channel z) const {
    const int c = map_->column(z);
    return c < 0 ? 0.0f : data_[i * map_->size() + c];
  }
  float getOrderedSample(size_t i, Channel z) const {
    return getUnorderedSample(farthestFirst_ ? i : samples_ - 1 - i, z);
  }

 private:
  const ChannelMap* map_;
  const float* data_;
  size_t samples_;
  bool farthestFirst_;
};

}  // namespace Image
}  // namespace DD
