// The scatter of one source pixel into one output row: adds colour x kernel and kernel weight
// into the rows of one slice, over the columns of rowX .. rowR-1 that the kernel covers,
// blending the kernels of the two nearest odd widths, with bloom and chromatic displacement.
#pragma once

#include <cstddef>

#include "ktRenderContext.h"
#include "ktSliceRows.h"

void convole(const ktRenderContext& ctx, int bloomX, int bloomY, int rowX, int rowY, int rowR, int srcX,
             int srcY, float size, size_t slice, float weight, const float* pixel, ktSliceRows& colourRows,
             ktSliceRows& weightRows, const DD::Image::ChannelSet& channels, const float& bloomMatte,
             const float& aberrationMatte);
