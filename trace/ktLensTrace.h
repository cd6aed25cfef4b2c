// The lens-trace gather: one output row from the traced layers. For every pixel p and aperture
// sample u the ray meets each layer, nearest first, where q = p - r(q) u (a few fixed-point
// steps from the layer's radius at p); the layer's colour and alpha there (bilinear, or from a
// coarser level where the ray's share of the aperture is wide) are added under the
// transmittance so far, which (1 - alpha) then reduces; a ray stops once it is below 1e-4. The
// pixel is the mean over its rays: premultiplied colour, and alpha one minus the mean
// transmittance; with a base (below), each layer's colour as the base knows it. A pixel skips
// the layers whose content none of its rays can meet, and sends fewer than all samples where the
// content it can meet is only slightly blurred. Vectorised over the samples through Highway's
// run-time targets; reads only its arguments (and writes the base's scratch), allocates nothing
// and takes no locks, so many rows may run at once.
#pragma once

#include <cstddef>

#include "ktApertureSamples.h"
#include "ktRowRegion.h"
#include "ktTraceLayers.h"

// The most traced channels a row carries; the gather leaves further channels alone.
constexpr int kMaxTracedChannels = 12;

// What a scatter that blurs every slice on its own knows of the row: for each slice, what its
// content covers around each column and the mean colour of that content there, free of the rays'
// noise. Each layer the rays meet then shows, besides their light, the coverage that light came
// through times the difference between this mean colour and the one the rays found: a light a
// few rays happen to hit counts as the scatter spreads it, while which part of the content
// shows past nearer things is still the rays' to say (the more nearer things hide, the less the
// base's mean of the whole counts). A layer in focus at the pixel is drawn as the scatter draws
// it, its share times its mean: every ray meets it at the pixel, and the share the scatter leaves
// it past blurred nearer things is what the rays can only estimate. Where a pixel's rays can meet
// one layer only, opaque and all the input's own wherever they read it, nothing can hide anything
// and nothing lets light through: the pixel is opaque, with the scatter's mean colour of what it
// covers, without rays.
struct ktTraceBase {
  const float* coverage;      // by slice, the row's columns from x
  const float* shares;        // by slice: its share of the scatter's picture
  const float* const* means;  // by traced channel, by slice, the row's columns from x
  // The scatter's picture, by traced channel, then its alpha: indexed by absolute column.
  const float* const* picture;
  const float* pictureAlpha;
  int x, width;
  // Room for the rays' sums: sumFloats(layers) floats.
  float* sums;
  static size_t sumFloats(size_t layers) { return layers * (2 * kMaxTracedChannels + 2) * 16; }
  float coverageOf(int slice, int column) const { return at(coverage, slice, column); }
  float shareOf(int slice, int column) const { return at(shares, slice, column); }
  float meanOf(int c, int slice, int column) const { return at(means[c], slice, column); }
  float at(const float* rows, int slice, int column) const {
    return rows[size_t(slice) * size_t(width) + size_t(column - x)];
  }
};

namespace orvel {

// Writes out[c][i] for the first (at most kMaxTracedChannels) traced channels c of `layers` and
// alpha[i], for the columns i of the region (both indexed by absolute column): the mean of the
// rays, with `base` (may be null) each layer's colour as the base knows it.
void lensTraceRow(const ktTraceLayers& layers, const ktApertureSamples& samples, const ktTraceBase* base,
                  RowRegion region, float* const* out, float* alpha);

}  // namespace orvel
