// The "Filter Shape" row: the hero kernel one pixel for one pixel in the square at the image's
// pixel (0, 0), the way up renders lay it (kernel row 0 on the square's top row, so image row y
// shows kernel row N - 1 - y); zero elsewhere and in channels without a hero plane.
#pragma once

#include "DDImage/Row.h"
#include "ktChannelFloatBuffer.h"
#include "ktRowRegion.h"

namespace orvel {

void kernelVisualization(const ktChannelFloatBuffer& hero, const DD::Image::ChannelSet& activeChannels,
                         RowRegion region, const DD::Image::ChannelSet& channels, DD::Image::Row& row);

}  // namespace orvel
