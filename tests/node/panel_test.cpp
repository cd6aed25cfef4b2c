// The panel as users and saved scripts see it: every knob's order, name, label, kind, range,
// flags and tooltip, and the defaults of a new node.
#include <gtest/gtest.h>
#include "standin/OpHost.h"

#include "ktOrvel.h"

using DD::Image::Knob;
using DD::Image::OpHost;
using standin::KnobRecord;

namespace {

constexpr unsigned C = Knob::FORCE_RANGE;
constexpr unsigned NL = Knob::STARTLINE;
constexpr double NO = -1e300;  // no range

struct Row {
  KnobRecord::Kind kind;
  const char* name;
  const char* label;
  double lo, hi;
  unsigned flags;
  const char* tooltip;
};

const Row kPanel[] = {
    {KnobRecord::Tab, "", "Orvel", NO, NO, 0, ""},
    {KnobRecord::Text, "", "Version", NO, NO, 0, ""},
    {KnobRecord::ChannelSetKind, "orvelChannels", "Orvel Channels", NO, NO, 0, ""},
    {KnobRecord::InputChannel, "depthChannel", "Depth Channel", NO, NO, 0, ""},
    {KnobRecord::Enumeration, "outputType", "Output Type", NO, NO, 0,
     "Orvel - the actual Orvel effect with lens bloom if any.\nLens Bloom - just the bloom effect.\nFocal Distance "
     "Visualization - preview the focal distance values.\nFilter Shape - preview the shape of the kernel.\nFocus "
     "Mattes - Front/Back mattes for the focus."},
    {KnobRecord::Enumeration, "focusOutput", "Focus Region Output", NO, NO, 0,
     "Whether the front, back or all regions should be output"},
    {KnobRecord::Float, "multiplier", "Multiplier", 1, 256, 0, ""},
    {KnobRecord::Float, "frontmultiplier", "Front Multiplier", 1, 256, 0, ""},
    {KnobRecord::Float, "backmultiplier", "Back Multiplier", 1, 256, 0,
     "Used to increase the depth values resulting in a higher blur."},
    {KnobRecord::Enumeration, "depthStyle", "Depth Style", NO, NO, 0,
     "Real = real world values, 1/z = values that come out of Scanline renderer"},
    {KnobRecord::Float, "focalPlane", "Focal Plane", 1, 256, 0, "The plane in focus."},
    {KnobRecord::Float, "focusRegionSize", "Focus Region Size", 1, 256, 0, "The size of the region in focus."},
    {KnobRecord::Enumeration, "focusRegionFalloff", "Focus Region Falloff", NO, NO, 0,
     "Falloff of the orvel effect across the region."},
    {KnobRecord::ChannelKind, "defocusMatteChannel", "Defocus Matte Channel", NO, NO, 0,
     "A channel in the Mattes input that is used to modulate the defocus level."},
    {KnobRecord::Bool, "normalizeVisualization", "Normalize Visualization", NO, NO, NL,
     "Normalize the depth visualization output."},
    {KnobRecord::Bool, "integrateFrontAndBackSeperately", "Integrate Deep Front and Back Separately", NO, NO, NL,
     "In some cases artifacts can arise from integrating all the slices together, this will seperate the front "
     "and back focus areas and integrate them seperate to help avoid these."},
    {KnobRecord::Tab, "", "Lens", NO, NO, 0, ""},
    {KnobRecord::Bool, "realWorldLens", "Real World Lens Simulation", NO, NO, 0,
     "Match the defocusing effects of a real world lens using the below parameters."},
    {KnobRecord::Float, "focalLength", "Focal Length", 0, 300, C, "The camera's focal length."},
    {KnobRecord::Float, "fStop", "Aperture", NO, NO, 0, "The camera's aperture/fstop."},
    {KnobRecord::Enumeration, "worldScale", "World Scale", NO, NO, 0,
     "Define the scale of the world, this directly affects the real world camera settings."},
    {KnobRecord::Float, "worldScaleMultiplier", "World Scale Multiplier", NO, NO, 0,
     "This can be used to adjust the current world scale, as an example: if your scene units are 10cm then you "
     "would set world scale to cm and set this to 10."},
    {KnobRecord::Enumeration, "filmFormat", "Film Format", NO, NO, 0, "Desired predefined film back."},
    {KnobRecord::Float, "apertureWidth", "Aperture Width", NO, NO, 0,
     "Used for a custom film back size, this is the width of the frames format in mm."},
    {KnobRecord::Float, "apertureHeight", "Aperture Height", NO, NO, 0,
     "Used for a custom film back size, this is the height of the frames format in mm."},
    {KnobRecord::Tab, "", "Optical Artifacts", NO, NO, 0, ""},
    {KnobRecord::Float, "bloom", "Bloom", 0, 1, 0, "The level of lens blooming."},
    {KnobRecord::Float, "bloomCurvature", "Curvature", 0, 4, C, "The curvature of the lens."},
    {KnobRecord::Float, "bloomThreshold", "Bloom Threshold", 0, 1, 0, "The point at which the input colour drives the bloom."},
    {KnobRecord::ChannelKind, "bloomMatteChannel", "Bloom Matte Channel", NO, NO, 0,
     "A channel in the Mattes input that is used to modulate the bloom level."},
    {KnobRecord::Float, "kSphAbb", "Spherical Aberration", -1, 1, C,
     "The amount of spherical aberration present on the lens."},
    {KnobRecord::Float, "kChrAbb", "Chromic Aberration", -10, 10, 0, "The amount of chromic aberration present on the lens."},
    {KnobRecord::Color, "kChrAbbOff", "Chromic Aberration Offset", NO, NO, 0,
     "A spectral offset representing the chromic abberation effect of the lens."},
    {KnobRecord::ChannelKind, "chromicAberrationMatteChannel", "Chromic Aberration Matte Channel", NO, NO, 0,
     "A channel in the Mattes input that is used to modulate the chromic aberration level."},
    {KnobRecord::Tab, "", "Kernel", NO, NO, 0, ""},
    {KnobRecord::Enumeration, "kernelType", "Kernel Type", NO, NO, 0,
     "Input - use a second input image as the shape.\nCircular - a clean round lens shape.\nAperture Blades - more "
     "geometric result due to the number of aperture blades."},
    {KnobRecord::Int, "max_kernelsize", "Maximum Kernel Size", 1, 256, C,
     "A limit on the size of the blur - used to speed up computations if needed."},
    {KnobRecord::Bool, "expandBBoxToMaxKernelSize", "Expand Bounding Box To Max Kernel Size", NO, NO, 0,
     "Make sure the output bounding box has been expanded to accommodate the maximum kernel size."},
    {KnobRecord::ChannelKind, "missingKernelChannel", "Missing Kernel Channel", NO, NO, NL,
     "This channel will be used from the input kernel image if the required channel is missing."},
    {KnobRecord::Float, "kAspectRatio", "AspectRatio", 0, 2, 0,
     "Controls the aspect ratio of the kernel, useful for anamorphic Orvel."},
    {KnobRecord::Float, "kSoftness", "Softness", NO, NO, 0, "How soft the kernel should be 0 is hard, 1 is soft."},
    {KnobRecord::Int, "kNumSides", "Blade Count", 3, 16, C, "The number of blades in the aperture."},
    {KnobRecord::Float, "kCurvature", "Curvature", NO, NO, 0, "Controls the curvature of the aperture blades."},
    {KnobRecord::Float, "kRotation", "Rotation", 0, 1, 0, "Rotate the blades."},
    {KnobRecord::Tab, "", "Corrective Slices", NO, NO, 0, ""},
    {KnobRecord::Int, "correctiveSlices", "Number of Corrective Slices", 1, 256, C,
     "Corrective slices are used to improve layering results, use this to specify the desired number.\n 1 - "
     "default\n 2 - seperate foreground and background\n 3 or more - equally divide up the space into the number "
     "of slices specified"},
    {KnobRecord::Bool, "overrideNearAndFarForSlices", "Override Near/Far", NO, NO, NL,
     "Customize the viewing volume for corrective slice purposes when the slice count is greater than 2."},
    {KnobRecord::FloatPair, "depthSlicesNearAndFar", "Near and Far", NO, NO, 0,
     "Set the values used to override the near and far plane for corrective slice purposes."},
};

std::unique_ptr<ktOrvel> makeNode() {
  auto node = std::make_unique<ktOrvel>(nullptr);
  OpHost::buildKnobs(*node);
  return node;
}

class Panel : public ::testing::TestWithParam<size_t> {};

TEST_P(Panel, KnobMatchesThePanelTable) {
  auto node = makeNode();
  ASSERT_EQ(OpHost::knobs(*node).size(), std::size(kPanel));
  const Row& want = kPanel[GetParam()];
  const KnobRecord& k = *OpHost::knobs(*node)[GetParam()];
  EXPECT_EQ(k.kind(), want.kind);
  EXPECT_EQ(k.name(), want.name);
  EXPECT_EQ(k.label(), want.label);
  EXPECT_EQ(k.hasRange(), want.lo != NO);
  if (want.lo != NO) {
    EXPECT_EQ(k.rangeMin(), want.lo);
    EXPECT_EQ(k.rangeMax(), want.hi);
  }
  EXPECT_EQ(k.flags() & ~Knob::DISABLED, want.flags);
  EXPECT_EQ(k.tooltip(), want.tooltip);
}

INSTANTIATE_TEST_SUITE_P(AllKnobs, Panel, ::testing::Range(size_t(0), std::size(kPanel)), [](const auto& info) {
  const Row& r = kPanel[info.param];
  std::string n = std::to_string(info.param) + "_" + (r.name[0] ? r.name : r.label);
  for (char& c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

TEST(Panel, VersionTextAndEnumerationLabels) {
  auto node = makeNode();
  EXPECT_EQ(OpHost::knobs(*node)[1]->text(), "1.4.7");
  EXPECT_EQ(standin::record(node->knob("outputType"))->enumLabels(),
            (std::vector<std::string>{"Defocused Image", "Lens Bloom", "Focal Distance Visualization", "Filter Shape",
                                      "Focus Matte"}));
  EXPECT_EQ(standin::record(node->knob("filmFormat"))->enumLabels().size(), 10u);
  EXPECT_EQ(standin::record(node->knob("filmFormat"))->enumLabels()[4], "Vista Vision");
  EXPECT_EQ(standin::record(node->knob("worldScale"))->enumLabels()[3], "inches");
}

TEST(Panel, NewNodeShowsTheDefaults) {
  auto node = makeNode();
  const std::pair<const char*, const char*> defaults[] = {
      {"correctiveSlices", "10"},  {"kernelType", "Circular"}, {"worldScale", "cm"},
      {"depthChannel", "depth.Z"}, {"orvelChannels", "rgba"},  {"normalizeVisualization", "true"},
      {"focalPlane", "100"},       {"max_kernelsize", "256"},  {"kChrAbbOff", "{0.6 1 1}"},
      {"apertureWidth", "22"},     {"apertureHeight", "16"},   {"bloomThreshold", "0.7"},
      {"outputType", "Defocused Image"}, {"depthSlicesNearAndFar", "{0 0}"}};
  for (const auto& d : defaults) EXPECT_EQ(standin::record(node->knob(d.first))->script(), d.second) << d.first;
}

TEST(Panel, RulesAppliedAtDeclaration) {
  auto node = makeNode();
  EXPECT_FALSE(node->knob("apertureWidth")->isEnabled());
  EXPECT_FALSE(node->knob("depthSlicesNearAndFar")->isEnabled());
  EXPECT_TRUE(node->knob("multiplier")->isEnabled());
  // A saved node with the override ticked shows the pair enabled when reopened.
  ktOrvel reopened(nullptr);
  reopened.settings.overrideNearAndFarForSlices = true;
  reopened.settings.realWorldLens = true;
  reopened.settings.filmFormat = kFilmFormatCustom;
  OpHost::buildKnobs(reopened);
  EXPECT_TRUE(reopened.knob("depthSlicesNearAndFar")->isEnabled());
  EXPECT_FALSE(reopened.knob("multiplier")->isEnabled());
  EXPECT_FALSE(reopened.knob("focusRegionFalloff")->isEnabled());
  EXPECT_TRUE(reopened.knob("apertureWidth")->isEnabled());
}

}  // namespace
