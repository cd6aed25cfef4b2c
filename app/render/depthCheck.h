// The input must carry the node's depth channel for every output but the filter-shape preview.
#pragma once

#include <string>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Checks `channels` (the input file's) for the channel the node's depthChannel knob names.
// `fileChannels` are the file's channel names, listed in the message.
Status checkDepthChannel(const DD::Image::Op& node, const DD::Image::ChannelSet& channels,
                         const std::vector<std::string>& fileChannels, const std::string& path);
