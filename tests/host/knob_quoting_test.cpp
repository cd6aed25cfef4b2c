// Knob values wrapped the way saved scripts wrap text with spaces: "..." or {...}.
#include <gtest/gtest.h>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"

using namespace DD::Image;

namespace {

const char* const kShapes[] = {"Input", "Circular", "Aperture Blades", nullptr};

class QuotedPanel : public Op {
 public:
  QuotedPanel() : Op(nullptr) {}
  const char* Class() const override { return "QuotedPanel"; }
  void knobs(Knob_Callback f) override {
    Enumeration_knob(f, &shape, kShapes, "shape", "Shape");
    Float_knob(f, &size, "size", "Size");
    Bool_knob(f, &flag, "flag", "Flag");
    Channel_knob(f, &channel, 1, "channel", "Channel");
    Color_knob(f, colour, "colour", "Colour");
  }
  int shape = 1;
  float size = 1.0f;
  bool flag = false;
  Channel channel = Chan_Black;
  float colour[3] = {0.0f, 0.0f, 0.0f};
};

struct QuotedCase {
  const char* knob;
  const char* text;
  const char* stored;  // to_script afterwards
};

class QuotedValues : public ::testing::TestWithParam<QuotedCase> {};

TEST_P(QuotedValues, ReadTheTextInside) {
  QuotedPanel p;
  p.build_knobs();
  std::string error;
  ASSERT_TRUE(p.knob(GetParam().knob)->from_script(GetParam().text, &error)) << error;
  EXPECT_EQ(p.knob(GetParam().knob)->to_script(), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuotedValues,
    ::testing::Values(QuotedCase{"shape", "\"Aperture Blades\"", "Aperture Blades"},
                      QuotedCase{"shape", "{Aperture Blades}", "Aperture Blades"},
                      QuotedCase{"shape", "  \" aperture blades \"  ", "Aperture Blades"},
                      QuotedCase{"shape", "\"0\"", "Input"}, QuotedCase{"size", "\"2.5\"", "2.5"},
                      QuotedCase{"size", "{4}", "4"}, QuotedCase{"flag", "\"true\"", "true"},
                      QuotedCase{"channel", "\"depth.Z\"", "depth.Z"},
                      QuotedCase{"colour", "\"0.5 1 2\"", "{0.5 1 2}"},
                      QuotedCase{"colour", "{0.5, 1, 2}", "{0.5 1 2}"}),
    [](const auto& info) { return std::to_string(info.index) + "_" + info.param.knob; });

struct BadQuotedCase {
  const char* knob;
  const char* text;
};

class BadQuotedValues : public ::testing::TestWithParam<BadQuotedCase> {};

TEST_P(BadQuotedValues, AreRefusedAndLeaveTheValue) {
  QuotedPanel p;
  p.build_knobs();
  Knob* k = p.knob(GetParam().knob);
  const std::string before = k->to_script();
  std::string error;
  EXPECT_FALSE(k->from_script(GetParam().text, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(k->to_script(), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadQuotedValues,
                         ::testing::Values(BadQuotedCase{"shape", "\"Aperture Blades"},
                                           BadQuotedCase{"shape", "\"Aperture\" \"Blades\""},
                                           BadQuotedCase{"size", "\"\""}, BadQuotedCase{"size", "\"2.5"},
                                           BadQuotedCase{"size", "{}"}, BadQuotedCase{"colour", "\"1 2\""}),
                         [](const auto& info) { return std::to_string(info.index) + "_" + info.param.knob; });

}  // namespace
