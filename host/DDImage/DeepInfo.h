// Box, formats and channels of a DeepOp. format() returns a pointer here.
#pragma once

#include "DDImage/Box.h"
#include "DDImage/ChannelSet.h"
#include "DDImage/Format.h"
#include "DDImage/Info2D.h"

namespace DD {
namespace Image {

class DDImage_API DeepInfo : public Info2D {
 public:
  DeepInfo() = default;
  const Format* format() const { return &Info2D::format(); }
  const Format* fullSizeFormat() const { return &Info2D::full_size_format(); }
  ChannelSet channels() const { return channels_; }

 private:
  friend class OpHost;
  DD::Image::ChannelSet channels_;
};

}  // namespace Image
}  // namespace DD
