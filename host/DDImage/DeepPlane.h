// The deep samples of a box for a channel set, stored pixel by pixel, farthest sample first.
#pragma once

#include <vector>

#include "DDImage/Box.h"
#include "DDImage/DeepPixel.h"

namespace DD {
namespace Image {

class DeepPlane {
 public:
  DeepPlane() = default;
  DeepPlane(const Box& box, const ChannelSet& channels);

  const Box& box() const { return box_; }
  const ChannelSet& channels() const { return map_.channels(); }
  const ChannelMap& channelMap() const { return map_; }
  // The pixel at column x, row y, which must lie inside the box.
  DeepPixel getPixel(int y, int x) const;

  // Filling: one call per pixel, row by row from the box's bottom-left corner;
  // `samples` holds `count` samples of channelMap().size() floats each, farthest first.
  void addPixel(const float* samples, size_t count);
  bool complete() const { return offsets_.size() == pixelCount() + 1; }

 private:
  size_t pixelCount() const { return box_.empty() ? 0 : size_t(box_.w()) * size_t(box_.h()); }

  Box box_;
  ChannelMap map_;
  std::vector<size_t> offsets_{0};
  std::vector<float> data_;
};

}  // namespace Image
}  // namespace DD
