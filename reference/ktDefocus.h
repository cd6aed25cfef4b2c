// The straightforward engine, kept as the reference: for every output row, the source rows
// within `padding` are walked again and every scatter spread into the row's slices, which are
// then composited front to back and normalised. Channels not defocused keep the input's row.
#pragma once

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktDeepPass.h"
#include "ktRenderContext.h"
#include "ktRowRegion.h"
#include "ktSliceBuffers.h"
#include "ktSourceWalk.h"

namespace orvel {

// The engine's sink: scatter `sc` spread into the rows of `slices` (made for the walk's channels)
// of the region's row over the columns its kernels cover, blending the kernels of the two
// nearest odd widths, with chromatic displacement.
void convole(const ktRenderContext& ctx, RowRegion region, const ktScatter& sc, ktSliceBuffers& slices);

// Fills the region for `channels` from a flat input with depth, accumulating in `slices`;
// `mattes` is the Mattes input or null.
void defocus(const ktRenderContext& ctx, RowRegion region, DD::Image::Iop& input, DD::Image::Iop* mattes,
             const DD::Image::ChannelSet& channels, ktSliceBuffers& slices, DD::Image::Row& row);

// The same from a deep input: each source pixel's samples cut apart, walked nearest first with
// coverage and scattered un-premultiplied with their visible share; the remaining coverage is
// spread transparent at the far size into the far slice, over the pieces of DeepPass `pass`.
// Without a deep input the active channels come out 0.
void deepDefocus(const ktRenderContext& ctx, RowRegion region, DD::Image::Iop& input, DD::Image::Iop* mattes,
                 DD::Image::DeepOp* deep, DeepPass pass, const DD::Image::ChannelSet& channels,
                 ktSliceBuffers& slices, DD::Image::Row& row);

}  // namespace orvel
