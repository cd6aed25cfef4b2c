// The value a visualisation writes into red, green or blue for one coc and focus region.
// "Focal Distance Visualization": red 1 - smoothstep(2 coc) (in focus), green the front blur,
// blue the back blur (divided by kernelSizeLimit when normalised). "Focus Matte": red where the
// region is None, green Front, blue Back.
#pragma once

#include "DDImage/Channel.h"
#include "ktDepthToCoc.h"

// 0 below 0 (and for NaN), 1 above 1, (3 - 2v) v v between.
inline float smoothstep01(float v) {
  if (!(v > 0.0f)) return 0.0f;
  if (v >= 1.0f) return 1.0f;
  return (3.0f - (v + v)) * v * v;
}

inline void getPassValue(const ktOrvelSettings& s, int kernelSizeLimit, const float& value, const FocusRegion& region,
                         DD::Image::Channel channel, float* out) {
  using namespace DD::Image;
  if (s.outputType == kFocusMatte) {
    const FocusRegion wanted =
        channel == Chan_Red ? FocusRegion::None : channel == Chan_Green ? FocusRegion::Front : FocusRegion::Back;
    *out = region == wanted ? 1.0f : 0.0f;
    return;
  }
  if (channel == Chan_Red) {
    const float v = 1.0f - smoothstep01(2.0f * value);
    *out = v < 0.0f ? 0.0f : v;
    return;
  }
  const FocusRegion wanted = channel == Chan_Green ? FocusRegion::Front : FocusRegion::Back;
  float v = region == wanted ? value : 0.0f;
  if (s.normalizeVisualization) v /= static_cast<float>(kernelSizeLimit);
  *out = v;
}
