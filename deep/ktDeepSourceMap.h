// The source map of a deep input for one pass: the scatters of every deep pixel within reach of
// the output box (its pieces, walked nearest first with coverage, and the uncovered remainder),
// worked out once per render exactly as the deep row engine works them out for every row.
#pragma once

#include "DDImage/DeepOp.h"
#include "DDImage/Iop.h"
#include "ktRenderContext.h"
#include "ktSourceMap.h"

// Leaves `map` empty when the deep input cannot deliver a row (an abandoned render).
void buildDeepSourceMap(ktSourceMap& map, const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes,
                        DD::Image::DeepOp& deep, const DD::Image::Box& outputBox,
                        const DD::Image::ChannelSet& channels, int pass);
