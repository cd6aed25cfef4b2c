#include "ktPassSweep.h"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ktPassSweep.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "ktVectorLanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace orvel {
namespace HWY_NAMESPACE {

// Blocks side by side: each accumulator's additions run one after the other, so independent
// blocks keep the vector unit busy.
template <int kChannels>
void sweepBlocks(const PassRun* runs, int runCount, int start, int end, float* weight, float* const* colour) {
  constexpr int kBlocks = 2;
  const Tag d;
  const int lanes = int(hn::Lanes(d)), span = lanes * kBlocks;
  for (int x = start; x < end; x += span) {
    Vector w[kBlocks];
    Vector v[kBlocks][kChannels];
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = x + lanes * b, count = std::max(0, end - bx);
      w[b] = loadBlock(d, weight + bx, count);
      for (int c = 0; c < kChannels; ++c) v[b][c] = loadBlock(d, colour[c] + bx, count);
    }
    for (int p = 0; p < runCount; ++p) {
      const PassRun& run = runs[p];
      if (run.end <= x || run.begin >= x + span) continue;
      const Vector ws = hn::Set(d, run.weightScale);
      for (int b = 0; b < kBlocks; ++b) {
        const int bx = x + lanes * b;
        const int from = std::max(0, run.begin - bx), to = std::min(lanes, run.end - bx);
        if (to <= from) continue;
        const float* taps = run.taps + (bx - run.left);
        const Vector t = from == 0 && to == lanes ? hn::LoadU(d, taps) : loadLanes(d, taps, from, to);
        w[b] = hn::MulAdd(t, ws, w[b]);
        for (int c = 0; c < kChannels; ++c) v[b][c] = hn::MulAdd(t, hn::Set(d, run.scale[c]), v[b][c]);
      }
    }
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = x + lanes * b, count = end - bx;
      if (count <= 0) break;
      storeBlock(d, w[b], weight + bx, count);
      for (int c = 0; c < kChannels; ++c) storeBlock(d, v[b][c], colour[c] + bx, count);
    }
  }
}

// The channel count fixed at compile time keeps every accumulator in a register.
void sweepPassesTarget(const PassRun* runs, int runCount, int start, int end, float* weight,
                       float* const* colour, int channels) {
  switch (channels) {
    case 1:
      return sweepBlocks<1>(runs, runCount, start, end, weight, colour);
    case 2:
      return sweepBlocks<2>(runs, runCount, start, end, weight, colour);
    case 3:
      return sweepBlocks<3>(runs, runCount, start, end, weight, colour);
    default:
      return sweepBlocks<4>(runs, runCount, start, end, weight, colour);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace orvel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvel {
HWY_EXPORT(sweepPassesTarget);
}  // namespace orvel

void sweepPasses(const PassRun* runs, int runCount, int start, int end, float* weight, float* const* colour,
                 int channels) {
  HWY_DYNAMIC_DISPATCH(orvel::sweepPassesTarget)(runs, runCount, start, end, weight, colour, channels);
}
#endif  // HWY_ONCE
