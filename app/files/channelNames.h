// Names of channels in files: each host channel remembers the name its file gave it, so that
// an output keeps the input's names.
#pragma once

#include <map>
#include <string>

#include "DDImage/Channel.h"

using ChannelNames = std::map<DD::Image::Channel, std::string>;

// The host channel of a file channel name: R G B A (or rgba.red ...) are 1 to 4, Z or depth.Z
// is 5; any other name gets an id of its own and keeps its name. Chan_Black when none is left.
DD::Image::Channel hostChannel(const std::string& fileName);

// The file name of host channel z: the one in `names`, else R, G, B, A, Z, else the host's name.
std::string fileChannelName(const ChannelNames& names, DD::Image::Channel z);
