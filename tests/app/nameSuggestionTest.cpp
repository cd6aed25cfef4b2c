// Suggestions for mistyped knob names.
#include <gtest/gtest.h>

#include "nameSuggestion.h"

namespace {

struct DistanceCase {
  const char* a;
  const char* b;
  size_t distance;
};

class Distances : public ::testing::TestWithParam<DistanceCase> {};

TEST_P(Distances, CountEditsIgnoringCase) {
  EXPECT_EQ(nameDistance(GetParam().a, GetParam().b), GetParam().distance);
  EXPECT_EQ(nameDistance(GetParam().b, GetParam().a), GetParam().distance);
}

INSTANTIATE_TEST_SUITE_P(Cases, Distances,
                         ::testing::Values(DistanceCase{"focalPlane", "focalPlan", 1},
                                           DistanceCase{"kitten", "sitting", 3},
                                           DistanceCase{"fStpo", "fStop", 1},  // neighbours swapped
                                           DistanceCase{"FOCALPLANE", "focalPlane", 0},
                                           DistanceCase{"", "abc", 3}, DistanceCase{"bloom", "bloom", 0},
                                           DistanceCase{"ca", "abc", 3}));

// A few of the node's knob names, in panel order.
const std::vector<std::string> kKnobs = {"orvelChannels",   "depthChannel",   "outputType",     "multiplier",
                                         "frontmultiplier", "backmultiplier", "focalPlane",     "fStop",
                                         "bloom",           "bloomThreshold", "max_kernelsize", "kernelType"};

struct SuggestionCase {
  const char* typed;
  std::vector<std::string> expected;
};

class Suggestions : public ::testing::TestWithParam<SuggestionCase> {};

TEST_P(Suggestions, NearestFirst) { EXPECT_EQ(nearestNames(GetParam().typed, kKnobs), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Suggestions,
    ::testing::Values(SuggestionCase{"focalplan", {"focalPlane"}}, SuggestionCase{"fstop", {"fStop"}},
                      SuggestionCase{"multipler", {"multiplier"}},
                      SuggestionCase{"bloomThresh", {"bloomThreshold", "bloom"}},  // containing first
                      SuggestionCase{"kernelSize", {"max_kernelsize", "kernelType"}},
                      SuggestionCase{"bloo", {"bloom", "bloomThreshold"}}, SuggestionCase{"xyzzy", {}},
                      SuggestionCase{"", {}}));

TEST(Suggestions, StopAtTheCount) {
  const std::vector<std::string> names = {"a1", "a2", "a3", "a4"};
  EXPECT_EQ(nearestNames("a0", names, 2), (std::vector<std::string>{"a1", "a2"}));
}

TEST(Alternatives, JoinWithCommasAndOr) {
  EXPECT_EQ(joinAlternatives({}), "");
  EXPECT_EQ(joinAlternatives({"a"}), "a");
  EXPECT_EQ(joinAlternatives({"a", "b"}), "a or b");
  EXPECT_EQ(joinAlternatives({"a", "b", "c"}), "a, b or c");
}

}  // namespace
