// "Focal Distance Visualization" and "Focus Matte" rows: what the depth-to-blur mapping makes
// of every pixel (flat) or of every layer of a deep pixel, written into red, green and blue;
// other requested channels are copied from the input.
#pragma once

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"
#include "ktRowRegion.h"

namespace orvel {

void depthVisualization(const ktRenderContext& ctx, RowRegion region, DD::Image::Iop& input,
                        const DD::Image::ChannelSet& channels, DD::Image::Row& row);

// Deep layers are mixed front to back by alpha, the space behind them counting as infinitely far.
void deepDepthVisualization(const ktRenderContext& ctx, RowRegion region, DD::Image::Iop& input,
                            DD::Image::DeepOp& deep, const DD::Image::ChannelSet& channels,
                            DD::Image::Row& row);

}  // namespace orvel
