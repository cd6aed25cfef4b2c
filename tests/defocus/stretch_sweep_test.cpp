// The stretch sweeps: the vector sweep and the plain one give, bit for bit, what adding every tap
// of every member's kernel rows one scatter after the other gives, for any channel count, one or
// two passes, clipped rows and channels picked out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ktStretchSweep.h"

namespace {

struct SweepCase {
  const char* name;
  int channels;
  int passes;
  int widths[2];     // kernel row widths (odd)
  int zeros[2];      // zero taps at each end of the row
  int count;         // members
  int sx0;           // first member's column
  int x, r;          // output row
  bool reorder;      // channels read from the scales in reverse
  bool padded;       // kernel rows with 16 zeros beyond both ends
};

// Rows indexed by absolute column over x .. r-1, filled with the same pseudo-random values.
struct Rows {
  Rows(int channels, int x, int r, unsigned seed) : x(x), weightStore(size_t(r - x)) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(0.5f, 2.0f);
    for (float& v : weightStore) v = value(random);
    colourStore.assign(size_t(channels), std::vector<float>(size_t(r - x)));
    for (auto& row : colourStore)
      for (float& v : row) v = value(random);
    for (auto& row : colourStore) colour.push_back(row.data() - x);
  }
  float* weight() { return weightStore.data() - x; }
  int x;
  std::vector<float> weightStore;
  std::vector<std::vector<float>> colourStore;
  std::vector<float*> colour;
};

class StretchSweeps : public ::testing::TestWithParam<SweepCase> {
 protected:
  void SetUp() override {
    const SweepCase& c = GetParam();
    std::mt19937 random(11);
    std::uniform_real_distribution<float> tap(0.001f, 0.1f), share(0.05f, 1.0f), scale(-3.0f, 3.0f);
    // Each row stands between NaN canaries (past the zeros of a padded row): a sweep reading
    // beyond what it may read turns the rows into NaN.
    const int gap = c.padded ? ktKernelRows::kRowGap : 0;
    for (int p = 0; p < c.passes; ++p) {
      taps[p].assign(size_t(2 * (kCanaries + gap) + c.widths[p]), std::numeric_limits<float>::quiet_NaN());
      std::fill(taps[p].begin() + kCanaries, taps[p].end() - kCanaries, 0.0f);
      for (int i = c.zeros[p]; i < c.widths[p] - c.zeros[p]; ++i) tap0(p)[i] = tap(random);
    }
    members.resize(size_t(c.count));
    for (ktSourceMap::Scales& m : members) {
      for (int q = 0; q < 2; ++q) {
        m.passWeight[q] = share(random);
        for (float& v : m.scale[q]) v = scale(random);
      }
    }
    // The stretch as the fast engine lays it out: pass p of the row is pass 1 - p of the
    // members when there are two, to check the sweeps follow `pass`.
    row.members = members.data();
    row.count = c.count;
    row.passes = c.passes;
    row.sx0 = c.sx0;
    row.x = c.x;
    row.r = c.r;
    row.start = c.r;
    row.end = c.x;
    for (int p = 0; p < c.passes; ++p) {
      const int half = c.widths[p] / 2;
      row.pass[p] = c.passes == 2 ? 1 - p : 0;
      row.taps[p] = tap0(p);
      row.padded[p] = c.padded;
      row.halfWidth[p] = half;
      row.lo[p] = c.zeros[p] - half;
      row.hi[p] = c.widths[p] - c.zeros[p] - half;
      row.start = std::min(row.start, std::max(c.sx0 + row.lo[p], c.x));
      row.end = std::max(row.end, std::min(c.sx0 + c.count - 1 + row.hi[p], c.r));
    }
    for (int i = 0; i < c.channels; ++i) row.index[i] = c.reorder ? c.channels - 1 - i : i;
  }

  // Every tap of every member's passes, one scatter after the other.
  void addOneByOne(Rows& rows) const {
    const SweepCase& c = GetParam();
    const int gap = c.padded ? ktKernelRows::kRowGap : 0;
    for (int j = 0; j < c.count; ++j)
      for (int p = 0; p < c.passes; ++p) {
        const ktSourceMap::Scales& m = members[size_t(j)];
        const int q = row.pass[p];
        const int left = c.sx0 + j - c.widths[p] / 2;
        for (int i = 0; i < c.widths[p]; ++i) {
          const int column = left + i;
          if (column < c.x || column >= c.r) continue;
          const float t = taps[p][size_t(kCanaries + gap) + size_t(i)];
          rows.weight()[column] += t * m.passWeight[q];
          for (int ch = 0; ch < c.channels; ++ch) rows.colour[size_t(ch)][column] += t * m.scale[q][row.index[ch]];
        }
      }
  }

  void expectSame(const Rows& expected, const Rows& got, const char* sweep) const {
    ASSERT_EQ(got.weightStore, expected.weightStore) << sweep << ": weight row";
    for (size_t ch = 0; ch < expected.colourStore.size(); ++ch)
      ASSERT_EQ(got.colourStore[ch], expected.colourStore[ch]) << sweep << ": colour row " << ch;
  }

  static constexpr int kCanaries = 32;
  float* tap0(int p) { return taps[p].data() + kCanaries + (GetParam().padded ? ktKernelRows::kRowGap : 0); }

  std::vector<float> taps[2];
  std::vector<ktSourceMap::Scales> members;
  StretchRow row{};
};

TEST_P(StretchSweeps, EqualAddingEveryTapOneScatterAfterTheOther) {
  const SweepCase& c = GetParam();
  Rows expected(c.channels, c.x, c.r, 3);
  addOneByOne(expected);
  // The stretch really adds something to the row, or the case tests nothing.
  ASSERT_NE(expected.weightStore, Rows(c.channels, c.x, c.r, 3).weightStore);

  Rows plain(c.channels, c.x, c.r, 3);
  if (row.end > row.start) sweepStretchPlain(row, c.channels, plain.weight(), plain.colour.data());
  expectSame(expected, plain, "plain");

  if (!__builtin_cpu_supports("avx512f")) GTEST_SKIP() << "no AVX-512 here: only the plain sweep was checked";
  Rows vector(c.channels, c.x, c.r, 3);
  if (row.end > row.start) sweepStretchAvx512(row, c.channels, vector.weight(), vector.colour.data());
  expectSame(expected, vector, "AVX-512");
}

INSTANTIATE_TEST_SUITE_P(
    Stretches, StretchSweeps,
    ::testing::Values(
        SweepCase{"one_channel_one_pass", 1, 1, {5, 0}, {0, 0}, 7, 20, 0, 64, false, false},
        SweepCase{"rgba_two_passes", 4, 2, {9, 11}, {1, 2}, 40, 10, 0, 80, false, false},
        SweepCase{"rgb_reordered", 3, 2, {17, 19}, {3, 0}, 25, 30, 5, 90, true, false},
        SweepCase{"two_channels_wide_kernels", 2, 2, {61, 63}, {10, 12}, 50, 40, 0, 160, false, false},
        SweepCase{"clipped_left_and_right", 4, 2, {33, 35}, {2, 4}, 60, -10, 8, 37, false, false},
        SweepCase{"row_narrower_than_one_block", 4, 1, {21, 0}, {0, 0}, 12, 3, 6, 15, false, false},
        SweepCase{"single_member", 4, 2, {3, 5}, {0, 1}, 1, 50, 40, 60, true, false},
        SweepCase{"single_tap_kernels", 4, 2, {1, 1}, {0, 0}, 100, 0, 0, 100, false, false},
        SweepCase{"padded_rgba_two_passes", 4, 2, {9, 11}, {1, 2}, 40, 10, 0, 80, false, true},
        SweepCase{"padded_clipped_left_and_right", 4, 2, {33, 35}, {2, 4}, 60, -10, 8, 37, false, true},
        SweepCase{"padded_row_narrower_than_one_block", 3, 1, {21, 0}, {0, 0}, 12, 3, 6, 15, true, true},
        SweepCase{"padded_single_tap_kernels", 4, 2, {1, 1}, {0, 0}, 100, 0, 0, 100, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
