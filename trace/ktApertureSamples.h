// Points of the aperture a lens-trace gather sends its rays through: a fixed low-discrepancy set
// spread over the hero kernel by its brightness, so that the disc, curved and rotated blades, the
// aspect ratio and an image kernel are all sampled one way. Several sets (patterns) are kept,
// consecutive blocks of points of one sequence; each output pixel uses the one its position
// picks, the same in every render, so that neighbouring pixels do not repeat one another's
// pattern and a sequence does not flicker.
#pragma once

#include <vector>

#include "ktChannelFloatBuffer.h"

struct ktApertureSamples {
  static constexpr int kPatterns = 64;
  static constexpr int kLaneBlock = 16;  // every pattern is padded to a multiple of this

  int count = 0;   // samples per pattern; 0 for an aperture without any light
  int stride = 0;  // floats per pattern: count rounded up to kLaneBlock, the padding at u = 0
  // The aperture's area in those units (pi for the full disc), brightness-weighted: each of n
  // rays stands for about area / n of it.
  float area = 0.0f;
  // Aperture positions, one unit at the hero kernel's half side, y upwards on the image (the
  // kernel's row 0 is its top, as the scatter engines lay it down).
  std::vector<float> ux, uy;

  const float* patternX(int pattern) const { return ux.data() + size_t(pattern) * size_t(stride); }
  const float* patternY(int pattern) const { return uy.data() + size_t(pattern) * size_t(stride); }
  // The pattern of output pixel (x, y).
  static int patternOf(int x, int y);
};

// `count` samples per pattern over `hero`'s brightness: the mean of `planes` (the hero kernel's
// planes of the traced channels); negative values count as dark.
ktApertureSamples makeApertureSamples(const ktChannelFloatBuffer& hero, const std::vector<int>& planes,
                                      int count);
