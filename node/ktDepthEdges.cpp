// Registration, knobs, validation and requests of the depth-edge node.
#include "ktDepthEdges.h"

#include <algorithm>

#include "DDImage/Channel.h"
#include "DDImage/Knobs.h"
#include "ktOrvelSettings.h"

using namespace DD::Image;

namespace {

Op* build(Node* node) { return new ktDepthEdges(node); }

}  // namespace

const Op::Description ktDepthEdges::description("ktDepthEdges", build);

ktDepthEdges::ktDepthEdges(Node* node) : Iop(node) { inputs(1); }

const char* ktDepthEdges::Class() const { return description.name; }

const char* ktDepthEdges::node_help() const {
  return "ktDepthEdges: where the depth jumps within a few pixels, gives the depth channel the nearest depth "
         "around, so that ktOrvel after it blurs anti-aliased edges with their object rather than as "
         "background. Other channels and pixels pass through.";
}

void ktDepthEdges::knobs(Knob_Callback f) {
  Tab_knob(f, "Depth Edges");
  Input_Channel_knob(f, &depthChannel, 1, 0, "depthChannel", "Depth Channel");
  Tooltip(f, "The depth channel to fix; as ktOrvel's Depth Channel. Every other channel passes through.");
  Enumeration_knob(f, &depthStyle, DepthStyleENUM, "depthStyle", "Depth Style");
  Tooltip(f,
          "Real = real world values, 1/z = values that come out of Scanline renderer. As ktOrvel's: for "
          "1/z the nearest depth is the largest value.");
  Int_knob(f, &radius, "radius", "Radius");
  SetRange(f, 1, 8);
  SetFlags(f, Knob::FORCE_RANGE);
  Tooltip(f,
          "How far the nearest depth reaches: a pixel looks at the (2 radius + 1) x (2 radius + 1) pixels "
          "around it.");
  Float_knob(f, &threshold, "threshold", "Threshold");
  SetRange(f, 0, 1);
  Tooltip(f,
          "The relative depth jump that makes an edge: a pixel changes when (farthest - nearest) / nearest "
          "in real depth, over its neighbourhood's finite depths, exceeds this. NaN and infinite depths "
          "are ignored and stay as they are.");
}

void ktDepthEdges::_validate(bool for_real) {
  input0().validate(for_real);
  copy_info();
  rule_.radius = std::clamp(radius, 1, 8);
  rule_.threshold = std::max(threshold, 0.0f);
  rule_.inverse = depthStyle == kDepthInverse;
  hasDepth_ = info_.channels().contains(depthChannel);
  if (!hasDepth_ && depthChannel != Chan_Black)
    warning("The input has no depth channel %s: the image passes through unchanged.",
            getName(depthChannel) ? getName(depthChannel) : "(unnamed)");
}

// The depth rows reach `radius` pixels past the box each way; other channels only the box.
void ktDepthEdges::_request(int x, int y, int r, int t, const ChannelSet& channels, int count) {
  if (!hasDepth_ || !channels.contains(depthChannel)) {
    input0().request(x, y, r, t, channels, count);
    return;
  }
  const int g = rule_.radius;
  input0().request(x - g, y - g, r + g, t + g, channels, count);
}
