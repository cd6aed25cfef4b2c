// The source map of a deep input for one pass: the scatters of the deep pixels of a band of rows
// (their pieces, walked nearest first with coverage, and the uncovered remainder), worked out
// once per render exactly as the deep row engine works them out for every row.
#pragma once

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "ktRenderContext.h"
#include "ktSourceMap.h"

// Maps the rows laid out in `band` (source rows, clamped to the format) for deep pass `pass`;
// false when the deep input cannot deliver a row (an abandoned render).
bool mapDeepRows(ktSourceMap& band, const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
                 DD::Image::DeepOp& deep, const DD::Image::ChannelSet& channels, int pass);
