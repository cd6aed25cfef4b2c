// One output row of the depth-edge fix, as a plain function of float rows: the neighbourhood's
// smallest and largest finite values are gathered column by column from the 2 radius + 1 input
// rows around it (addRow), then across 2 radius + 1 columns (finish), O(radius) per pixel.
// Non-finite values are ignored as neighbours and stay as they are where they sit.
#pragma once

#include <vector>

#include "ktDepthEdgeRule.h"

class ktDepthEdgeRow {
 public:
  // A row of `width` output pixels; allocates its two column spans here, once.
  ktDepthEdgeRow(int width, const ktDepthEdgeRule& rule);

  // One input row of the neighbourhood, in any order: width + 2 radius depth values starting
  // radius pixels left of the output's first (the caller repeats edge pixels past the image).
  void addRow(const float* depth);

  // Writes `width` values to `out`: `centre[i]` (the output row's own input depth, width values)
  // where pixel i is no edge or is not finite, else the neighbourhood's nearest value.
  // `out` may be `centre`.
  void finish(const float* centre, float* out) const;

 private:
  int width_;
  ktDepthEdgeRule rule_;
  std::vector<float> lo_;  // per column: the smallest finite value so far (+inf: none)
  std::vector<float> hi_;  // per column: the largest finite value so far (-inf: none)
};
