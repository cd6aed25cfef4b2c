// Depth to blur: turns one depth into a blur diameter in output pixels (the coc), a focus
// region and the converted depth that picks a corrective slice. Every engine calls this one
// inline function, so all of them produce the same numbers in the same order of operations.
#pragma once

#include <cmath>

#include "ktOrvelSettings.h"

// Where a depth lies against the focal plane; None when the two cannot be ordered (a NaN).
enum class FocusRegion : int { None = 0, Front = 1, Back = 2 };

// A flat depth comes from the depth channel (it may be "1/z" or non-finite); a deep depth is
// a sample's distance, or kFarDepth for the empty background, and is used as it is.
enum class DepthKind { Flat, Deep };

// The largest finite float: a depth standing for "infinitely far".
constexpr float kFarDepth = 3.4028235e38f;

struct CocSample {
  float coc;           // blur diameter in output pixels
  FocusRegion region;  // front or back of the focal plane
  float depth;         // depth after sanitising, "1/z" and clamping to the focus region
};

// Millimetres per world unit of `worldScale` (WorldScale; any other value counts as millimetres).
inline double mmPerUnit(int worldScale) {
  switch (worldScale) {
    case kWorldMm: return 1.0;
    case kWorldCm: return 10.0;
    case kWorldM: return 1000.0;
    case kWorldInches: return 25.4;
    case kWorldFeet: return 304.8;
    default: return 1.0;
  }
}

// The thin-lens blur in film-back millimetres, f^2 / (N (S1 - f)) x |S2 - S1| / S2, for a depth
// and focus distance in millimetres. Worked in double and divided by the depth itself: written as
// S1 - |S2 - S1| in float, the divisor cancels to 0 once the focus distance dwarfs the depth.
inline double thinLensBlurMm(double lensCoefficient, double depthMm, double focusMm) {
  return std::fabs(depthMm - focusMm) / depthMm * lensCoefficient;
}

inline FocusRegion focusRegionOf(float depth, float focalPlane) {
  if (focalPlane > depth) return FocusRegion::Front;
  if (depth >= focalPlane) return FocusRegion::Back;
  return FocusRegion::None;
}

// `kernelSizeLimit` is the blur given to infinitely far depths.
inline CocSample depthToCoc(const ktOrvelSettings& s, int kernelSizeLimit, float d, DepthKind kind) {
  if (kind == DepthKind::Flat) {
    if (!std::isfinite(d)) d = kFarDepth;
    if (s.depthStyle == kDepthInverse) d = d > 0.0f ? 1.0f / d : kFarDepth;
  }
  const float unclamped = d;
  if (!s.realWorldLens) {
    d = s.focusNear < d ? d : s.focusNear;
    if (d > s.focusFar) d = s.focusFar;
  }

  // A focus region of size 0 is a step: sharp exactly at the focal plane, full blur elsewhere.
  const bool stepRegion = !s.realWorldLens && std::isinf(s.focusHalfSizeInv);
  const FocusRegion region = focusRegionOf(stepRegion ? unclamped : d, s.focalPlane);

  float c;
  if (s.realWorldLens) {
    const double u = double(s.worldScaleMultiplier) * mmPerUnit(s.worldScale);
    const double blur = thinLensBlurMm(s.lensCoefficient, d * u, s.focalPlane * u) * s.pixelsPerMm;
    c = std::fabs(blur) <= kFarDepth ? static_cast<float>(blur) : 0.0f;  // NaN and beyond float: 0
  } else {
    float t = stepRegion ? (unclamped == s.focalPlane ? 0.0f : 1.0f)
                         : std::fabs(d - s.focalPlane) * s.focusHalfSizeInv;
    if (1.0f < t) t = 1.0f;
    if (s.focusRegionFalloff == kFalloffQuadratic) t = t * t;
    c = t * s.multiplier;
  }

  if (region == FocusRegion::Back)
    c *= s.backmultiplier;
  else if (region == FocusRegion::Front)
    c *= s.frontmultiplier;

  if (d == kFarDepth) c = static_cast<float>(kernelSizeLimit);
  c *= s.contextScale;
  return {c, region, d};
}
