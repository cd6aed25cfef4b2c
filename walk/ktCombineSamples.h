// The walk that cuts a deep pixel's overlapping samples apart: a thick sample reaching into
// the next farther one is cut at that sample's boundaries, each piece keeping the share of the
// colour and alpha that its share of the depth range carries. Pieces come out nearest first.
#pragma once

#include <cstddef>

#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"

// Appends one piece of sample `index`: front and back depths, other channels times weight.
void addWeightedSample(const DD::Image::ChannelSet& channels, const DD::Image::DeepPixel& pixel,
                       DD::Image::DeepOutPixel& out, size_t index, float front, float back, float weight);

// Emits sample `index` and, where it overlaps, the farther samples it reaches into; leaves
// `index` on the farthest sample consumed and returns the back depth of the sample it was called for.
float addSample(const DD::Image::ChannelSet& channels, const DD::Image::DeepPixel& pixel,
                DD::Image::DeepOutPixel& out, size_t& index);

// Walks every sample of `pixel`, nearest first, into `out`.
void combineSamples(const DD::Image::ChannelSet& channels, const DD::Image::DeepPixel& pixel,
                    DD::Image::DeepOutPixel& out);
