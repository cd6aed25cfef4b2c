// One kernel image: a width x height float plane per channel, indexed directly by channel id.
// Planes are row-major; row 0 is the top row of the image the kernel was made from, the row the
// scatter lays on the highest output row it reaches.
#pragma once

#include <cstddef>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "ktChannelTable.h"

class ktChannelFloatBuffer {
 public:
  int width = 0;
  int height = 0;
  int halfWidth = 0;  // width / 2: the centre column (and row, for square kernels)
  size_t count = 0;   // width x height floats per sized plane
  std::vector<std::vector<float>> planes;
  // Set on bank entries built once for channels whose hero planes are equal: the channel whose
  // plane every channel reads. Chan_Black: each channel has a plane of its own.
  DD::Image::Channel sharedPlane = DD::Image::Chan_Black;

  // The plane channel z reads (its own, or the shared one); the caller checks z is in range.
  const std::vector<float>& plane(DD::Image::Channel z) const { return planes[sharedPlane ? sharedPlane : z]; }

  // Grows the plane table to kChannelTableSize entries and sizes the planes of `channels` to
  // width x height; existing elements keep their values, new ones are 0. Planes are own again.
  void init(const DD::Image::ChannelSet& channels, int width, int height);
  // Releases every plane and zeroes width and height.
  void clear();
};
