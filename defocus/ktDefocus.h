// The flat row engine: one output row of "Defocused Image" or "Lens Bloom" from a flat input
// with depth. Every source pixel within `padding` of the row is scattered through convole into
// the slice of its depth; the slices are then composited front to back and normalised.
#pragma once

#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"

// Fills columns x .. r-1 of output row y for `channels`; `mattes` is the Mattes input or null.
void defocus(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int y, int x, int r,
             const DD::Image::ChannelSet& channels, DD::Image::Row& row);
