// The walk that cuts a deep pixel's overlapping samples apart: a thick sample reaching into
// the next farther one is cut at that sample's boundaries, each piece keeping the share of the
// colour and alpha that its share of the depth range carries. Pieces come out nearest first.
#pragma once

#include <cstddef>

#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"

// Walks every sample of `pixel`, nearest first, into `out`.
void combineSamples(const DD::Image::ChannelSet& channels, const DD::Image::DeepPixel& pixel,
                    DD::Image::DeepOutPixel& out);

// The pieces of pixel (x, y) of `plane`, nearest first: its samples cut apart into `combined`,
// which holds them while the pieces are read.
DD::Image::DeepPixel cutPieces(const DD::Image::DeepPlane& plane, int y, int x,
                               DD::Image::DeepOutPixel& combined);
