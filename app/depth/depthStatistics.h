// Measuring depth and blur outside a render: a node's lens settings and a depth plane's statistics.
#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "ktDepthToCoc.h"
#include "ktOrvelSettings.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// A frame's depths against the node's lens: their range and percentiles, the blur diameter the
// settings give at each, and the shares of the frame in focus, in front and behind.

namespace standin {
class MemoryIop;
}

struct DepthPercentile {
  double percent;  // 0 is the smallest depth, 100 the largest
  float depth;
  float blur;  // diameter in pixels, as the node's depth-to-blur mapping gives it
};

struct DepthSummary {
  size_t count = 0;                           // depths measured
  size_t nonFinite = 0;                       // NaN or infinite depths: infinitely far for the node
  std::vector<DepthPercentile> percentiles;   // of the finite depths; empty when there are none
  double inFocus = 0, front = 0, behind = 0;  // shares of all depths: blur of at most one pixel, else by side
};

// Percentiles interpolate linearly between the nearest ranks of the sorted finite depths, which
// for flat "1/z" values are the distances they stand for. A
// pixel whose blur is at most one pixel (a kernel of one pixel) is in focus.
DepthSummary summariseDepths(std::vector<float> depths, const ktOrvelSettings& settings, DepthKind kind);

// The table: one line per percentile (depth, blur), then the shares.
void printDepthSummary(const DepthSummary& summary, const ktOrvelSettings& settings, std::ostream& out);

// The median of the finite values of `plane` (over the image's box) in the 5 x 5 neighbourhood of
// host pixel (x, y), clipped to the box; false when it holds none.
bool medianDepthAround(const standin::MemoryIop& image, const float* plane, int x, int y, float& depth);

// The node's lens settings as its knobs hold them, for measuring blur outside a render.

// A settings record with every knob the depth-to-blur mapping reads taken from `node` by name,
// and the derived lens values worked out for a full-resolution frame of width x height pixels.
ktOrvelSettings lensSettingsOf(const DD::Image::Op& node, int width, int height);
