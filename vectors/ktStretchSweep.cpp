#include "ktStretchSweep.h"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ktStretchSweep.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "ktVectorLanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace orvel {
namespace HWY_NAMESPACE {

// The stretch in one sweep of blocks, two side by side: per column the members are added in
// order, each its first pass then its second; the blocks visit only the members whose taps
// reach them, and share each member's scales.
template <int kChannels>
void sweepBlocks(const StretchRow& row, float* weight, float* const* colourIn) {
  constexpr int kBlocks = 2;
  const Tag d;
  const int lanes = int(hn::Lanes(d)), span = lanes * kBlocks;
  // Local copies: the stores into the rows below cannot touch them, so they stay in registers.
  const StretchRow s = row;
  float* colour[kChannels];
  for (int c = 0; c < kChannels; ++c) colour[c] = colourIn[c];
  for (int X = s.start; X < s.end; X += span) {
    Vector w[kBlocks];
    Vector v[kBlocks][kChannels];
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = X + lanes * b, count = std::max(0, s.end - bx);
      w[b] = loadBlock(d, weight + bx, count);
      for (int c = 0; c < kChannels; ++c) v[b][c] = loadBlock(d, colour[c] + bx, count);
    }
    // The members whose taps of some pass reach columns X .. X + span - 1.
    int from = s.count, to = 0;
    for (int p = 0; p < s.passes; ++p) {
      from = std::min(from, std::max(0, X - s.sx0 - s.hi[p] + 1));
      to = std::max(to, std::min(s.count, X + span - s.sx0 - s.lo[p]));
    }
    for (int j = from; j < to; ++j) {
      for (int p = 0; p < s.passes; ++p) {
        const int lo = std::max(s.sx0 + j + s.lo[p], s.x), hi = std::min(s.sx0 + j + s.hi[p], s.r);
        if (hi <= X || lo >= X + span) continue;
        const Vector ws = hn::Set(d, s.weight[p][j]);
        Vector scale[kChannels];
        for (int c = 0; c < kChannels; ++c) scale[c] = hn::Set(d, s.scale[p][c][j]);
        const float* taps = s.taps[p] + (X - (s.sx0 + j - s.halfWidth[p]));
        for (int b = 0; b < kBlocks; ++b) {
          const int bx = X + lanes * b;
          if (hi <= bx || lo >= bx + lanes) continue;
          // Lanes outside the member's taps read zeros from a padded row, or are left out.
          const Vector t =
              s.padded[p] || (lo <= bx && hi >= bx + lanes)
                  ? hn::LoadU(d, taps + lanes * b)
                  : loadLanes(d, taps + lanes * b, std::max(0, lo - bx), std::min(lanes, hi - bx));
          w[b] = hn::MulAdd(t, ws, w[b]);
          for (int c = 0; c < kChannels; ++c) v[b][c] = hn::MulAdd(t, scale[c], v[b][c]);
        }
      }
    }
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = X + lanes * b, count = s.end - bx;
      if (count <= 0) break;
      storeBlock(d, w[b], weight + bx, count);
      for (int c = 0; c < kChannels; ++c) storeBlock(d, v[b][c], colour[c] + bx, count);
    }
  }
}

// The channel count fixed at compile time keeps every accumulator in a register.
void sweepStretchTarget(const StretchRow& s, int channels, float* weight, float* const* colour) {
  switch (channels) {
    case 1: return sweepBlocks<1>(s, weight, colour);
    case 2: return sweepBlocks<2>(s, weight, colour);
    case 3: return sweepBlocks<3>(s, weight, colour);
    default: return sweepBlocks<4>(s, weight, colour);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace orvel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvel {
HWY_EXPORT(sweepStretchTarget);
}  // namespace orvel

void sweepStretch(const StretchRow& s, int channels, float* weight, float* const* colour) {
  HWY_DYNAMIC_DISPATCH(orvel::sweepStretchTarget)(s, channels, weight, colour);
}
#endif  // HWY_ONCE
