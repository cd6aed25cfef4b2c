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

#include "ktApertureSamples.h"
#include "ktRowRegion.h"
#include "ktTraceLayers.h"

// The most traced channels a row carries; the gather leaves further channels alone.
constexpr int kMaxTracedChannels = 12;

namespace orvel {

// Writes out[c][i] for the first (at most kMaxTracedChannels) traced channels c of `layers` and
// alpha[i], for the columns i of the region (both indexed by absolute column).
void lensTraceRow(const ktTraceLayers& layers, const ktApertureSamples& samples, RowRegion region,
                  float* const* out, float* alpha);

}  // namespace orvel
