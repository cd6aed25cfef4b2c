// The depth-edge node's rows: the input row passes through, then the depth channel is fixed
// from the input rows around it. Everything lives on the stack of the call, so rows run on any
// thread at once.
#include "DDImage/Row.h"
#include "ktDepthEdgeRow.h"
#include "ktDepthEdges.h"

using namespace DD::Image;

void ktDepthEdges::engine(int y, int x, int r, const ChannelSet& channels, Row& out) {
  Row in(x, r);
  in.get(input0(), y, x, r, channels);
  if (aborted()) return;
  out.copy(in, channels, x, r);
  if (hasDepth_ && channels.contains(depthChannel))
    fixDepth(y, x, r, in[depthChannel] + x, out.writable(depthChannel) + x);
}

// Outside the input's box the host's rows repeat its edge pixels, so the neighbourhood of an
// edge pixel of the image holds copies of that pixel.
void ktDepthEdges::fixDepth(int y, int x, int r, const float* centre, float* out) const {
  const int g = rule_.radius;
  ktDepthEdgeRow fix(r - x, rule_);
  Row band(x - g, r + g);
  const ChannelSet depth(depthChannel);
  for (int dy = -g; dy <= g; ++dy) {
    band.get(input0(), y + dy, x - g, r + g, depth);
    fix.addRow(band[depthChannel] + (x - g));
  }
  fix.finish(centre, out);
}
