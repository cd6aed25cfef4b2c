// The lens values derived from the settings at validation, and the corrective slice boundaries.
#pragma once

#include <vector>

#include "ktOrvelSettings.h"

// Sets pixelsPerMm from the full-size format (width x height pixels) and the film back, the
// focus region values, and lensCoefficient. contextScale is the caller's.
void computeLensValues(ktOrvelSettings& s, int fullSizeWidth, int fullSizeHeight);

// Corrective slice boundaries, ascending, first entry 0: empty for one slice, (0, focalPlane)
// for two, 0 and n-1 equal steps between near and far for n >= 3. Reads the focus region
// values computeLensValues derived.
std::vector<float> computeSliceDepths(const ktOrvelSettings& s);

// The slice a converted depth falls in: the last boundary not above it. Depths below the first
// boundary go to slice 0; the result always lies in 0 .. slices-1.
inline int sliceIndex(const std::vector<float>& sliceDepths, int slices, float depth) {
  if (slices <= 1 || sliceDepths.empty()) return 0;
  int count = 0;
  const int n = static_cast<int>(sliceDepths.size());
  while (count < n && sliceDepths[count] <= depth) ++count;
  const int s = count - 1;
  return s < 0 ? 0 : (s >= slices ? slices - 1 : s);
}
