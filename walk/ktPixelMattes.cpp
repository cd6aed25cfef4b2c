#include "ktPixelMattes.h"

using namespace DD::Image;

void ktMatteRow::fetch(const ktRenderContext& ctx, Iop* mattes, int y) {
  const ktOrvelSettings& s = *ctx.settings;
  const bool any = mattes && !ctx.matteChannels.empty();
  if (any) row_.get(*mattes, y, left_, right_, ctx.matteChannels);
  of_[0] = any && ctx.hasBloomMatte ? row_[s.bloomMatteChannel] : nullptr;
  of_[1] = any && ctx.hasDefocusMatte ? row_[s.defocusMatteChannel] : nullptr;
  of_[2] = any && ctx.hasChromicAberrationMatte ? row_[s.chromicAberrationMatteChannel] : nullptr;
}
