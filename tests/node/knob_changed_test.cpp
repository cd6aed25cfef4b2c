// knob_changed and the camera rule: what the panel does when the user changes a knob.
#include <gtest/gtest.h>

#include "DDImage/CameraOp.h"
#include "standin/OpHost.h"
#include "standin/MemoryIop.h"
#include "ktOrvel.h"

using namespace DD::Image;
using namespace standin;

namespace {

std::unique_ptr<ktOrvel> makeNode() {
  auto node = std::make_unique<ktOrvel>(nullptr);
  OpHost::buildKnobs(*node);
  return node;
}

// Sets a knob the way the host does: store the value, then tell the node.
int change(ktOrvel& node, const char* name, const char* value) {
  Knob* k = node.knob(name);
  EXPECT_TRUE(k->from_script(value)) << name;
  return node.knob_changed(k);
}

struct FilmCase {
  const char* format;
  float width, height;
};

class FilmFormats : public ::testing::TestWithParam<FilmCase> {};

TEST_P(FilmFormats, SetAndDisableTheAperture) {
  auto node = makeNode();
  EXPECT_EQ(change(*node, "filmFormat", GetParam().format), 1);
  EXPECT_FLOAT_EQ(node->settings.apertureWidth, GetParam().width);
  EXPECT_FLOAT_EQ(node->settings.apertureHeight, GetParam().height);
  EXPECT_FLOAT_EQ(float(node->knob("apertureWidth")->get_value()), GetParam().width);
  EXPECT_FALSE(node->knob("apertureWidth")->isEnabled());
  EXPECT_FALSE(node->knob("apertureHeight")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Table, FilmFormats,
                         ::testing::Values(FilmCase{"35mm", 22.0f, 16.0f}, FilmCase{"Anamorphic", 21.3f, 17.8f},
                                           FilmCase{"Super 35mm", 24.89f, 18.67f},
                                           FilmCase{"Vista Vision", 37.7f, 25.17f},
                                           FilmCase{"Super 16mm", 12.52f, 7.41f},
                                           FilmCase{"Four Thirds", 17.3f, 13.0f}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(FilmFormat, CustomKeepsTheLastValuesAndEnables) {
  auto node = makeNode();
  change(*node, "filmFormat", "Vista Vision");
  EXPECT_EQ(change(*node, "filmFormat", "Custom"), 1);
  EXPECT_TRUE(node->knob("apertureWidth")->isEnabled());
  EXPECT_TRUE(node->knob("apertureHeight")->isEnabled());
  EXPECT_FLOAT_EQ(node->settings.apertureWidth, 37.7f);
  EXPECT_FLOAT_EQ(node->settings.apertureHeight, 25.17f);
  // The user's own film back holds with "Custom".
  change(*node, "apertureWidth", "30");
  EXPECT_FLOAT_EQ(node->settings.apertureWidth, 30.0f);
}

TEST(RealWorldLens, DisablesOnlyTheArtisticKnobs) {
  auto node = makeNode();
  EXPECT_EQ(change(*node, "realWorldLens", "true"), 1);
  EXPECT_FALSE(node->knob("multiplier")->isEnabled());
  EXPECT_FALSE(node->knob("focusRegionFalloff")->isEnabled());
  EXPECT_TRUE(node->knob("frontmultiplier")->isEnabled());
  EXPECT_TRUE(node->knob("backmultiplier")->isEnabled());
  change(*node, "realWorldLens", "false");
  EXPECT_TRUE(node->knob("multiplier")->isEnabled());
}

TEST(NearFarOverride, EnablesThePairAndDefersToTheBase) {
  auto node = makeNode();
  EXPECT_EQ(change(*node, "overrideNearAndFarForSlices", "1"), 0);
  EXPECT_TRUE(node->knob("depthSlicesNearAndFar")->isEnabled());
  change(*node, "overrideNearAndFarForSlices", "0");
  EXPECT_FALSE(node->knob("depthSlicesNearAndFar")->isEnabled());
}

TEST(KnobChanged, OtherKnobsAndNullGoToTheBase) {
  auto node = makeNode();
  EXPECT_EQ(change(*node, "bloom", "0.5"), 0);
  EXPECT_EQ(node->knob_changed(nullptr), 0);
}

TEST(CameraRule, ConnectingACameraDisablesTheLensKnobs) {
  auto node = makeNode();
  CameraOp camera{nullptr};
  const char* lens[] = {"focalPlane", "focalLength", "fStop", "apertureWidth", "apertureHeight"};
  change(*node, "filmFormat", "Custom");
  EXPECT_TRUE(OpHost::connect(*node, ktOrvel::kCamera, &camera));
  for (const char* name : lens) EXPECT_FALSE(node->knob(name)->isEnabled()) << name;
  EXPECT_TRUE(OpHost::connect(*node, ktOrvel::kCamera, nullptr));
  for (const char* name : lens) EXPECT_TRUE(node->knob(name)->isEnabled()) << name;
}

TEST(Inputs, LabelsKindsAndDefaults) {
  auto node = makeNode();
  const char* labels[] = {"Input", "Kernel", "Camera", "Deep Input", "Mattes"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(node->input_label(i, nullptr), labels[i]);
  EXPECT_STREQ(node->input_label(5, nullptr), "");
  MemoryIop image(Format(4, 4), Box(0, 0, 4, 4), Mask_RGBA);
  CameraOp camera{nullptr};
  EXPECT_TRUE(node->test_input(0, &image));
  EXPECT_TRUE(node->test_input(1, &image));
  EXPECT_FALSE(node->test_input(2, &image));
  EXPECT_TRUE(node->test_input(2, &camera));
  EXPECT_FALSE(node->test_input(3, &image));
  EXPECT_TRUE(node->test_input(4, &image));
  EXPECT_FALSE(node->test_input(0, &camera));
  EXPECT_FALSE(node->test_input(5, &image));
  EXPECT_FALSE(node->test_input(0, nullptr));
  EXPECT_NE(node->default_input(0), nullptr);
  EXPECT_EQ(node->default_input(1), nullptr);
}

TEST(Registration, NameStampAndHash) {
  const Op::Description* d = Op::find_description("ktOrvel", nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(ktOrvel::buildStamp, "Jun 23 2020 for 11.3v6");
  auto node = OpHost::create("ktOrvel");
  ASSERT_NE(node, nullptr);
  EXPECT_STREQ(node->Class(), "ktOrvel");
  Hash expected;
  expected.append(1);
  expected.append(4);
  expected.append(7);
  Hash h;
  node->append(h);
  EXPECT_EQ(h.value(), expected.value());
  EXPECT_TRUE(static_cast<ktOrvel*>(node.get())->_fetchMetaData("anything").size() == 0);
}

}  // namespace
