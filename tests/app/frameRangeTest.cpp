// Frame ranges and frame patterns in paths.
#include <gtest/gtest.h>

#include "frameRange.h"

namespace {

struct RangeCase {
  const char* text;
  int first, last;
};

class GoodRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(GoodRanges, Parse) {
  FrameRange range;
  const Status s = parseFrameRange(GetParam().text, range);
  ASSERT_TRUE(s.ok()) << s.message;
  EXPECT_EQ(range.first, GetParam().first);
  EXPECT_EQ(range.last, GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoodRanges,
                         ::testing::Values(RangeCase{"1-10", 1, 10}, RangeCase{"5", 5, 5},
                                           RangeCase{"0-0", 0, 0}, RangeCase{"-5--1", -5, -1},
                                           RangeCase{"-3-2", -3, 2}, RangeCase{"-7", -7, -7},
                                           RangeCase{"1001-1100", 1001, 1100}));

class BadRanges : public ::testing::TestWithParam<const char*> {};

TEST_P(BadRanges, AreUsageErrorsNamingTheText) {
  FrameRange range{3, 4};
  const Status s = parseFrameRange(GetParam(), range);
  EXPECT_EQ(s.code, kExitUsage);
  EXPECT_NE(s.message.find("--frames"), std::string::npos) << s.message;
  EXPECT_EQ(range.first, 3);
  EXPECT_EQ(range.last, 4);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadRanges,
                         ::testing::Values("", "a-b", "5-1", "1-", "-", "1--", "1-2-3", " 1-2", "1.5-2",
                                           "+1-2", "1-2x", "99999999999-1"));

struct PatternCase {
  const char* path;
  int frame;
  const char* expanded;
  bool hasPattern;
};

class Patterns : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Patterns, ExpandTheFirstPattern) {
  const PatternCase& c = GetParam();
  EXPECT_EQ(hasFramePattern(c.path), c.hasPattern);
  EXPECT_EQ(expandFramePattern(c.path, c.frame), c.expanded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Patterns,
    ::testing::Values(
        PatternCase{"in.####.exr", 7, "in.0007.exr", true}, PatternCase{"in.#.exr", 12, "in.12.exr", true},
        PatternCase{"in.##.exr", 123, "in.123.exr", true}, PatternCase{"in.%04d.exr", 7, "in.0007.exr", true},
        PatternCase{"in.%d.exr", 7, "in.7.exr", true}, PatternCase{"in.%06d.exr", 42, "in.000042.exr", true},
        PatternCase{"x.%04d.exr", -3, "x.-003.exr", true}, PatternCase{"a#/b#.exr", 3, "a3/b#.exr", true},
        PatternCase{"in.exr", 7, "in.exr", false}, PatternCase{"50%.exr", 7, "50%.exr", false},
        PatternCase{"in.%4d.exr", 7, "in.%4d.exr", false}, PatternCase{"in.%x.exr", 7, "in.%x.exr", false}));

}  // namespace
