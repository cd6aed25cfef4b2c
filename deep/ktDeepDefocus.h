// The deep row engine: one output row of "Defocused Image" or "Lens Bloom" from a deep input.
// Each source pixel's samples are cut apart, walked nearest first with coverage and scattered
// un-premultiplied with their visible share; the remaining coverage is spread transparent at the
// far size into the far slice. pass 0 takes all samples, 1 the front ones, 2 the back ones.
#pragma once

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"

void deepDefocus(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, DD::Image::DeepOp* deep,
                 int y, int x, int r, const DD::Image::ChannelSet& channels, DD::Image::Row& row, int pass);
