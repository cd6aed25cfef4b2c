// Knob values from --set and from script files.
#include <gtest/gtest.h>

#include "knobAssignment.h"

namespace {

struct SetCase {
  const char* text;
  const char* name;
  const char* value;
};

class GoodSetOptions : public ::testing::TestWithParam<SetCase> {};

TEST_P(GoodSetOptions, SplitAtTheFirstEquals) {
  KnobAssignment a;
  ASSERT_TRUE(parseSetOption(GetParam().text, a).ok());
  EXPECT_EQ(a.name, GetParam().name);
  EXPECT_EQ(a.value, GetParam().value);
  EXPECT_EQ(a.origin, "--set");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoodSetOptions,
    ::testing::Values(SetCase{"focalPlane=12", "focalPlane", "12"},
                      SetCase{"kernelType=Aperture Blades", "kernelType", "Aperture Blades"},
                      SetCase{"a=b=c", "a", "b=c"}, SetCase{" bloom = 0.5 ", "bloom", "0.5"},
                      SetCase{"kChrAbbOff=0.5,1,1", "kChrAbbOff", "0.5,1,1"},
                      SetCase{"focalPlane=", "focalPlane", ""}));

TEST(SetOptions, WithoutANameOrEqualsAreUsageErrors) {
  KnobAssignment a;
  for (const char* text : {"noequals", "=5", " =5", ""}) {
    const Status s = parseSetOption(text, a);
    EXPECT_EQ(s.code, kExitUsage) << text;
    EXPECT_NE(s.message.find("KNOB=VALUE"), std::string::npos) << s.message;
  }
}

TEST(Scripts, ReadNameValueLinesWithComments) {
  const std::string text =
      "# a saved look\n"
      "\n"
      "kernelType Aperture Blades\n"
      "  multiplier\t12   # blur in pixels\n"
      "kChrAbbOff {0.5 1 1.5}\n"
      "depthChannel depth.Z\r\n"
      "label a#b\n";
  std::vector<KnobAssignment> out;
  ASSERT_TRUE(parseScript(text, "look.txt", out).ok());
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[0].name, "kernelType");
  EXPECT_EQ(out[0].value, "Aperture Blades");
  EXPECT_EQ(out[0].origin, "look.txt:3");
  EXPECT_EQ(out[1].name, "multiplier");
  EXPECT_EQ(out[1].value, "12");
  EXPECT_EQ(out[1].origin, "look.txt:4");
  EXPECT_EQ(out[2].value, "{0.5 1 1.5}");
  EXPECT_EQ(out[3].value, "depth.Z");
  EXPECT_EQ(out[4].value, "a#b");  // a '#' inside a word is not a comment
}

TEST(Scripts, ALineWithoutValueNamesItsLineAndAddsNothing) {
  std::vector<KnobAssignment> out;
  const Status s = parseScript("bloom 0.5\nmultiplier\n", "look.txt", out);
  EXPECT_EQ(s.code, kExitUsage);
  EXPECT_NE(s.message.find("look.txt:2"), std::string::npos) << s.message;
  EXPECT_TRUE(out.empty());
}

TEST(Scripts, AMissingFileIsAUsageError) {
  std::vector<KnobAssignment> out;
  const Status s = readScriptFile("/nonexistent/look.txt", out);
  EXPECT_EQ(s.code, kExitUsage);
  EXPECT_NE(s.message.find("/nonexistent/look.txt"), std::string::npos) << s.message;
}

}  // namespace
