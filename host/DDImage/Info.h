// What a validated image operator produces: its box, channels and formats.
#pragma once

#include "DDImage/Box.h"
#include "DDImage/ChannelSet.h"
#include "DDImage/Format.h"

namespace DD {
namespace Image {

class IopInfo : public Box {
 public:
  const Box& box() const { return *this; }
  void setBox(const Box& b) { Box::set(b); }
  const ChannelSet& channels() const { return channels_; }
  void channels(const ChannelSet& c) { channels_ = c; }
  const Format& format() const { return format_; }
  void format(const Format& f) { format_ = f; }
  const Format& full_size_format() const { return fullSizeFormat_; }
  void full_size_format(const Format& f) { fullSizeFormat_ = f; }

  // Grows or shrinks the box by the given edge offsets.
  void clipmove(int dx, int dy, int dr, int dt) { move(dx, dy, dr, dt); }

 private:
  ChannelSet channels_;
  Format format_;
  Format fullSizeFormat_;
};

}  // namespace Image
}  // namespace DD
