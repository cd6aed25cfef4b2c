// "Focal Distance Visualization" and "Focus Matte" rows: what the depth-to-blur mapping makes
// of every pixel (flat) or of every layer of a deep pixel, written into red, green and blue;
// other requested channels are copied from the input.
#pragma once

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"

void depthVisualization(const ktRenderContext& ctx, DD::Image::Iop& input, int y, int x, int r,
                        const DD::Image::ChannelSet& channels, DD::Image::Row& row);

// Deep layers are mixed front to back by alpha, the space behind them counting as infinitely far.
void deepDepthVisualization(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::DeepOp& deep, int y, int x,
                            int r, const DD::Image::ChannelSet& channels, DD::Image::Row& row);
