// The banded source maps: every window hands out the band that holds each of its rows with that
// row's own values, whatever order the rows come in and however many threads ask at once; rows
// in order map each band once and hold no more bands than the capacity.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "defocusTestSupport.h"
#include "ktSourceBands.h"

using namespace DD::Image;
using namespace defocus_test;

namespace {

// A render whose output box is the whole format, with a small box-kernel bank.
struct BandsScene {
  explicit BandsScene(int padding, int height = 100) {
    render.format = Format(40, height);
    render.padding = padding;
    render.bank = makeBank(9, Mask_RGBA, boxTap);
    ctx = render.context();
  }

  // Sets the bands up; each mapped band holds one scatter per position whose red value is its
  // row and green value its column. Bands holding `failRow` report failure.
  void setup(unsigned threads, int failRow = -1000) {
    bands.setup(ctx, Box(0, 0, 40, render.format.height()), Mask_RGBA, 0, render.format.height() - 1, threads, false,
                [this, failRow](ktSourceMap& band) {
                  ++calls;
                  for (int cy = band.firstRow(); cy <= band.lastRow(); ++cy)
                    for (int sx = band.x0(); sx < band.x1(); ++sx) {
                      const float values[4] = {float(cy), float(sx), 0.0f, 1.0f};
                      band.addScatter(ctx, 3.0f, 1.0f, 0, 1.0f, values);
                      band.endPosition();
                    }
                  return band.firstRow() > failRow || band.lastRow() < failRow;
                });
  }

  // Checks that the window of row y gives, for every source row it reaches, the band that maps it.
  ::testing::AssertionResult windowHoldsItsRows(int y) {
    const ktSourceBands::Window window(bands, y);
    if (!window.ok()) return ::testing::AssertionFailure() << "row " << y << ": a band failed";
    for (int sy = y - render.padding; sy <= y + render.padding; ++sy) {
      const int cy = bands.clampRow(sy);
      const ktSourceMap& band = window.band(cy);
      if (cy < band.firstRow() || cy > band.lastRow())
        return ::testing::AssertionFailure() << "row " << y << ": source row " << cy << " not in its band";
      for (int sx : {band.x0(), band.x1() - 1}) {
        const ktSourceMap::SharedScatter& s = band.sharedScatters()[band.first(cy)[sx]];
        const float w = s.passWeight[0];
        if (!(w > 0.0f) || s.scale[0][0] != float(cy) * w || s.scale[0][1] != float(sx) * w)
          return ::testing::AssertionFailure() << "row " << y << ": source (" << sx << ", " << cy << ") holds ("
                                               << s.scale[0][1] / w << ", " << s.scale[0][0] / w << ")";
      }
    }
    return ::testing::AssertionSuccess();
  }

  int bandCount() const {
    const int rows = render.format.height();  // the box widened by the padding, clamped to the format
    return (rows + ktSourceBands::kBandRows - 1) / ktSourceBands::kBandRows;
  }

  Render render;
  ktRenderContext ctx;
  ktSourceBands bands;
  std::atomic<int> calls{0};
};

enum class Order { Ascending, Descending, Shuffled };

struct OrderCase {
  const char* name;
  Order order;
  int padding;
};

class SourceBandsOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(SourceBandsOrder, WindowsHoldTheirRowsAndBandsStayWithinCapacity) {
  BandsScene scene(GetParam().padding);
  scene.setup(2);
  ASSERT_TRUE(scene.bands.kernelRows().shared());
  std::vector<int> rows(100);
  std::iota(rows.begin(), rows.end(), 0);
  if (GetParam().order == Order::Descending) std::reverse(rows.begin(), rows.end());
  if (GetParam().order == Order::Shuffled) std::shuffle(rows.begin(), rows.end(), std::mt19937(7));
  for (int y : rows) {
    ASSERT_TRUE(scene.windowHoldsItsRows(y));
    EXPECT_LE(scene.bands.held(), std::max<size_t>(scene.bands.capacity(), 1)) << "after row " << y;
  }
  EXPECT_EQ(scene.bands.mapped(), size_t(scene.calls));
  // In order every band is mapped once; any order maps each at least once.
  if (GetParam().order != Order::Shuffled) {
    EXPECT_EQ(scene.calls, scene.bandCount());
  }
  EXPECT_GE(scene.calls, scene.bandCount());
  // Only the bands around the rows are held, fewer than all of them when the padding is small.
  if (GetParam().padding <= 8) {
    EXPECT_LT(scene.bands.held(), size_t(scene.bandCount()));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, SourceBandsOrder,
                         ::testing::Values(OrderCase{"ascending", Order::Ascending, 5},
                                           OrderCase{"descending", Order::Descending, 5},
                                           OrderCase{"shuffled", Order::Shuffled, 5},
                                           OrderCase{"ascending_no_padding", Order::Ascending, 0},
                                           OrderCase{"ascending_padding_beyond_the_frame", Order::Ascending, 130},
                                           OrderCase{"shuffled_wide_padding", Order::Shuffled, 40}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SourceBands, ManyThreadsAtOnceSeeTheirOwnRows) {
  BandsScene scene(9, 300);
  scene.setup(2);  // fewer workers expected than ask: bands beyond the capacity are made as needed
  std::atomic<int> next{0};
  std::atomic<int> wrong{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < 8; ++t)
    pool.emplace_back([&] {
      for (int y = next++; y < 300; y = next++)
        if (!scene.windowHoldsItsRows(y)) ++wrong;
    });
  for (std::thread& t : pool) t.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_GE(scene.calls, scene.bandCount());
}

TEST(SourceBands, AFailedBandLeavesItsRowsToTheReferenceAndOthersMapped) {
  BandsScene scene(3);
  scene.setup(1, 50);  // the band holding row 50, from row 48 on, fails
  EXPECT_FALSE(ktSourceBands::Window(scene.bands, 50).ok());
  EXPECT_FALSE(ktSourceBands::Window(scene.bands, 46).ok());  // reaches row 49
  EXPECT_FALSE(ktSourceBands::Window(scene.bands, 46).ok());  // and again
  EXPECT_TRUE(scene.windowHoldsItsRows(44));                    // reaches 47 only
  EXPECT_TRUE(scene.windowHoldsItsRows(67));                    // reaches 64 only
}

struct CoverCase {
  const char* name;
  int y, x, r, padding;
  bool covered;
};

class SourceBandsCover : public ::testing::TestWithParam<CoverCase> {};

TEST_P(SourceBandsCover, CoversRowsWithinTheBoxAndPadding) {
  BandsScene scene(4);
  scene.setup(2);
  const CoverCase& c = GetParam();
  EXPECT_EQ(scene.bands.covers(c.y, c.x, c.r, c.padding), c.covered);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, SourceBandsCover,
    ::testing::Values(CoverCase{"whole_row", 10, 0, 40, 4, true}, CoverCase{"part_of_a_row", 99, 5, 9, 4, true},
                      CoverCase{"rows_beyond_the_format_clamp_into_it", 140, 0, 40, 4, true},
                      CoverCase{"columns_beyond_the_padding", 10, -5, 40, 4, false},
                      CoverCase{"other_padding", 10, 0, 40, 3, false},
                      CoverCase{"right_of_the_format", 10, 44, 48, 4, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SourceBands, ClearedBandsCoverNothing) {
  BandsScene scene(4);
  scene.setup(2);
  ASSERT_TRUE(scene.windowHoldsItsRows(3));
  scene.bands.clear();
  EXPECT_TRUE(scene.bands.empty());
  EXPECT_FALSE(scene.bands.covers(10, 0, 40, 4));
  EXPECT_EQ(scene.bands.held(), 0u);
}

}  // namespace
