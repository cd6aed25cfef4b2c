#include "ktColumnSweep.h"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ktColumnSweep.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "ktVectorLanes-inl.h"

HWY_BEFORE_NAMESPACE();
namespace orvel {
namespace HWY_NAMESPACE {

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
  const ktKernelRows::Span span = p.span;
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

// The row count fixed at compile time keeps every accumulator in a register.
void sweepColumnsTarget(const ColumnPass& p, int channels, float* const* rows, float* const* differences,
                        double* const* starts) {
  switch (channels) {
    case 1:
      return sweep<2>(p, rows, differences, starts);
    case 2:
      return sweep<3>(p, rows, differences, starts);
    case 3:
      return sweep<4>(p, rows, differences, starts);
    default:
      return sweep<5>(p, rows, differences, starts);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace orvel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace orvel {
HWY_EXPORT(sweepColumnsTarget);
}  // namespace orvel

// Blocks of 16 columns: member by member a pass costs a block per 16 taps and one more per member;
// column by column a block per 16 output columns, each one step per explicit tap and two for a run.
bool columnsPay(const ktKernelRows::Span& span, int count) {
  const int taps = span.end - span.begin, runTaps = span.runEnd - span.runBegin;
  const int steps = taps - runTaps + (runTaps > 0 ? 2 : 0) + 1;
  return (count + taps + 15) / 16 * steps < count * ((taps + 15) / 16 + 1);
}

void sweepColumns(const ColumnPass& p, int channels, float* const* rows, float* const* differences,
                  double* const* starts, float* coverage) {
  HWY_DYNAMIC_DISPATCH(orvel::sweepColumnsTarget)(p, channels, rows, differences, starts);
  // The run of member j covers columns origin + j + runBegin .. origin + j + runEnd - 1.
  const ktKernelRows::Span& span = p.span;
  if (span.runEnd <= span.runBegin) return;
  const int from = std::max(p.origin + span.runBegin, p.x);
  const int to = std::min(p.origin + span.runEnd + p.count - 1, p.r);
  if (to <= from) return;
  coverage[from] += 1.0f;
  if (to < p.r) coverage[to] -= 1.0f;
}
#endif  // HWY_ONCE
