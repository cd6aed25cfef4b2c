// What the deep row engine and the deep source map share about the pieces of a deep pixel: where
// each piece lies and blurs, when a pixel counts as covered, and where its remainder goes.
#pragma once

#include <algorithm>
#include <cstddef>

#include "DDImage/DeepPixel.h"
#include "ktDepthToCoc.h"
#include "ktLensValues.h"
#include "ktRenderContext.h"

// A pixel whose uncovered share is below this counts as fully covered.
constexpr float kCoveredEpsilon = 1e-6f;

inline size_t deepSliceOf(const ktRenderContext& ctx, float depth) {
  if (!ctx.sliceDepths) return 0;
  return static_cast<size_t>(sliceIndex(*ctx.sliceDepths, ctx.settings->correctiveSlices, depth));
}

// The depth channel of the pieces: deep back when the node's depth channel says so, else front.
inline DD::Image::Channel pieceDepthChannel(const ktOrvelSettings& s) {
  return s.depthChannel == DD::Image::Chan_DeepBack ? DD::Image::Chan_DeepBack : DD::Image::Chan_DeepFront;
}

// One piece as the walk sees it: its slice, blur and focus region.
struct DeepPiece {
  size_t slice;
  CocSample coc;
};

// Pieces outside the focus region are clamped onto it without the real-world lens.
inline DeepPiece deepPiece(const ktRenderContext& ctx, const DD::Image::DeepPixel& pieces, size_t j,
                           DD::Image::Channel depthChannel) {
  const ktOrvelSettings& s = *ctx.settings;
  float depth = pieces.getUnorderedSample(j, depthChannel);
  if (!s.realWorldLens) depth = std::min(std::max(depth, s.focusNear), s.focusFar);
  return {deepSliceOf(ctx, depth), depthToCoc(s, ctx.kernelSizeLimit, depth, DepthKind::Deep)};
}

// Where and how far the uncovered remainder of a source pixel spreads: transparent coverage at
// the farthest depth the lens model can see.
struct FarRemainder {
  float size;
  size_t slice;
};

inline FarRemainder farRemainder(const ktRenderContext& ctx) {
  const ktOrvelSettings& s = *ctx.settings;
  const float farDepth = s.realWorldLens ? kFarDepth : s.focusFar;
  const float coc = depthToCoc(s, ctx.kernelSizeLimit, farDepth, DepthKind::Deep).coc;
  return {std::max(coc, 1.0f), deepSliceOf(ctx, farDepth)};
}

// The channels asked of the deep input: what it offers of the work set, without Z (each piece
// carries its own depths), plus alpha and the deep front and back depths.
inline DD::Image::ChannelSet deepRequestSet(const DD::Image::ChannelSet& offered, const DD::Image::ChannelSet& work) {
  DD::Image::ChannelSet request = offered.intersection(work);
  request -= DD::Image::Chan_Z;
  request += DD::Image::Chan_Alpha;
  request += DD::Image::Chan_DeepFront;
  request += DD::Image::Chan_DeepBack;
  return request;
}
