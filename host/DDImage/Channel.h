// Channel numbers, channel-name lookups and the ChannelSetInit bit masks.
#pragma once

#include <iosfwd>

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

enum Channel {
  Chan_Black = 0,
  Chan_Red = 1,
  Chan_Green = 2,
  Chan_Blue = 3,
  Chan_Alpha = 4,
  Chan_Z = 5,
  Chan_U = 6,
  Chan_V = 7,
  Chan_Backward_U = 8,
  Chan_Backward_V = 9,
  Chan_Stereo_Disp_Left_X = 10,
  Chan_Stereo_Disp_Left_Y = 11,
  Chan_Stereo_Disp_Right_X = 12,
  Chan_Stereo_Disp_Right_Y = 13,
  Chan_Mask = 14,
  Chan_RotoPaint_Mask = 15,
  Chan_DeepFront = 16,
  Chan_DeepBack = 17,
  Chan_Mask_PlanarTrack = 18,
  Chan_Mask_SplineWarp = 19,
  Chan_Unused = 20,
};

// Finds or creates a channel by its full ("layer.chan") or short name; Chan_Black when the
// table is full or the name is empty.
DDImage_API Channel getChannel(const char* name, bool sort = true);
// Finds a channel without creating it; Chan_Black when unknown.
DDImage_API Channel findChannel(const char* name);
// Full "layer.chan" name, or null for an unknown channel.
DDImage_API const char* getName(Channel);

// Bit masks of the predefined channels; bit (c - 1) stands for channel c.
enum ChannelSetInit {
  Mask_None = 0,
  Mask_Red = 1 << (Chan_Red - 1),
  Mask_Green = 1 << (Chan_Green - 1),
  Mask_Blue = 1 << (Chan_Blue - 1),
  Mask_Alpha = 1 << (Chan_Alpha - 1),
  Mask_Z = 1 << (Chan_Z - 1),
  Mask_DeepBack = 1 << (Chan_DeepBack - 1),
  Mask_DeepFront = 1 << (Chan_DeepFront - 1),
  Mask_Deep = Mask_DeepBack | Mask_DeepFront,
  Mask_RGB = Mask_Red | Mask_Green | Mask_Blue,
  Mask_RGBA = Mask_RGB | Mask_Alpha,
  Mask_All = 0xFFFFFFFF,
};

inline ChannelSetInit operator|(ChannelSetInit a, ChannelSetInit b) {
  return ChannelSetInit(unsigned(a) | unsigned(b));
}
inline ChannelSetInit operator&(ChannelSetInit a, ChannelSetInit b) {
  return ChannelSetInit(unsigned(a) & unsigned(b));
}

}  // namespace Image
}  // namespace DD
