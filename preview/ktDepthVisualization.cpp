#include "ktDepthVisualization.h"

#include <algorithm>

#include "ktCombineSamples.h"
#include "ktPassValue.h"

using namespace DD::Image;

namespace {

void copyPassThrough(Iop& input, int y, int x, int r, const ChannelSet& channels, Row& row) {
  if (channels.empty()) return;
  Row in(x, r);
  in.get(input, y, x, r, channels);
  row.copy(in, channels, x, r);
}

float passValue(const ktRenderContext& ctx, float depth, DepthKind kind, Channel z) {
  const CocSample c = depthToCoc(*ctx.settings, ctx.kernelSizeLimit, depth, kind);
  float p;
  getPassValue(*ctx.settings, ctx.kernelSizeLimit, c.coc, c.region, z, &p);
  return p;
}

// The layers of one deep pixel mixed front to back by alpha, then the background at infinity.
float deepPixelValue(const ktRenderContext& ctx, const DeepPixel& layers, Channel depthChannel, Channel z) {
  float out = 0.0f;
  float covered = 0.0f;
  for (size_t i = 0; i < layers.getSampleCount(); ++i) {
    const float d = layers.getUnorderedSample(i, depthChannel);
    const float a = layers.getUnorderedSample(i, Chan_Alpha);
    const float w = (1.0f - covered) * a;
    out += std::max(0.0f, passValue(ctx, d, DepthKind::Deep, z)) * w;
    covered += w;
    if (1.0f - covered <= 0.0f) break;
  }
  if (covered < 1.0f) out += (1.0f - covered) * std::max(0.0f, passValue(ctx, kFarDepth, DepthKind::Deep, z));
  return out;
}

}  // namespace

namespace orvel {

void depthVisualization(const ktRenderContext& ctx, RowRegion region, Iop& input, const ChannelSet& channels,
                        Row& row) {
  const int y = region.y, x = region.x, r = region.r;
  const Channel depthChannel = ctx.settings->depthChannel;
  Row depthRow(x, r);
  depthRow.get(input, y, x, r, ChannelSet(depthChannel));
  const float* depth = depthRow[depthChannel];
  const ChannelSet computed = channels.intersection(Mask_RGB);
  for (Channel z : computed) {
    float* out = row.writable(z);
    for (int c = x; c < r; ++c) out[c] = passValue(ctx, depth[c], DepthKind::Flat, z);
  }
  ChannelSet passThrough = channels;
  passThrough -= Mask_RGB;
  copyPassThrough(input, y, x, r, passThrough, row);
}

void deepDepthVisualization(const ktRenderContext& ctx, RowRegion region, Iop& input, DeepOp& deep,
                            const ChannelSet& channels, Row& row) {
  const int y = region.y, x = region.x, r = region.r;
  const ChannelSet computed = channels.intersection(Mask_RGB);
  ChannelSet wanted = ctx.settings->activeChannels;
  wanted += Chan_Alpha;
  wanted += Mask_Deep;
  wanted -= Chan_Z;
  DeepPlane plane;
  if (!computed.empty() && deep.deepEngine(Box(x, y, r, y + 1), wanted, plane)) {
    const Channel depthChannel = ctx.settings->depthChannel == Chan_DeepBack ? Chan_DeepBack : Chan_DeepFront;
    const Box& b = plane.box();
    DeepOutPixel combined;
    const bool rowInside = y >= b.y() && y < b.t();
    const int from = std::max(x, b.x());
    const int to = std::min(r, b.r());
    for (int c = from; rowInside && c < to; ++c) {
      combined.clear();
      combineSamples(plane.channels(), plane.getPixel(y, c), combined);
      const DeepPixel layers = combined.getPixel(plane.channels(), DeepPixel::eZAscending);
      for (Channel z : computed) row.writable(z)[c] = deepPixelValue(ctx, layers, depthChannel, z);
    }
  }
  ChannelSet passThrough = channels;
  passThrough -= Mask_RGB;
  copyPassThrough(input, y, x, r, passThrough, row);
}

}  // namespace orvel
