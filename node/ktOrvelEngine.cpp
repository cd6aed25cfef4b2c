// Row dispatch by output type, and the deep path with front and back integrated separately.
#include <algorithm>

#include "DDImage/DeepOp.h"
#include "DDImage/Interest.h"
#include "ktDefocus.h"
#include "ktDepthVisualization.h"
#include "ktFastDefocus.h"
#include "ktKernelVisualization.h"
#include "ktLensTrace.h"
#include "ktOrvel.h"

using namespace DD::Image;

void ktOrvel::engine(int y, int x, int r, const ChannelSet& channels, Row& out) {
  const orvel::RowRegion region{y, x, r};
  ChannelSet need = channels;
  in_channels(kInput, need);
  if (aborted()) return;
  Interest interest(*input(kInput), need, false, nullptr);
  switch (settings.outputType) {
    case kFocalDistance:
    case kFocusMatte:
      if (settings.deepInput && deepOp())
        deepDepthVisualization(region, channels, out);
      else
        depthVisualization(region, channels, out);
      break;
    case kFilterShape:
      kernelVisualization(region, channels, out);
      break;
    default:
      if (settings.deepInput && deepOp())
        deepPath(region, channels, out);
      else
        defocus(region, channels, out);
      break;
  }
  interest.unlock();
}

void ktOrvel::deepPath(orvel::RowRegion region, const ChannelSet& channels, Row& out) {
  const int x = region.x, r = region.r;
  input(kInput)->get(region.y, x, r, channels, out);
  if (tracesLens()) {
    lensTrace(region, channels, out);
    return;
  }
  if (!settings.integrateFrontAndBackSeperately) {
    deepDefocus(region, DeepPass::All, channels, out);
    return;
  }
  Row front(x, r);
  Row back(x, r);
  if (settings.focusOutput != kFocusBack)
    deepDefocus(region, DeepPass::Front, channels + ChannelSet(Chan_Alpha), front);
  if (settings.focusOutput != kFocusFront) deepDefocus(region, DeepPass::Back, channels, back);
  const float* frontAlpha = front[Chan_Alpha];
  for (Channel z : channels.intersection(settings.activeChannels)) {
    const float* f = front[z];
    const float* k = back[z];
    float* o = out.writable(z);
    for (int i = x; i < r; ++i) {
      switch (settings.focusOutput) {
        case kFocusFront:
          o[i] = f[i];
          break;
        case kFocusBack:
          o[i] = k[i];
          break;
        default:
          o[i] = k[i] * (1.0f - frontAlpha[i]) + f[i];
          break;
      }
    }
  }
}

// A bank that was never built (rows asked for before open) leaves the input unchanged.
void ktOrvel::defocus(orvel::RowRegion region, const ChannelSet& channels, Row& row) {
  if (kernels.empty()) {
    input(kInput)->get(region.y, region.x, region.r, channels, row);
    return;
  }
  const auto scratch = rowScratch.take();
  if (!referenceEngine && sourceBands.covers(region.y, region.x, region.r, padding) &&
      orvel::fastDefocus(renderContext(), region, *input(kInput), sourceBands, channels, *scratch, row))
    return;
  orvel::defocus(renderContext(), region, *input(kInput), optionalInput(kMattes), channels, scratch->slices,
                 row);
}

void ktOrvel::deepDefocus(orvel::RowRegion region, DeepPass pass, const ChannelSet& channels, Row& row) {
  if (kernels.empty()) return;
  const auto scratch = rowScratch.take();
  if (!referenceEngine && deepBands[int(pass)].covers(region.y, region.x, region.r, padding) &&
      orvel::fastDefocus(renderContext(), region, *input(kInput), deepBands[int(pass)], channels, *scratch,
                         row))
    return;
  orvel::deepDefocus(renderContext(), region, *input(kInput), optionalInput(kMattes), deepOp(), pass,
                     channels, scratch->slices, row);
}

// The "See Through" scatter of the row into `seen` (by the fast engine where its maps serve the
// row, else by the straightforward one), and each slice's coverage and mean colours in the
// scratch's sliceMeans; false with front and back integrated separately, or without alpha among
// the active channels (the gather then stands alone).
bool ktOrvel::seeThroughBase(orvel::RowRegion region, ktRowScratch& scratch, Row& seen) {
  if (kernels.empty() || settings.integrateFrontAndBackSeperately) return false;
  ktSourceBands& bands = deepBands[int(DeepPass::All)];
  const ChannelSet channels = settings.activeChannels;
  const ktRenderContext ctx = seeThroughContext();
  if (referenceEngine || !bands.covers(region.y, region.x, region.r, padding) ||
      !orvel::fastDefocus(ctx, region, *input(kInput), bands, channels, scratch, seen))
    orvel::deepDefocus(ctx, region, *input(kInput), optionalInput(kMattes), deepOp(), DeepPass::All, channels,
                       scratch.slices, seen);
  const std::vector<Channel>& order = scratch.slices.channels();
  const auto alpha = std::find(order.begin(), order.end(), Chan_Alpha);
  if (alpha == order.end()) return false;
  scratch.slices.meanColours(int(alpha - order.begin()), scratch.sliceMeans);
  return true;
}

void ktOrvel::depthVisualization(orvel::RowRegion region, const ChannelSet& channels, Row& row) {
  orvel::depthVisualization(renderContext(), region, *input(kInput), channels, row);
}

void ktOrvel::deepDepthVisualization(orvel::RowRegion region, const ChannelSet& channels, Row& row) {
  if (DeepOp* deep = deepOp())
    orvel::deepDepthVisualization(renderContext(), region, *input(kInput), *deep, channels, row);
}

void ktOrvel::kernelVisualization(orvel::RowRegion region, const ChannelSet& channels, Row& row) {
  orvel::kernelVisualization(heroKernel, settings.activeChannels, region, channels, row);
}

// The gather writes the traced channels and alpha; any other channel keeps the flat input.
void ktOrvel::lensTrace(orvel::RowRegion region, const ChannelSet& channels, Row& row) {
  if (!traceLayers.built) return;
  const int x = region.x, r = region.r;
  Row traced(x, r);
  float* planes[kMaxTracedChannels] = {};
  const size_t count = std::min(traceLayers.channels.size(), size_t(kMaxTracedChannels));
  for (size_t c = 0; c < count; ++c) planes[c] = traced.writable(Channel(traceLayers.channels[c]));
  // Each slice's mean colours by the "See Through" scatter, by traced channel, for the gather.
  const auto scratch = rowScratch.take();
  Row seen(x, r);
  bool based = seeThroughBase(region, *scratch, seen);
  const float* means[kMaxTracedChannels] = {};
  const float* picture[kMaxTracedChannels] = {};
  const std::vector<Channel>& order = scratch->slices.channels();
  const size_t rows = size_t(scratch->slices.slices()) * size_t(r - x);
  for (size_t c = 0; c < count && based; ++c) {
    const auto at = std::find(order.begin(), order.end(), Channel(traceLayers.channels[c]));
    means[c] = at != order.end() ? scratch->sliceMeans.data() + (2 + size_t(at - order.begin())) * rows : nullptr;
    picture[c] = seen[Channel(traceLayers.channels[c])];
    based = based && means[c];
  }
  scratch->sums.resize(ktTraceBase::sumFloats(traceLayers.layers.size()));
  const ktTraceBase seeThrough{scratch->sliceMeans.data(), scratch->sliceMeans.data() + rows, means, picture,
                               seen[Chan_Alpha], x, r - x, scratch->sums.data()};
  orvel::lensTraceRow(traceLayers, apertureSamples, based ? &seeThrough : nullptr, region, planes,
                      traced.writable(Chan_Alpha));
  for (size_t c = 0; c <= count; ++c) {
    const Channel z = c < count ? Channel(traceLayers.channels[c]) : Chan_Alpha;
    if (channels.contains(z) && settings.activeChannels.contains(z))
      std::copy(traced[z] + x, traced[z] + r, row.writable(z) + x);
  }
}
