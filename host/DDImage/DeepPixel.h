// A read-only view of one pixel's deep samples. Ordered access goes by depth: index 0 is the
// farthest sample, index count-1 the nearest; unordered access gives the samples as stored.
#pragma once

#include <cstddef>
#include <vector>

#include "DDImage/ChannelMap.h"
#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

class DDImage_API DeepPixel {
  friend class DeepPlane;

 public:
  // How the samples are stored: eZAscending nearest first, eZDescending farthest first.
  enum Ordering { eUnordered, eZAscending, eZDescending };

  DeepPixel(const DD::Image::ChannelMap& channels, const float* pixels, size_t dataCount, Ordering ordering);
  const ChannelMap& channels() const { return channels_; }
  size_t getSampleCount() const { return sampleCount_; }
  const float* data() const { return data_; }
  size_t getDataCount() const { return dataCount_; }
  const float* getUnorderedSample(size_t sampNo) const { return data_ + sampNo * chanCount_; }
  // An absent channel reads as 0.
  const float& getUnorderedSample(size_t sampNo, DD::Image::Channel channel) const;
  const float& getOrderedSample(size_t depthIdx, DD::Image::Channel channel) const;

 protected:
  void makeSampleOrder() const;
  const DD::Image::ChannelMap& channels_;
  const float* data_;
  size_t dataCount_;
  size_t chanCount_;
  size_t sampleCount_;
  Ordering ordering_;
  mutable std::vector<size_t> sampleOrder_;
  mutable bool doneSampleOrder_ = false;
};

}  // namespace Image
}  // namespace DD
