// The flat row engine served from the per-render source map: the same rows as `defocus`, without
// mapping any depth again, skipping source rows and pixels whose kernels cannot reach the row,
// and sharing one weight row between channels whose kernels and centres are the same.
#pragma once

#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"
#include "ktSourceMap.h"

// Fills columns x .. r-1 of output row y for `channels`; the map must cover the row.
void fastDefocus(const ktRenderContext& ctx, const ktSourceMap& map, DD::Image::Iop& input, int y, int x, int r,
                 const DD::Image::ChannelSet& channels, DD::Image::Row& row);
