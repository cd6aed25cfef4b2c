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
  ChannelSet need = channels;
  in_channels(kInput, need);
  if (aborted()) return;
  Interest interest(*input(kInput), need, false, nullptr);
  switch (settings.outputType) {
    case kFocalDistance:
    case kFocusMatte:
      if (settings.deepInput && deepOp())
        deepDepthVisualization(y, x, r, channels, out);
      else
        depthVisualization(y, x, r, channels, out);
      break;
    case kFilterShape:
      kernelVisualization(y, x, r, channels, out);
      break;
    default:
      if (settings.deepInput && deepOp())
        deepPath(y, x, r, channels, out);
      else
        defocus(y, x, r, channels, out);
      break;
  }
  interest.unlock();
}

void ktOrvel::deepPath(int y, int x, int r, const ChannelSet& channels, Row& out) {
  input(kInput)->get(y, x, r, channels, out);
  if (tracesLens()) {
    lensTrace(y, x, r, channels, out);
    return;
  }
  if (!settings.integrateFrontAndBackSeperately) {
    deepDefocus(y, x, r, channels, out, 0);
    return;
  }
  Row front(x, r);
  Row back(x, r);
  if (settings.focusOutput != kFocusBack) deepDefocus(y, x, r, channels + ChannelSet(Chan_Alpha), front, 1);
  if (settings.focusOutput != kFocusFront) deepDefocus(y, x, r, channels, back, 2);
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
void ktOrvel::defocus(int y, int x, int r, const ChannelSet& channels, Row& row) {
  if (kernels.empty()) {
    input(kInput)->get(y, x, r, channels, row);
    return;
  }
  const auto scratch = rowScratch.take();
  if (!referenceEngine && sourceBands.covers(y, x, r, padding) &&
      fastDefocus(renderContext(), sourceBands, *input(kInput), y, x, r, channels, *scratch, row))
    return;
  ::defocus(renderContext(), *input(kInput), optionalInput(kMattes), y, x, r, channels, scratch->slices, row);
}

void ktOrvel::deepDefocus(int y, int x, int r, const ChannelSet& channels, Row& row, int pass) {
  if (kernels.empty()) return;
  const auto scratch = rowScratch.take();
  if (!referenceEngine && pass >= 0 && pass < 3 && deepBands[pass].covers(y, x, r, padding) &&
      fastDefocus(renderContext(), deepBands[pass], *input(kInput), y, x, r, channels, *scratch, row))
    return;
  ::deepDefocus(renderContext(), *input(kInput), optionalInput(kMattes), deepOp(), y, x, r, channels,
                scratch->slices, row, pass);
}

void ktOrvel::depthVisualization(int y, int x, int r, const ChannelSet& channels, Row& row) {
  ::depthVisualization(renderContext(), *input(kInput), y, x, r, channels, row);
}

void ktOrvel::deepDepthVisualization(int y, int x, int r, const ChannelSet& channels, Row& row) {
  if (DeepOp* deep = deepOp())
    ::deepDepthVisualization(renderContext(), *input(kInput), *deep, y, x, r, channels, row);
}

void ktOrvel::kernelVisualization(int y, int x, int r, const ChannelSet& channels, Row& row) {
  ::kernelVisualization(heroKernel, settings.activeChannels, y, x, r, channels, row);
}

// The gather writes the traced channels and alpha; any other channel keeps the flat input.
void ktOrvel::lensTrace(int y, int x, int r, const ChannelSet& channels, Row& row) {
  if (!traceLayers.built) return;
  Row traced(x, r);
  float* planes[kMaxTracedChannels] = {};
  const size_t count = std::min(traceLayers.channels.size(), size_t(kMaxTracedChannels));
  for (size_t c = 0; c < count; ++c) planes[c] = traced.writable(Channel(traceLayers.channels[c]));
  lensTraceRow(traceLayers, apertureSamples, y, x, r, planes, traced.writable(Chan_Alpha));
  for (size_t c = 0; c <= count; ++c) {
    const Channel z = c < count ? Channel(traceLayers.channels[c]) : Chan_Alpha;
    if (channels.contains(z) && settings.activeChannels.contains(z))
      std::copy(traced[z] + x, traced[z] + r, row.writable(z) + x);
  }
}
