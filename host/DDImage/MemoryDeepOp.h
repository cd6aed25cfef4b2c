// A deep image held in memory, as a host's deep reader supplies it.
#pragma once

#include <vector>

#include "DDImage/DeepOp.h"

namespace DD {
namespace Image {

class MemoryDeepOp : public DeepOp {
 public:
  // `channels` is the layout of every sample given to setPixel.
  MemoryDeepOp(const Format& format, const Box& box, const ChannelSet& channels);
  const char* Class() const override { return "MemoryDeep"; }

  const ChannelMap& channelMap() const { return map_; }
  // Sets the samples of pixel (x, y): `count` samples in the channel map's layout, any order.
  void setPixel(int x, int y, const float* samples, size_t count);
  size_t sampleCount(int x, int y) const;

  bool deepEngine(const Box& box, const ChannelSet& channels, DeepPlane& plane) override;

 protected:
  void _validate(bool) override {}

 private:
  size_t index(int x, int y) const;

  ChannelMap map_;
  std::vector<std::vector<float>> pixels_;
};

}  // namespace Image
}  // namespace DD
