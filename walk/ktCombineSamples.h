// The walk that cuts a deep pixel's overlapping samples apart: a thick sample reaching into
// the next farther one is cut at that sample's boundaries, each piece keeping the share of the
// colour and alpha that its share of the depth range carries. Pieces come out nearest first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"

// Where each channel of a piece comes from, for samples laid out by one channel map: the column
// of the sample it copies (kAbsent where the samples lack the channel), or a depth. Worked out
// once for a plane, not for each of its pixels.
struct ktSampleLayout {
  static constexpr int16_t kAbsent = -1, kFront = -2, kBack = -3;
  ktSampleLayout(const DD::Image::ChannelSet& channels, const DD::Image::ChannelMap& map);
  DD::Image::Channel first;  // the map's first channel, column 0
  int front, back;           // the depths' columns, -1 when absent
  size_t count = 0;          // channels of a piece
  std::array<int16_t, DD::Image::Chan_Last + 1> source;
};

// Walks every sample of `pixel`, nearest first, into `out`.
void combineSamples(const DD::Image::ChannelSet& channels, const DD::Image::DeepPixel& pixel,
                    DD::Image::DeepOutPixel& out);
void combineSamples(const ktSampleLayout& layout, const DD::Image::DeepPixel& pixel, DD::Image::DeepOutPixel& out);

// The pieces of pixel (x, y) of `plane`, nearest first: its samples cut apart into `combined`,
// which holds them while the pieces are read. `layout` is the plane's, for its own channels.
DD::Image::DeepPixel cutPieces(const DD::Image::DeepPlane& plane, const ktSampleLayout& layout, int y, int x,
                               DD::Image::DeepOutPixel& combined);
