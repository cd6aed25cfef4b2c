// The Mattes input as every source walk reads it: per pixel, the bloom, defocus and chromatic
// aberration mattes the node found, each 1 where none applies.
#pragma once

#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktRenderContext.h"

struct ktPixelMattes {
  float bloom = 1.0f, defocus = 1.0f, aberration = 1.0f;
};

// One row of the Mattes input over columns left .. right-1.
class ktMatteRow {
 public:
  ktMatteRow(int left, int right) : left_(left), right_(right), row_(left, right) {}
  // Reads row y of `mattes` (null without a Mattes input).
  void fetch(const ktRenderContext& ctx, DD::Image::Iop* mattes, int y);
  ktPixelMattes at(int x) const {
    ktPixelMattes m;
    if (of_[0]) m.bloom = of_[0][x];
    if (of_[1]) m.defocus = of_[1][x];
    if (of_[2]) m.aberration = of_[2][x];
    return m;
  }

 private:
  const int left_, right_;
  DD::Image::Row row_;
  const float* of_[3] = {};  // bloom, defocus, aberration; null where unused
};
