// What Iop::_validate() fills in: bounding box, formats, frame range and channels.
#pragma once

#include "DDImage/Box.h"
#include "DDImage/ChannelSet.h"
#include "DDImage/Format.h"
#include "DDImage/Info2D.h"

namespace DD {
namespace Image {

class DDImage_API IopInfo : public Info2D {
 public:
  ChannelSet& channels() { return channels_; }
  ChannelMask channels() const { return channels_; }
  void channels(ChannelSetInit v) { channels_ = v; }
  void channels(ChannelMask v) { channels_ = v; }
  void channels(Channel v) { channels_ = v; }
  void turn_on(ChannelMask m) { channels_ += m; }
  void turn_on(Channel c) { channels_ += c; }
  void turn_off(ChannelMask m) { channels_ -= m; }
  void turn_off(Channel c) { channels_ -= c; }
  // Moves the box edges by the given offsets (negative dx, dy and positive dr, dt grow it).
  void clipmove(int dx, int dy, int dr, int dt) { pad(dx, dy, dr, dt); }

 private:
  ChannelSet channels_;
};

}  // namespace Image
}  // namespace DD
