// Which pieces a walk keeps by focus region. With front and back integrated separately, the deep
// input is walked once for the front pieces and once for the back ones; otherwise once for all.
#pragma once

#include "ktDepthToCoc.h"
#include "ktOrvelSettings.h"

enum class DeepPass : int { All = 0, Front = 1, Back = 2 };

// Whether `pass` keeps a piece of `region`: every piece, or those of its own region. A piece
// whose depth cannot be ordered against the focal plane belongs to neither region.
inline bool passKeeps(DeepPass pass, FocusRegion region) {
  if (pass == DeepPass::All) return true;
  return region == (pass == DeepPass::Front ? FocusRegion::Front : FocusRegion::Back);
}

// The pass that keeps what the focus output names: front, back, or (for both) all.
inline DeepPass focusOutputPass(int focusOutput) {
  if (focusOutput == kFocusFront) return DeepPass::Front;
  if (focusOutput == kFocusBack) return DeepPass::Back;
  return DeepPass::All;
}
