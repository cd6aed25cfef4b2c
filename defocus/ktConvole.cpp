#include "ktConvole.h"

#include "ktScatter.h"

#include <algorithm>
#include <cmath>

using DD::Image::Channel;
using namespace scatter;


void convole(const ktRenderContext& ctx, int bloomX, int bloomY, int rowX, int rowY, int rowR, int srcX,
             int srcY, float size, size_t slice, float weight, const float* pixel, ktSliceRows& colourRows,
             ktSliceRows& weightRows, const DD::Image::ChannelSet& channels, const float& bloomMatte,
             const float& aberrationMatte) {
  const ktOrvelSettings& s = *ctx.settings;
  if (!ctx.kernels || ctx.kernels->empty() || rowR <= rowX) return;

  Pass passes[2];
  const int passCount = choosePasses(*ctx.kernels, size, weight, passes);
  if (passCount == 0) return;

  // Without chromatic aberration every channel shares the centre: test the reach once.
  const bool shifted = s.kChrAbb != 0.0f;
  if (!shifted) {
    bool any = false;
    for (int p = 0; p < passCount; ++p)
      any = any || reaches(srcX, srcY, passes[p].kernel->halfWidth, rowX, rowY, rowR);
    if (!any) return;
  }

  const float bloomAmount = bloomLevel(s, ctx.format, bloomX, bloomY) * bloomMatte;

  // Channels and passes add into separate rows, so one walk over the channels serves both
  // passes; it stops at the last channel instead of scanning every id after it.
  unsigned remaining = channels.size();
  for (Channel z : channels) {
    float* colour = colourRows[slice][z];
    float* weights = weightRows[slice][z];
    if (s.activeChannels.contains(z) && colour && weights) {
      const float d = chromaticShift(s, z, size, aberrationMatte);
      const long long cx = shifted ? truncCoordinate(static_cast<float>(srcX) + d) : srcX;
      const long long cy = shifted ? truncCoordinate(d + static_cast<float>(srcY)) : srcY;
      const float v = scatteredValue(s, z, pixel[z], bloomAmount);
      for (int p = 0; p < passCount; ++p)
        scatterPass(passes[p], z, cx, cy, rowX, rowY, rowR, v, colour, weights);
    }
    if (--remaining == 0) break;
  }
}
