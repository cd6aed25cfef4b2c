#include "ktSweeps.h"

#include <algorithm>
#include <type_traits>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ktSweeps.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "ktVectorLanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace orvel {
namespace HWY_NAMESPACE {

// Calls f with the channel count (1 to 4) fixed at compile time, which keeps every accumulator
// in a register.
template <class F>
HWY_INLINE void withChannels(int channels, const F& f) {
  switch (channels) {
    case 1:
      return f(std::integral_constant<int, 1>());
    case 2:
      return f(std::integral_constant<int, 2>());
    case 3:
      return f(std::integral_constant<int, 3>());
    default:
      return f(std::integral_constant<int, 4>());
  }
}

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

void sweepStretchTarget(const StretchRow& s, int channels, float* weight, float* const* colour) {
  withChannels(channels, [&](auto k) { sweepBlocks<decltype(k)::value>(s, weight, colour); });
}

// Adds tap * signal[k0 + lane] (zero outside 0 .. count-1) to each of the kRows accumulators.
template <int kRows>
HWY_INLINE void addTap(Tag d, Vector tap, const float* const* signal, int k0, int count, Vector* acc) {
  const int lanes = int(hn::Lanes(d));
  if (k0 >= 0 && k0 + lanes <= count) {
    for (int c = 0; c < kRows; ++c) acc[c] = hn::MulAdd(tap, hn::LoadU(d, signal[c] + k0), acc[c]);
    return;
  }
  // The signal is readable beyond its ends: load whole vectors, keep the members' lanes.
  const auto inside = hn::AndNot(hn::FirstN(d, size_t(std::max(0, -k0))), hn::FirstN(d, size_t(count - k0)));
  for (int c = 0; c < kRows; ++c)
    acc[c] = hn::MulAdd(tap, hn::IfThenElseZero(inside, hn::LoadU(d, signal[c] + k0)), acc[c]);
}

// What the run adds at column x - 1, for a pass whose run begins left of the row: with the
// differences from x on, it makes the whole of every column.
template <int kRows>
void addRunBefore(const ColumnPass& p, double* const* starts) {
  const int k1 = std::min(p.count, p.x - p.origin - p.span.runBegin);  // one past the last member
  const int k0 = std::max(0, p.x - p.origin - p.span.runEnd);
  for (int c = 0; c < kRows; ++c) {
    double sum = 0.0;
    for (int k = k0; k < k1; ++k) sum += p.signal[c][k];
    *starts[c] += double(p.span.run) * sum;
  }
}

// Adds taps[i] * signal[column - i + lane] for i in from .. to-1 (column = X - origin): a whole
// vector of members for taps i in column - count + lanes .. column, the members' lanes for the others.
template <int kRows>
HWY_INLINE void addTaps(Tag d, const float* taps, int from, int to, const float* const* signal, int column,
                        int count, Vector* acc) {
  const int lanes = int(hn::Lanes(d));
  const int fullFrom = std::max(from, column - count + lanes), fullTo = std::min(to, column + 1);
  if (fullTo <= fullFrom) {
    for (int i = from; i < to; ++i) addTap<kRows>(d, hn::Set(d, taps[i]), signal, column - i, count, acc);
    return;
  }
  for (int i = from; i < fullFrom; ++i) addTap<kRows>(d, hn::Set(d, taps[i]), signal, column - i, count, acc);
  const float* base[kRows];
  for (int c = 0; c < kRows; ++c) base[c] = signal[c] + column;
  for (int i = fullFrom; i < fullTo; ++i) {
    const Vector t = hn::Set(d, taps[i]);
    for (int c = 0; c < kRows; ++c) acc[c] = hn::MulAdd(t, hn::LoadU(d, base[c] - i), acc[c]);
  }
  for (int i = fullTo; i < to; ++i) addTap<kRows>(d, hn::Set(d, taps[i]), signal, column - i, count, acc);
}

template <int kRows>
void sweep(const ColumnPass& p, float* const* rowsIn, float* const* differencesIn, double* const* starts) {
  const Tag d;
  const int lanes = int(hn::Lanes(d));
  const ktKernelSpan span = p.span;
  const bool run = span.runEnd > span.runBegin;
  const int n = p.count;
  // A run's difference terms reach one column beyond its last tap.
  const int first = std::max(p.origin + span.begin, p.x), last = std::min(p.origin + span.end + n, p.r);
  if (last <= first) return;
  float* rows[kRows];
  float* differences[kRows];
  const float* signal[kRows];
  for (int c = 0; c < kRows; ++c) {
    rows[c] = rowsIn[c];
    differences[c] = differencesIn[c];
    signal[c] = p.signal[c];
  }
  if (run && p.origin + span.runBegin < p.x && first == p.x) addRunBefore<kRows>(p, starts);
  const Vector runValue = hn::Set(d, span.run), minusRun = hn::Set(d, -span.run);
  // The explicit taps: begin .. edgeEnd-1 and edgeBegin .. end-1.
  const int edgeEnd = run ? span.runBegin : span.end, edgeBegin = run ? span.runEnd : span.end;
  for (int X = first; X < last; X += lanes) {
    const int count = last - X;
    Vector acc[kRows];
    for (int c = 0; c < kRows; ++c) acc[c] = loadBlock(d, rows[c] + X, count);
    // Taps i reach this block when X - origin - i lies in (-lanes, n); the run goes by differences.
    const int column = X - p.origin;
    const int iFrom = std::max<int>(span.begin, column - n + 1),
              iTo = std::min<int>(span.end, column + lanes);
    addTaps<kRows>(d, p.taps, iFrom, std::min(iTo, edgeEnd), signal, column, n, acc);
    addTaps<kRows>(d, p.taps, std::max(iFrom, edgeBegin), iTo, signal, column, n, acc);
    for (int c = 0; c < kRows; ++c) storeBlock(d, acc[c], rows[c] + X, count);
    if (!run) continue;
    const int kBegin = X - p.origin - span.runBegin, kEnd = X - p.origin - span.runEnd;
    if (kEnd >= n || kBegin + lanes <= 0) continue;
    Vector dif[kRows];
    for (int c = 0; c < kRows; ++c) dif[c] = loadBlock(d, differences[c] + X, count);
    if (kBegin < n) addTap<kRows>(d, runValue, signal, kBegin, n, dif);
    if (kEnd + lanes > 0) addTap<kRows>(d, minusRun, signal, kEnd, n, dif);
    for (int c = 0; c < kRows; ++c) storeBlock(d, dif[c], differences[c] + X, count);
  }
}

// The weight row and the colour rows.
void sweepColumnsTarget(const ColumnPass& p, int channels, float* const* rows, float* const* differences,
                        double* const* starts) {
  withChannels(channels, [&](auto k) { sweep<decltype(k)::value + 1>(p, rows, differences, starts); });
}

}  // namespace HWY_NAMESPACE
}  // namespace orvel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvel {
HWY_EXPORT(sweepStretchTarget);
HWY_EXPORT(sweepColumnsTarget);
}  // namespace orvel

void sweepStretch(const StretchRow& s, int channels, float* weight, float* const* colour) {
  HWY_DYNAMIC_DISPATCH(orvel::sweepStretchTarget)(s, channels, weight, colour);
}

// Blocks of 16 columns: member by member a pass costs a block per 16 taps and one more per member;
// column by column a block per 16 output columns, each one step per explicit tap and two for a run.
bool columnsPay(const ktKernelSpan& span, int count) {
  const int taps = span.end - span.begin, runTaps = span.runEnd - span.runBegin;
  const int steps = taps - runTaps + (runTaps > 0 ? 2 : 0) + 1;
  return (count + taps + 15) / 16 * steps < count * ((taps + 15) / 16 + 1);
}

void sweepColumns(const ColumnPass& p, int channels, float* const* rows, float* const* differences,
                  double* const* starts, float* coverage) {
  HWY_DYNAMIC_DISPATCH(orvel::sweepColumnsTarget)(p, channels, rows, differences, starts);
  // The run of member j covers columns origin + j + runBegin .. origin + j + runEnd - 1.
  const ktKernelSpan& span = p.span;
  if (span.runEnd <= span.runBegin) return;
  const int from = std::max(p.origin + span.runBegin, p.x);
  const int to = std::min(p.origin + span.runEnd + p.count - 1, p.r);
  if (to <= from) return;
  coverage[from] += 1.0f;
  if (to < p.r) coverage[to] -= 1.0f;
}
#endif  // HWY_ONCE
