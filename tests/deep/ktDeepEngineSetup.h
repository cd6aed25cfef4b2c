// A hand-built render for the deep engine tests: settings, a bank of box kernels (entry k a
// side x side block of 1 / side^2, side = k or k - 1, at least 1), slice boundaries and the
// read-only context over them, plus a helper that runs one output row.
#pragma once

#include <vector>

#include "DDImage/DeepOp.h"
#include "standin/OwnedRow.h"
#include "DDImage/Iop.h"
#include "DDImage/Row.h"
#include "ktChannelFloatBuffer.h"
#include "ktDeepDefocus.h"
#include "ktRenderContext.h"

namespace deeptest {

inline int boxSide(int k) { return k < 1 ? 1 : (k % 2 != 0 ? k : k - 1); }

struct EngineSetup {
  ktOrvelSettings settings;
  std::vector<ktChannelFloatBuffer> bank;
  std::vector<float> sliceDepths;
  ktRenderContext ctx;

  // Artistic lens, focal plane 10, focus region 0 .. 20, no blur anywhere, one slice, no bloom.
  EngineSetup(int width, int height, int kernelSizeLimit, int padding) {
    settings.activeChannels = DD::Image::Mask_RGBA;
    settings.realWorldLens = false;
    settings.multiplier = 0.0f;
    settings.bloom = 0.0f;
    settings.kChrAbb = 0.0f;
    settings.contextScale = 1.0f;
    setFocus(10.0f, 20.0f);
    setSlices({});
    bank.resize(size_t(kernelSizeLimit) + 5);
    for (size_t k = 0; k < bank.size(); ++k) {
      const int side = boxSide(int(k));
      bank[k].init(settings.activeChannels, side, side);
      for (DD::Image::Channel z : settings.activeChannels)
        for (float& v : bank[k].planes[z]) v = 1.0f / float(side * side);
    }
    ctx.settings = &settings;
    ctx.kernels = &bank;
    ctx.sliceDepths = &sliceDepths;
    ctx.padding = padding;
    ctx.kernelSizeLimit = kernelSizeLimit;
    ctx.format = DD::Image::Format(width, height);
  }

  void setFocus(float focalPlane, float regionSize) {
    settings.focalPlane = focalPlane;
    settings.focusRegionSize = regionSize;
    settings.focusHalfSize = regionSize * 0.5f;
    settings.focusHalfSizeInv = 1.0f / settings.focusHalfSize;
    settings.focusNear = focalPlane - settings.focusHalfSize;
    settings.focusFar = focalPlane + settings.focusHalfSize;
    settings.focusRange = settings.focusFar - settings.focusNear;
  }

  // Boundaries ascending from 0; one slice when empty.
  void setSlices(const std::vector<float>& boundaries) {
    sliceDepths = boundaries;
    settings.correctiveSlices = boundaries.empty() ? 1 : int(boundaries.size());
  }

  standin::OwnedRow run(DD::Image::Iop& flat, DD::Image::DeepOp* deep, int y, int x, int r,
                        const DD::Image::ChannelSet& channels, int pass, DD::Image::Iop* mattes = nullptr) const {
    standin::OwnedRow row(x, r);
    deepDefocus(ctx, flat, mattes, deep, y, x, r, channels, row.row(), pass);
    return row;
  }
};

}  // namespace deeptest
