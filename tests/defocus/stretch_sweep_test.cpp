// The stretch sweeps, member by member and column by column (constant runs through difference
// rows), against adding every tap of every member's kernel rows one scatter after the other, on
// every vector target this processor runs: per row, the largest difference at most 1e-5 of the
// row's largest value. Any channel count, one or two passes, runs of equal taps or none, clipped
// rows, and NaN canaries wherever a sweep must not read or must leave out what it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ktSimdTarget.h"
#include "ktSliceBuffers.h"
#include "ktSourceMap.h"
#include "ktSweeps.h"

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
  int run;           // equal taps in the middle of each row
  bool padded;       // kernel rows with 16 zeros beyond both ends
};
void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The rows of one slice over x .. r-1, with their difference rows, filled with the same
// pseudo-random values: row 0 the weight, 1 .. channels the colour.
struct Rows {
  Rows(int channels, int x, int r, unsigned seed)
      : buffers(1, DD::Image::ChannelSet(DD::Image::Mask_RGBA).intersection(mask(channels)), x, r, options()),
        x(x),
        r(r) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(0.5f, 2.0f);
    row.push_back(buffers.weight(0, 0));
    difference.push_back(buffers.weightDifference(0, 0));
    start.push_back(buffers.runStarts(0) + channels);
    for (int c = 0; c < channels; ++c) {
      row.push_back(buffers.colour(0, c));
      difference.push_back(buffers.colourDifference(0, c));
      start.push_back(buffers.runStarts(0) + c);
    }
    for (float* v : row) std::generate(v + x, v + r, [&] { return value(random); });
  }
  static ktSliceOptions options() {
    ktSliceOptions o;
    o.sharedWeights = o.differences = true;
    return o;
  }
  static DD::Image::ChannelSet mask(int channels) {
    DD::Image::ChannelSet set;
    for (int c = 0; c < channels; ++c) set += DD::Image::Channel(1 + c);
    return set;
  }
  ktSliceBuffers buffers;
  int x, r;
  std::vector<float*> row, difference;
  std::vector<double*> start;
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
      taps[p].assign(size_t(2 * (kCanaries + gap) + c.widths[p]), kNaN);
      std::fill(taps[p].begin() + kCanaries, taps[p].end() - kCanaries, 0.0f);
      span[p] = {uint16_t(c.zeros[p]), uint16_t(c.widths[p] - c.zeros[p]), 0, 0, tap(random)};
      if (c.run > 0) {
        span[p].runBegin = uint16_t((c.widths[p] - c.run) / 2);
        span[p].runEnd = uint16_t(span[p].runBegin + c.run);
      }
      for (int i = span[p].begin; i < span[p].end; ++i)
        tap0(p)[i] = i >= span[p].runBegin && i < span[p].runEnd ? span[p].run : tap(random);
    }
    // Member j's share and scales of pass p at signal[p][k] + j, between NaN canaries the
    // column sweep reads and must leave out.
    const int n = c.count, stride = n + 2 * ktSourceMap::kPlaneGap;
    planes.assign(size_t(2 * (1 + ktKernelRows::kMaxChannels) * stride), kNaN);
    for (int p = 0; p < 2; ++p)
      for (int k = 0; k <= ktKernelRows::kMaxChannels; ++k) {
        signal[p][k] =
            planes.data() + (p * (1 + ktKernelRows::kMaxChannels) + k) * stride + ktSourceMap::kPlaneGap;
        for (int j = 0; j < n; ++j) signal[p][k][j] = k == 0 ? share(random) : scale(random);
      }
    row.count = c.count;
    row.passes = c.passes;
    row.sx0 = c.sx0;
    row.x = c.x;
    row.r = c.r;
    row.start = c.r;
    row.end = c.x;
    for (int p = 0; p < c.passes; ++p) {
      const int half = c.widths[p] / 2;
      row.weight[p] = signal[p][0];
      for (int k = 0; k < c.channels; ++k) row.scale[p][k] = signal[p][1 + k];
      row.taps[p] = tap0(p);
      row.padded[p] = c.padded;
      row.halfWidth[p] = half;
      row.lo[p] = c.zeros[p] - half;
      row.hi[p] = c.widths[p] - c.zeros[p] - half;
      row.start = std::min(row.start, std::max(c.sx0 + row.lo[p], c.x));
      row.end = std::max(row.end, std::min(c.sx0 + c.count - 1 + row.hi[p], c.r));
    }
  }

  // Every tap of every member's passes, one scatter after the other.
  void addOneByOne(Rows& rows) const {
    const SweepCase& c = GetParam();
    const int gap = c.padded ? ktKernelRows::kRowGap : 0;
    for (int j = 0; j < c.count; ++j)
      for (int p = 0; p < c.passes; ++p) {
        const int left = c.sx0 + j - c.widths[p] / 2;
        for (int i = 0; i < c.widths[p]; ++i) {
          const int column = left + i;
          if (column < c.x || column >= c.r) continue;
          const float t = taps[p][size_t(kCanaries + gap) + size_t(i)];
          for (int k = 0; k <= c.channels; ++k) rows.row[size_t(k)][column] += t * signal[p][k][j];
        }
      }
  }

  // Each pass column by column, then the difference rows folded.
  void sweepByColumns(Rows& rows) const {
    const SweepCase& c = GetParam();
    for (int p = 0; p < c.passes; ++p) {
      ColumnPass column;
      for (int k = 0; k <= c.channels; ++k) column.signal[k] = signal[p][k];
      column.count = c.count;
      column.origin = c.sx0 - c.widths[p] / 2;
      column.taps = taps[p].data() + kCanaries + (c.padded ? ktKernelRows::kRowGap : 0);
      column.span = span[p];
      column.x = c.x;
      column.r = c.r;
      sweepColumns(column, c.channels, rows.row.data(), rows.difference.data(), rows.start.data(),
                   rows.buffers.runCoverage(0));
    }
    rows.buffers.foldDifferences();
  }

  void expectClose(const Rows& expected, const Rows& got, const std::string& sweep) const {
    for (size_t k = 0; k < expected.row.size(); ++k) {
      double largest = 0.0, largestValue = 0.0;
      for (int i = expected.x; i < expected.r; ++i) {
        ASSERT_TRUE(std::isfinite(got.row[k][i])) << sweep << ": row " << k << " column " << i;
        largest = std::max(largest, std::fabs(double(got.row[k][i]) - double(expected.row[k][i])));
        largestValue = std::max(largestValue, std::fabs(double(expected.row[k][i])));
      }
      EXPECT_LE(largest, 1e-5 * largestValue) << sweep << ": row " << k;
    }
  }

  static constexpr int kCanaries = 32;
  float* tap0(int p) { return taps[p].data() + kCanaries + (GetParam().padded ? ktKernelRows::kRowGap : 0); }

  std::vector<float> taps[2];
  ktKernelRows::Span span[2]{};
  std::vector<float> planes;
  float* signal[2][1 + ktKernelRows::kMaxChannels]{};
  StretchRow row{};
};

TEST_P(StretchSweeps, AddEveryTapOneScatterAfterTheOther) {
  const SweepCase& c = GetParam();
  Rows expected(c.channels, c.x, c.r, 3);
  addOneByOne(expected);
  for (const std::string& target : simdTargetNames()) {
    ASSERT_TRUE(forceSimdTarget(target));
    Rows members(c.channels, c.x, c.r, 3), columns(c.channels, c.x, c.r, 3);
    if (row.end > row.start) sweepStretch(row, c.channels, members.row[0], members.row.data() + 1);
    sweepByColumns(columns);
    resetSimdTarget();
    expectClose(expected, members, target + ", member by member");
    expectClose(expected, columns, target + ", column by column");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stretches, StretchSweeps,
    ::testing::Values(
        SweepCase{"one_channel_one_pass", 1, 1, {5, 0}, {0, 0}, 7, 20, 0, 64, 0, false},
        SweepCase{"rgba_two_passes", 4, 2, {9, 11}, {1, 2}, 40, 10, 0, 80, 0, false},
        SweepCase{"rgb_runs", 3, 2, {17, 19}, {3, 0}, 25, 30, 5, 90, 7, false},
        SweepCase{"two_channels_wide_kernels_runs", 2, 2, {61, 63}, {10, 12}, 50, 40, 0, 160, 30, false},
        SweepCase{"clipped_left_and_right", 4, 2, {33, 35}, {2, 4}, 60, -10, 8, 37, 0, false},
        SweepCase{"runs_clipped_left_and_right", 4, 2, {33, 35}, {2, 4}, 60, -10, 8, 37, 21, false},
        SweepCase{"runs_wider_than_the_row", 4, 1, {99, 0}, {5, 0}, 70, -20, 10, 30, 81, false},
        SweepCase{"stretch_far_beyond_the_row", 4, 2, {255, 253}, {10, 12}, 320, -128, 0, 64, 201, false},
        SweepCase{"row_narrower_than_one_block", 4, 1, {21, 0}, {0, 0}, 12, 3, 6, 15, 5, false},
        SweepCase{"single_member", 4, 2, {3, 5}, {0, 1}, 1, 50, 40, 60, 0, false},
        SweepCase{"single_member_run", 4, 2, {31, 41}, {2, 1}, 1, 50, 40, 60, 20, false},
        SweepCase{"single_tap_kernels", 4, 2, {1, 1}, {0, 0}, 100, 0, 0, 100, 0, false},
        SweepCase{"padded_rgba_two_passes", 4, 2, {9, 11}, {1, 2}, 40, 10, 0, 80, 4, true},
        SweepCase{"padded_clipped_left_and_right", 4, 2, {33, 35}, {2, 4}, 60, -10, 8, 37, 0, true},
        SweepCase{"padded_row_narrower_than_one_block", 3, 1, {21, 0}, {0, 0}, 12, 3, 6, 15, 0, true},
        SweepCase{"padded_single_tap_kernels", 4, 2, {1, 1}, {0, 0}, 100, 0, 0, 100, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
