#include "files/channelNames.h"

using namespace DD::Image;

Channel hostChannel(const std::string& fileName) { return getChannel(fileName.c_str()); }

std::string fileChannelName(const ChannelNames& names, Channel z) {
  const auto it = names.find(z);
  if (it != names.end()) return it->second;
  switch (z) {
    case Chan_Red:
      return "R";
    case Chan_Green:
      return "G";
    case Chan_Blue:
      return "B";
    case Chan_Alpha:
      return "A";
    case Chan_Z:
      return "Z";
    default:
      return getName(z) ? getName(z) : "";
  }
}
