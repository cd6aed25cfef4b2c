// The lens-trace gather: one output row from the traced layers. For every pixel p and aperture
// sample u the ray meets each layer, nearest first, where q = p - r(q) u (a few fixed-point
// steps from the layer's radius at p); the layer's colour and alpha there (bilinear) are added
// under the transmittance so far, which (1 - alpha) then reduces; a ray stops once it is below
// 1e-4. The pixel is the mean over its rays: premultiplied colour, and alpha one minus the
// mean transmittance. A pixel skips the layers whose content none of its rays can meet, and
// sends fewer than all samples where the content it can meet is only slightly blurred.
// Vectorised over the samples through Highway's run-time targets; reads only its arguments,
// allocates nothing and takes no locks, so many rows may run at once.
#pragma once

#include <cstddef>

#include "ktApertureSamples.h"
#include "ktRowRegion.h"
#include "ktTraceLayers.h"

// The most traced channels a row carries; the gather leaves further channels alone.
constexpr int kMaxTracedChannels = 12;

// A picture of the row that is exact where nothing nearer stands in the way: a scatter that
// blurs every slice on its own and composites them, each slice's mean colour (over what its
// pieces cover) times its share of the coverage. The gather gives it corrected by the rays: their
// light through the layers, less, for each layer, its share times the mean colour of the input's
// own content the same rays read there. Where nothing nearer is in the way the two agree ray by
// ray, and the base stands without the rays' noise; where something is, the rays correct it.
struct ktTraceBase {
  // By slice, the row's columns from x: each slice's share of the coverage; then for each traced
  // channel, from means[c] on in the same layout, each slice's mean colour.
  const float* shares;
  const float* const* means;
  int x, width;
  float shareOf(int slice, int column) const { return at(shares, slice, column); }
  float meanOf(int c, int slice, int column) const { return at(means[c], slice, column); }
  float at(const float* rows, int slice, int column) const {
    return rows[size_t(slice) * size_t(width) + size_t(column - x)];
  }
};

namespace orvel {

// Writes out[c][i] for the first (at most kMaxTracedChannels) traced channels c of `layers` and
// alpha[i], for the columns i of the region (both indexed by absolute column): the mean of the
// rays, or with `base` (may be null) the base corrected by them.
void lensTraceRow(const ktTraceLayers& layers, const ktApertureSamples& samples, const ktTraceBase* base,
                  RowRegion region, float* const* out, float* alpha);

}  // namespace orvel
