// The "Filter Shape" row: the hero kernel one pixel for one pixel, its pixel (0, 0) on the
// image's pixel (0, 0); zero elsewhere and in channels without a hero plane.
#pragma once

#include "DDImage/Row.h"
#include "ktChannelFloatBuffer.h"

void kernelVisualization(const ktChannelFloatBuffer& hero, const DD::Image::ChannelSet& activeChannels, int y, int x,
                         int r, const DD::Image::ChannelSet& channels, DD::Image::Row& row);
