// The straightforward engine, kept as the reference: for every output row, the source rows
// within `padding` are walked again and every scatter spread into the row's slices, which are
// then composited front to back and normalised. Channels not defocused keep the input's row.
#pragma once

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"
#include "ktSliceBuffers.h"
#include "ktSourceWalk.h"

// The engine's sink: scatter `sc` spread into the rows of `slices` (made for the walk's channels)
// of output row rowY over the columns of rowX .. rowR-1 its kernels cover, blending the kernels
// of the two nearest odd widths, with chromatic displacement.
void convole(const ktRenderContext& ctx, int rowX, int rowY, int rowR, const ktScatter& sc,
             ktSliceBuffers& slices);

// Fills columns x .. r-1 of output row y for `channels` from a flat input with depth, accumulating
// in `slices`; `mattes` is the Mattes input or null.
void defocus(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int y, int x, int r,
             const DD::Image::ChannelSet& channels, ktSliceBuffers& slices, DD::Image::Row& row);

// The same from a deep input: each source pixel's samples cut apart, walked nearest first with
// coverage and scattered un-premultiplied with their visible share; the remaining coverage is
// spread transparent at the far size into the far slice, over the pieces of DeepPass `pass`.
// Without a deep input the active channels come out 0.
void deepDefocus(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
                 DD::Image::DeepOp* deep, int y, int x, int r, const DD::Image::ChannelSet& channels,
                 ktSliceBuffers& slices, DD::Image::Row& row, int pass);
