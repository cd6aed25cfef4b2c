// Knob values stored and restored by name, as a saved script does.
#include <gtest/gtest.h>

#include "DDImage/Knobs.h"
#include "DDImage/Op.h"

using namespace DD::Image;

namespace {

const char* const kModes[] = {"Linear", "Quadratic", "1/z", nullptr};

// An operator with one knob of every kind.
class Panel : public Op {
 public:
  Panel() : Op(nullptr) {}
  const char* Class() const override { return "Panel"; }
  void knobs(Knob_Callback f) override {
    Tab_knob(f, "Main");
    Text_knob(f, "Version", "9.9.9");
    Float_knob(f, &gain, "gain", "Gain");
    SetRange(f, 0, 2);
    Float_knob(f, &clampedGain, "clampedGain", "Clamped Gain");
    SetRange(f, 0, 2);
    SetFlags(f, Knob::FORCE_RANGE);
    Tooltip(f, "A clamped gain.");
    Int_knob(f, &count, "count", "Count");
    SetRange(f, 1, 16);
    SetFlags(f, Knob::FORCE_RANGE | Knob::STARTLINE);
    Enumeration_knob(f, &mode, kModes, "mode", "Mode");
    Bool_knob(f, &flag, "flag", "Flag");
    ChannelMask_knob(f, &set, "set", "Set");
    Channel_knob(f, &channel, 1, "channel", "Channel");
    Color_knob(f, colour, "colour", "Colour");
    MultiFloat_knob(f, pair, 2, "pair", "Pair");
  }
  float gain = 1.0f, clampedGain = 1.0f;
  int count = 4, mode = 0;
  bool flag = false;
  ChannelSet set = Mask_RGBA;
  Channel channel = Chan_Z;
  float colour[3] = {0.6f, 1.0f, 1.0f};
  float pair[2] = {0.0f, 0.0f};
};

std::unique_ptr<Panel> makePanel() {
  auto p = std::make_unique<Panel>();
  p->build_knobs();
  return p;
}

TEST(Knobs, RecordedInDeclarationOrderWithTheirAttributes) {
  auto p = makePanel();
  ASSERT_EQ(p->allKnobs().size(), 11u);
  EXPECT_EQ(p->allKnobs()[0]->kind(), Knob::Tab);
  EXPECT_EQ(p->allKnobs()[1]->text(), "9.9.9");
  Knob* k = p->knob("clampedGain");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->label(), "Clamped Gain");
  EXPECT_EQ(k->tooltip(), "A clamped gain.");
  EXPECT_EQ(k->flags(), unsigned(Knob::FORCE_RANGE));
  EXPECT_EQ(p->knob("count")->flags(), unsigned(Knob::FORCE_RANGE | Knob::STARTLINE));
  EXPECT_EQ(p->knob("nothing"), nullptr);
  EXPECT_EQ(p->knob(""), nullptr);
}

struct ScriptCase {
  const char* knob;
  const char* text;
  const char* stored;  // to_script afterwards
};

class ScriptValues : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptValues, ParseAndWriteBack) {
  auto p = makePanel();
  const ScriptCase& c = GetParam();
  std::string error;
  ASSERT_TRUE(p->knob(c.knob)->from_script(c.text, &error)) << error;
  EXPECT_EQ(p->knob(c.knob)->to_script(), c.stored);
  // What was written restores the same value.
  auto q = makePanel();
  ASSERT_TRUE(q->knob(c.knob)->from_script(p->knob(c.knob)->to_script()));
  EXPECT_EQ(q->knob(c.knob)->to_script(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptValues,
    ::testing::Values(ScriptCase{"gain", "1.25", "1.25"}, ScriptCase{"gain", "7", "7"},  // unclamped
                      ScriptCase{"clampedGain", "7", "2"}, ScriptCase{"clampedGain", "-1", "0"},
                      ScriptCase{"count", "99", "16"}, ScriptCase{"count", "0", "1"},
                      ScriptCase{"mode", "Quadratic", "Quadratic"}, ScriptCase{"mode", "quadratic", "Quadratic"},
                      ScriptCase{"mode", "2", "1/z"}, ScriptCase{"flag", "true", "true"},
                      ScriptCase{"flag", "1", "true"}, ScriptCase{"flag", "false", "false"},
                      ScriptCase{"set", "rgb", "rgb"}, ScriptCase{"set", "all", "all"},
                      ScriptCase{"set", "none", "none"}, ScriptCase{"set", "R,A", "{rgba.red rgba.alpha}"},
                      ScriptCase{"channel", "A", "rgba.alpha"}, ScriptCase{"channel", "depth.Z", "depth.Z"},
                      ScriptCase{"channel", "none", "none"}, ScriptCase{"colour", "0.5,1,2", "{0.5 1 2}"},
                      ScriptCase{"colour", "{1 2 3}", "{1 2 3}"}, ScriptCase{"colour", "0.25", "{0.25 0.25 0.25}"},
                      ScriptCase{"pair", "10,2", "{10 2}"},
                      // The largest float writes and reads back; beyond it a clamped knob clamps.
                      ScriptCase{"gain", "3.40282347e+38", "3.40282347e+38"},
                      ScriptCase{"gain", "-3.40282347e+38", "-3.40282347e+38"},
                      ScriptCase{"clampedGain", "1e39", "2"}),
    [](const auto& info) { return std::to_string(info.index) + "_" + info.param.knob; });

struct BadCase {
  const char* knob;
  const char* text;
};

class BadScriptValues : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadScriptValues, AreRefusedWithAMessageAndLeaveTheValue) {
  auto p = makePanel();
  Knob* k = p->knob(GetParam().knob);
  const std::string before = k->to_script();
  std::string error;
  EXPECT_FALSE(k->from_script(GetParam().text, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(k->to_script(), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadScriptValues,
                         ::testing::Values(BadCase{"gain", "abc"}, BadCase{"gain", "1.5x"}, BadCase{"gain", ""},
                                           BadCase{"gain", "inf"}, BadCase{"count", "2.5"},
                                           BadCase{"mode", "Cubic"}, BadCase{"mode", "3"},
                                           BadCase{"flag", "maybe"}, BadCase{"set", "rgba,bogus.channel"},
                                           BadCase{"channel", "bogus.channel"}, BadCase{"colour", "1,2"},
                                           BadCase{"pair", "1,nan"},
                                           // Beyond the largest float: stored as infinity, the
                                           // value would be saved as "inf", which reads back as no
                                           // number.
                                           BadCase{"gain", "1e39"}, BadCase{"gain", "-3.5e38"},
                                           BadCase{"colour", "1,1e39,1"}, BadCase{"pair", "1e300"}),
                         [](const auto& info) { return std::to_string(info.index) + "_" + info.param.knob; });

TEST(Knobs, EnableDisableAndNumericAccess) {
  auto p = makePanel();
  Knob* k = p->knob("colour");
  EXPECT_TRUE(k->isEnabled());
  k->disable();
  EXPECT_FALSE(k->isEnabled());
  k->set_value(0.25, 2);
  EXPECT_FLOAT_EQ(p->colour[2], 0.25f);
  EXPECT_DOUBLE_EQ(k->get_value(0), double(0.6f));
  EXPECT_DOUBLE_EQ(p->knob("channel")->get_value(), 5.0);
}

}  // namespace
