// The deep samples of a box (read-only, shares its data on copy), stored farthest sample
// first; DeepOutPixel, the growable output pixel, and DeepOutputPlane, which is filled.
#pragma once

#include <memory>
#include <vector>

#include "DDImage/Box.h"
#include "DDImage/ChannelSet.h"
#include "DDImage/DeepPixel.h"

namespace DD {
namespace Image {

struct DeepPlaneData;

class DDImage_API DeepPlane {
 protected:
  DD::Image::ChannelMap _channels;
  DD::Image::Box _box;
  DeepPixel::Ordering _ordering = DeepPixel::eZDescending;
  std::shared_ptr<DeepPlaneData> _sharedData;
  DeepPlane(DD::Image::ChannelSet channels, DD::Image::Box box,
            DeepPixel::Ordering ordering = DeepPixel::eUnordered);

 public:
  DeepPlane();
  DeepPlane(const DeepPlane&);
  void operator=(const DeepPlane& other);
  ~DeepPlane();

  const ChannelMap& channels() const { return _channels; }
  const DD::Image::Box& box() const { return _box; }
  DeepPixel::Ordering ordering() const { return _ordering; }
  // The pixel at column x, row y, which must lie inside the box.
  DeepPixel getPixel(int y, int x) const;
  size_t getSampleCount(int y, int x) const;
};

class DDImage_API DeepOutPixel {
 public:
  DeepOutPixel() = default;
  void clear() { data_.clear(); }
  void reserve(size_t m) { data_.reserve(m); }
  void push_back(float f) { data_.push_back(f); }
  const float* data() const { return data_.data(); }
  size_t size() const { return data_.size(); }
  // Reads the pixel back as samples of `channels`, stored as `ordering` says.
  DeepPixel getPixel(const ChannelMap& channels, DeepPixel::Ordering ordering) const;

 private:
  std::vector<float> data_;
};

// Filled pixel by pixel, row by row from the box's bottom-left corner; each pixel's samples
// are stored farthest first.
class DDImage_API DeepOutputPlane : public DeepPlane {
 public:
  DeepOutputPlane();
  DeepOutputPlane(DD::Image::ChannelSet channels, DD::Image::Box box,
                  DeepPixel::Ordering ordering = DeepPixel::eUnordered);
  void addHole();
  void addPixel(const DeepOutPixel& f);
  void addPixel(const DeepPixel& f);
};

}  // namespace Image
}  // namespace DD
