// The fast engine's rows, served from the source maps of a render: the rows of `defocus` (or
// `deepDefocus`, for maps of deep passes) within rounding, without walking any source position
// again, skipping source rows and pixels whose kernels cannot reach the row, and sharing one
// weight row between channels whose kernels and centres are the same.
#pragma once

#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"
#include "ktRowRegion.h"
#include "ktRowScratch.h"
#include "ktSourceBands.h"

namespace orvel {

// Fills the region for `channels` from `input` and the maps of `bands`, accumulating in
// `scratch`; the bands must cover the row. False, with the row untouched, when a band of its
// source rows could not be mapped.
bool fastDefocus(const ktRenderContext& ctx, RowRegion region, DD::Image::Iop& input, ktSourceBands& bands,
                 const DD::Image::ChannelSet& channels, ktRowScratch& scratch, DD::Image::Row& row);

}  // namespace orvel
