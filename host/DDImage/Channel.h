// Channel ids: the host's numbering, used as array indices throughout.
#pragma once

#include <string>

namespace DD {
namespace Image {

enum Channel : int {
  Chan_Black = 0,
  Chan_Red = 1,
  Chan_Green = 2,
  Chan_Blue = 3,
  Chan_Alpha = 4,
  Chan_Z = 5,
  Chan_DeepFront = 16,
  Chan_DeepBack = 17,
};

// One past the largest channel id.
constexpr int Chan_Last = 1024;

// The channel's full name ("rgba.red", "depth.Z", ...); "none" for 0.
std::string getName(Channel z);

// Looks a channel up by full or short name ("depth.Z" or "Z", "rgba.alpha" or "A").
// Unknown names get a new id when `create` is true, else Chan_Black.
Channel findChannel(const std::string& name, bool create = false);

}  // namespace Image
}  // namespace DD
