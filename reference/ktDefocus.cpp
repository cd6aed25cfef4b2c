#include "ktDefocus.h"

#include <algorithm>

#include "ktScatter.h"

using namespace DD::Image;

namespace {

// Spreads every scatter into the slices of output row y over x .. r-1, made afresh for `channels`.
struct RowSpread {
  RowSpread(const ktRenderContext& ctx, const ChannelSet& channels, int y, int x, int r,
            ktSliceBuffers& slices)
      : ctx(ctx), y(y), x(x), r(r), slices(slices) {
    ktSliceOptions options;
    options.doubleSums = true;  // thousands of terms a column: their sums round once
    slices.reset(std::max(1, ctx.settings->correctiveSlices), channels, x, r, options);
  }
  void scatter(const ktScatter& sc) { orvel::convole(ctx, {y, x, r}, sc, slices); }
  void endPosition() {}
  const ktRenderContext& ctx;
  const int y, x, r;
  ktSliceBuffers& slices;
};

}  // namespace

namespace orvel {

void convole(const ktRenderContext& ctx, RowRegion region, const ktScatter& sc, ktSliceBuffers& slices) {
  const int rowY = region.y, rowX = region.x, rowR = region.r;
  const ktOrvelSettings& s = *ctx.settings;
  if (!ctx.kernels || ctx.kernels->empty() || rowR <= rowX) return;

  scatter::Pass passes[2];
  const int passCount = scatter::choosePasses(*ctx.kernels, sc.size, sc.weight, passes);
  if (passCount == 0) return;

  // Without chromatic aberration every channel shares the centre: test the reach once.
  const bool shifted = s.kChrAbb != 0.0f;
  if (!shifted) {
    bool any = false;
    for (int p = 0; p < passCount; ++p)
      any = any || scatter::reaches(sc.sx, sc.sy, passes[p].kernel->halfWidth, rowX, rowY, rowR);
    if (!any) return;
  }

  // Channels and passes add into separate rows, so one walk over the channels serves both passes.
  const std::vector<Channel>& channels = slices.channels();
  for (size_t c = 0; c < channels.size(); ++c) {
    double* colourSum = slices.colourSum(sc.slice, int(c));
    double* weightSum = slices.weightSum(sc.slice, int(c));
    float* colour = slices.colour(sc.slice, int(c));
    float* weights = slices.weight(sc.slice, int(c));
    if (colourSum && weightSum)
      scatter::spreadChannel(s, passes, passCount, channels[c], sc.sx, sc.sy, sc.size, sc.aberrationMatte,
                             sc.values[c], rowX, rowY, rowR, colourSum, weightSum);
    else if (colour && weights)
      scatter::spreadChannel(s, passes, passCount, channels[c], sc.sx, sc.sy, sc.size, sc.aberrationMatte,
                             sc.values[c], rowX, rowY, rowR, colour, weights);
  }
}

void defocus(const ktRenderContext& ctx, RowRegion region, Iop& input, Iop* mattes,
             const ChannelSet& channels, ktSliceBuffers& slices, Row& row) {
  const int y = region.y, x = region.x, r = region.r;
  if (r <= x) return;
  input.get(y, x, r, channels, row);
  const ChannelSet blurred = channels.intersection(ctx.settings->activeChannels);
  const int padding = std::max(0, ctx.padding);
  ktFlatWalk walk(ctx, input, mattes, blurred, x - padding, r + padding);
  RowSpread spread(ctx, blurred, y, x, r, slices);
  for (int sy = y - padding; sy <= y + padding; ++sy)
    walk.walk(sy, std::max(input.y(), std::min(sy, input.t())), spread);
  slices.composite(row);
}

void deepDefocus(const ktRenderContext& ctx, RowRegion region, Iop& input, Iop* mattes, DeepOp* deep,
                 DeepPass pass, const ChannelSet& channels, ktSliceBuffers& slices, Row& row) {
  const int y = region.y, x = region.x, r = region.r;
  input.get(y, x, r, channels, row);
  const ChannelSet blurred = channels.intersection(ctx.settings->activeChannels);
  if (!deep) {
    for (Channel z : blurred) std::fill(row.writable(z) + x, row.writable(z) + r, 0.0f);
    return;
  }
  const Box area = deepSourceArea(ctx, *deep);
  ktDeepWalk walk(ctx, input, mattes, *deep, blurred, pass, x - ctx.padding, r + ctx.padding);
  RowSpread spread(ctx, blurred, y, x, r, slices);
  for (int sy = y - ctx.padding; sy <= y + ctx.padding; ++sy)
    walk.walk(sy, std::max(area.y(), std::min(sy, area.t() - 1)), spread);
  slices.composite(row);
}

}  // namespace orvel
