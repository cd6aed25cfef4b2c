// A ChannelSet with a channel -> column index, as deep samples are laid out (ascending ids).
#pragma once

#include <array>
#include <cstdint>

#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

class DDImage_API ChannelMap {
 public:
  ChannelMap();
  explicit ChannelMap(const DD::Image::ChannelSet& channels);
  operator const ChannelSet&() const { return channels_; }
  bool contains(DD::Image::Channel z) const { return chanNo(z) >= 0; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool containsAll(const DD::Image::ChannelSet& want) const { return channels_.contains(want); }
  // Column of channel z within one sample (Chan_Green in Mask_RGB is 1); -1 when absent.
  int chanNo(Channel z) const { return z > 0 && int(z) <= Chan_Last ? columns_[z] : -1; }
  bool operator==(const ChannelMap& chans) const { return channels_ == chans.channels_; }
  bool operator==(const ChannelSet& chans) const { return channels_ == chans; }

 private:
  ChannelSet channels_;
  std::array<int16_t, Chan_Last + 1> columns_;
  size_t size_ = 0;
};

}  // namespace Image
}  // namespace DD
