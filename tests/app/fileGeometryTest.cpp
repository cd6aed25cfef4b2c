// File windows (rows top-down) against host boxes (rows upward).
#include <gtest/gtest.h>

#include "fileGeometry.h"

using DD::Image::Box;

namespace {

struct WindowCase {
  FileWindow display, data;
  Box expected;  // worked by hand: file row r is host row ymin + ymax - r
};

class Windows : public ::testing::TestWithParam<WindowCase> {};

TEST_P(Windows, FlipWithinTheDisplayWindowAndBack) {
  const WindowCase& c = GetParam();
  const Box box = hostBox(c.data, c.display);
  EXPECT_EQ(box.x(), c.expected.x());
  EXPECT_EQ(box.y(), c.expected.y());
  EXPECT_EQ(box.r(), c.expected.r());
  EXPECT_EQ(box.t(), c.expected.t());
  const FileWindow back = fileWindow(box, hostFormat(c.display));
  EXPECT_EQ(back.x, c.data.x);
  EXPECT_EQ(back.y, c.data.y);
  EXPECT_EQ(back.width, c.data.width);
  EXPECT_EQ(back.height, c.data.height);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Windows,
    ::testing::Values(
        // Display rows 0..7: file rows 1..2 are host rows 6..5.
        WindowCase{{0, 0, 10, 8}, {2, 1, 3, 2}, Box(2, 5, 5, 7)},
        // Data window equal to the display window.
        WindowCase{{0, 0, 10, 8}, {0, 0, 10, 8}, Box(0, 0, 10, 8)},
        // Display rows -3..4 (ymin + ymax = 1): file rows -5..-4 are host rows 6..5, above the format.
        WindowCase{{-4, -3, 10, 8}, {-6, -5, 20, 2}, Box(-6, 5, 14, 7)},
        // A data window reaching below the display window: file rows 6..11 are host rows 1..-4.
        WindowCase{{0, 0, 10, 8}, {0, 6, 10, 6}, Box(0, -4, 10, 2)}));

TEST(Windows, TheTopFileRowIsTheHighestHostRow) {
  const FileWindow display{0, 10, 4, 5};  // rows 10..14
  EXPECT_EQ(hostRow(10, display), 14);
  EXPECT_EQ(hostRow(14, display), 10);
  EXPECT_EQ(hostRow(12, display), 12);
}

TEST(Windows, TheDisplayWindowKeepsItsNumbers) {
  const FileWindow display{-4, -3, 10, 8};
  const DD::Image::Format f = hostFormat(display);
  EXPECT_EQ(f.x(), -4);
  EXPECT_EQ(f.y(), -3);
  EXPECT_EQ(f.r(), 6);
  EXPECT_EQ(f.t(), 5);
  const FileWindow back = displayWindow(f);
  EXPECT_EQ(back.x, -4);
  EXPECT_EQ(back.y, -3);
  EXPECT_EQ(back.width, 10);
  EXPECT_EQ(back.height, 8);
}

}  // namespace
