// A deep image operator: deep requests and deep planes for a box and channel set.
#pragma once

#include "DDImage/DeepPlane.h"
#include "DDImage/Format.h"
#include "DDImage/Op.h"

namespace DD {
namespace Image {

class DeepInfo {
 public:
  DeepInfo() = default;
  DeepInfo(const Format& format, const Box& box, const ChannelSet& channels)
      : format_(format), box_(box), channels_(channels) {}
  const Format& format() const { return format_; }
  const Box& box() const { return box_; }
  const ChannelSet& channels() const { return channels_; }

 private:
  Format format_;
  Box box_;
  ChannelSet channels_;
};

class DeepOp : public Op {
 public:
  explicit DeepOp(Node* node) : Op(node) {}

  const DeepInfo& deepInfo() const { return deepInfo_; }
  virtual void deepRequest(const Box& box, const ChannelSet& channels, int count) {
    (void)box;
    (void)channels;
    (void)count;
  }
  // Fills `plane` with the samples of `box` for `channels`; false when the render was abandoned.
  virtual bool deepEngine(const Box& box, const ChannelSet& channels, DeepPlane& plane) = 0;

 protected:
  DeepInfo deepInfo_;
};


}  // namespace Image
}  // namespace DD
