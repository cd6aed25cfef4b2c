// A deep image held in memory, as a host's deep reader supplies it.
#pragma once

#include <vector>

#include "DDImage/DeepOp.h"

namespace standin {

class MemoryDeepOp : public DD::Image::DeepOnlyOp {
 public:
  // `channels` is the layout of every sample given to setPixel.
  MemoryDeepOp(const DD::Image::Format& format, const DD::Image::Box& box,
               const DD::Image::ChannelSet& channels);
  const char* Class() const override { return "MemoryDeep"; }
  const char* node_help() const override { return "A deep image held in memory."; }
  const DD::Image::ChannelMap& channelMap() const { return map_; }
  // Sets the samples of pixel (x, y): `count` samples in the channel map's layout, any order.
  void setPixel(int x, int y, const float* samples, size_t count);
  size_t sampleCount(int x, int y) const;

 protected:
  bool doDeepEngine(DD::Image::Box box, const DD::Image::ChannelSet& channels,
                    DD::Image::DeepOutputPlane& plane) override;
  void getDeepRequests(DD::Image::Box, const DD::Image::ChannelSet&, int,
                       std::vector<DD::Image::RequestData>&) override {}
  void _validate(bool) override {}

 private:
  size_t index(int x, int y) const;
  DD::Image::ChannelMap map_;
  std::vector<std::vector<float>> pixels_;
};

}  // namespace standin
