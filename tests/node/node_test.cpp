// The node as the host drives it: the panel's enabling rules, validation, requests, the kernel
// bank open builds, and the diagnostic outputs, each against values worked by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DDImage/CameraOp.h"
#include "caseName.h"
#include "ktOrvel.h"
#include "nodeScenes.h"
#include "standin/KnobRecord.h"
#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"
#include "standin/OpHost.h"
#include "standin/RenderDriver.h"

using namespace DD::Image;
using namespace standin;

namespace {

using Knobs = std::vector<std::pair<const char*, const char*>>;

// A node on a w x h RGBAZ image at depth 100, knobs set as the host sets them.
struct Scene {
  Scene(int w = 64, int h = 32) : Scene(Format(w, h), Box(0, 0, w, h)) {}
  Scene(const Format& f, const Box& box) : image(f, box, ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z)) {
    image.fill(Chan_Z, 100.0f);
    OpHost::buildKnobs(node);
    OpHost::connect(node, ktOrvel::kInput, &image);
    OutputContext c;
    OpHost::setProjectFormat(node, f);
    node.setOutputContext(c);
  }
  void set(const Knobs& knobs) { setKnobs(node, knobs); }
  void open() {
    node.validate(true);
    node.request(0, 0, image.format().width(), image.format().height(), Mask_RGBA, 1);
    node.open();
  }
  RenderReport render() { return renderFrame(node, RenderOptions()); }
  float out(const RenderReport& r, int x, int y, Channel z) { return r.image->at(x, y, z); }
  MemoryIop image;
  ktOrvel node{nullptr};
};

const Knobs kArtistic = {{"focalPlane", "10"}, {"focusRegionSize", "4"}, {"multiplier", "20"}};

// Which knobs are enabled after a sequence of changes.
// clang-format off
struct RuleCase { const char* name; Knobs changes; bool camera; std::vector<const char*> enabled, disabled; };
// clang-format on
void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class EnableRules : public ::testing::TestWithParam<RuleCase> {};

TEST_P(EnableRules, FollowTheChanges) {
  const RuleCase& c = GetParam();
  Scene s;
  CameraOp camera{nullptr};
  s.set(c.changes);
  if (c.camera) {
    EXPECT_TRUE(OpHost::connect(s.node, ktOrvel::kCamera, &camera));
  }
  for (const char* k : c.enabled) EXPECT_TRUE(s.node.knob(k)->isEnabled()) << c.name << ": " << k;
  for (const char* k : c.disabled) EXPECT_FALSE(s.node.knob(k)->isEnabled()) << c.name << ": " << k;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, EnableRules,
    ::testing::Values(
        RuleCase{"new node", {}, false, {"multiplier", "focalPlane"}, {"apertureWidth", "depthSlicesNearAndFar"}},
        RuleCase{"real lens", {{"realWorldLens", "true"}}, false, {"frontmultiplier", "backmultiplier"},
                 {"multiplier", "focusRegionFalloff"}},
        RuleCase{"artistic again", {{"realWorldLens", "true"}, {"realWorldLens", "false"}}, false,
                 {"multiplier", "focusRegionFalloff"}, {}},
        RuleCase{"override", {{"overrideNearAndFarForSlices", "1"}}, false, {"depthSlicesNearAndFar"}, {}},
        RuleCase{"override off", {{"overrideNearAndFarForSlices", "1"}, {"overrideNearAndFarForSlices", "0"}},
                 false, {}, {"depthSlicesNearAndFar"}},
        RuleCase{"custom film", {{"filmFormat", "Vista Vision"}, {"filmFormat", "Custom"}}, false,
                 {"apertureWidth", "apertureHeight"}, {}},
        RuleCase{"named film", {{"filmFormat", "Custom"}, {"filmFormat", "35mm"}}, false, {},
                 {"apertureWidth", "apertureHeight"}},
        RuleCase{"camera", {{"filmFormat", "Custom"}}, true, {},
                 {"focalPlane", "focalLength", "fStop", "apertureWidth", "apertureHeight"}}),
    ByName());
// clang-format on

// A saved node reopens with the rules applied to its stored values.
TEST(EnableRules, AppliedWhenASavedNodeIsReopened) {
  ktOrvel reopened(nullptr);
  OpHost::buildKnobs(reopened);
  for (const auto& [name, value] : Knobs{{"overrideNearAndFarForSlices", "true"}, {"realWorldLens", "true"},
                                         {"filmFormat", "Custom"}})
    ASSERT_TRUE(standin::record(reopened.knob(name))->fromScript(value));  // stored, as a script loads them
  OpHost::buildKnobs(reopened);
  EXPECT_TRUE(reopened.knob("depthSlicesNearAndFar")->isEnabled());
  EXPECT_FALSE(reopened.knob("multiplier")->isEnabled());
  EXPECT_TRUE(reopened.knob("apertureWidth")->isEnabled());
}

// Knobs that clamp hold values within their declared range, whatever a script stores.
// What the host's registry holds of the node: its name, constructor and build stamp.
TEST(Registration, FindsTheNodeWithItsBuildStamp) {
  const Op::Description* d = Op::find_description("ktOrvel", nullptr);
  ASSERT_NE(d, nullptr);
  EXPECT_STREQ(d->compiled, "Jun 23 2020 for 11.3v6");
  std::unique_ptr<Op> op(d->constructor(nullptr));
  EXPECT_STREQ(op->Class(), "ktOrvel");
}

TEST(Knobs, ClampedKnobsHoldTheirRange) {
  Scene s;
  // clang-format off
  s.set({{"kNumSides", "40"}, {"max_kernelsize", "-5"}, {"focalLength", "1e30"}, {"bloomCurvature", "9"},
         {"kSphAbb", "-3"}, {"correctiveSlices", "0"}});
  // clang-format on
  EXPECT_EQ(s.node.renderContext().settings->kNumSides, 16);
  EXPECT_EQ(s.node.renderContext().settings->max_kernelsize, 1);
  EXPECT_FLOAT_EQ(s.node.renderContext().settings->focalLength, 300.0f);
  EXPECT_FLOAT_EQ(s.node.renderContext().settings->bloomCurvature, 4.0f);
  EXPECT_FLOAT_EQ(s.node.renderContext().settings->kSphAbb, -1.0f);
  EXPECT_EQ(s.node.renderContext().settings->correctiveSlices, 1);
}

TEST(Validate, CameraValuesDriveTheLens) {
  Scene s;
  CameraOp camera{nullptr};
  camera.setFocalLength(85.0);
  camera.setFocusDistance(250.0);
  camera.setfStop(1.4);
  camera.setHorizontalAperture(36.0);
  camera.setVerticalAperture(24.0);
  OpHost::connect(s.node, ktOrvel::kCamera, &camera);
  s.node.validate(true);
  EXPECT_FLOAT_EQ(s.node.renderContext().settings->focalPlane, 250.0f);
  EXPECT_FLOAT_EQ(s.node.renderContext().settings->apertureWidth, 36.0f);
  // 85 / (2500 - 85) x 85 / 1.4, and pixels per mm from the 64 x 32 format and 36 x 24 film.
  EXPECT_NEAR(s.node.renderContext().settings->lensCoefficient, 85.0 / 2415.0 * 85.0 / 1.4, 1e-4);
  EXPECT_NEAR(s.node.renderContext().settings->pixelsPerMm, std::sqrt(64.0 * 32.0) / std::sqrt(36.0 * 24.0), 1e-4);
}

TEST(Validate, ErrorsMattesAndSlices) {
  Scene s;
  s.set({{"kernelType", "Input"},
         {"correctiveSlices", "2"},
         {"bloomMatteChannel", "R"},
         {"chromicAberrationMatteChannel", "A"}});
  s.node.validate(true);
  EXPECT_EQ(OpHost::errors(s.node), std::vector<std::string>{"No input kernel connected!"});
  EXPECT_EQ(*s.node.renderContext().sliceDepths, (std::vector<float>{0.0f, 100.0f}));
  EXPECT_FALSE(s.node.renderContext().hasBloomMatte);  // no Mattes input
  MemoryIop mattes(Format(64, 32), Box(0, 0, 64, 32), Mask_RGBA);
  OpHost::connect(s.node, ktOrvel::kMattes, &mattes);
  s.node.validate(true);
  EXPECT_TRUE(s.node.renderContext().hasBloomMatte);
  EXPECT_FALSE(s.node.renderContext().hasDefocusMatte);
  EXPECT_TRUE(s.node.renderContext().hasChromicAberrationMatte);
}

// Settings under which nothing could blur as asked are refused naming knob and value, a knob
// that changes nothing says so, and a named film format overrides its disabled aperture knobs.
struct SettingCase { const char* name; Knobs knobs; bool deep; std::string error, warning; float width; };
void PrintTo(const SettingCase& c, std::ostream* os) { *os << c.name; }
class Settings : public ::testing::TestWithParam<SettingCase> {};

TEST_P(Settings, AreRefusedOrWarnedByName) {
  const SettingCase& c = GetParam();
  Scene s;
  MemoryDeepOp deep(Format(64, 32), Box(0, 0, 64, 32), ChannelSet(Mask_RGBA) + Mask_Deep);
  if (c.deep) OpHost::connect(s.node, ktOrvel::kDeepInput, &deep);
  s.set(c.knobs);
  s.node.validate(true);
  const auto only = [](const std::vector<std::string>& m, const std::string& start) {
    return start.empty() ? m.empty() : m.size() == 1 && m[0].rfind(start, 0) == 0;
  };
  EXPECT_TRUE(only(OpHost::errors(s.node), c.error)) << c.error;
  EXPECT_TRUE(only(OpHost::warnings(s.node), c.warning)) << c.warning;
  EXPECT_FLOAT_EQ(s.node.renderContext().settings->apertureWidth, c.width);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Settings, ::testing::Values(
    SettingCase{"flat_aperture", {{"kAspectRatio", "0"}}, false, "kAspectRatio 0 ", "", 22},
    SettingCase{"no_f_number", {{"realWorldLens", "1"}, {"fStop", "-2"}}, false, "fStop -2:", "", 22},
    SettingCase{"no_focal_length", {{"realWorldLens", "1"}, {"focalLength", "0"}}, false, "focalLength 0 mm", "", 22},
    SettingCase{"artistic_lens_uses_neither", {{"fStop", "0"}, {"focalLength", "0"}}, false, "", "", 22},
    SettingCase{"deep_front_alone", {{"focusOutput", "Front"}}, true, "", "focusOutput Front changes nothing", 22},
    SettingCase{"deep_front_apart", {{"focusOutput", "Front"}, {"integrateFrontAndBackSeperately", "1"}}, true, "", "", 22},
    SettingCase{"named_film", {{"filmFormat", "Vista Vision"}, {"apertureWidth", "30"}}, false, "", "", 37.7f},
    SettingCase{"custom_film", {{"filmFormat", "Custom"}, {"apertureWidth", "30"}}, false, "", "", 30}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// The box grows by half the maximum kernel, rounded down before and up after.
TEST(Validate, BoxGrowsByHalfTheMaximumKernel) {
  const int cases[][3] = {{256, 128, 127}, {255, 127, 127}, {1, 0, 0}, {2, 1, 0}};
  for (const auto& [size, before, after] : cases) {
    Scene s;
    s.set({{"expandBBoxToMaxKernelSize", "true"}, {"max_kernelsize", std::to_string(size).c_str()}});
    s.node.validate(true);
    EXPECT_EQ(s.node.info().box(), Box(-before, -before, 64 + after, 32 + after)) << size;
  }
}

TEST(Request, PadsTheInputAndMattesAndReadsTheWholeKernel) {
  Scene s;
  MemoryIop kernel(Format(16, 16), Box(-3, -2, 13, 14), Mask_RGB);
  MemoryIop mattes(Format(64, 32), Box(0, 0, 64, 32), Mask_RGBA);
  s.set({{"kernelType", "Input"}, {"defocusMatteChannel", "G"}, {"max_kernelsize", "20"}});
  OpHost::connect(s.node, ktOrvel::kKernel, &kernel);
  OpHost::connect(s.node, ktOrvel::kMattes, &mattes);
  s.node.validate(true);
  s.node.request(5, 6, 30, 20, Mask_RGB, 1);
  EXPECT_EQ(s.image.requestedBox(), Box(-5, -4, 40, 30));
  EXPECT_EQ(s.image.requested_channels(), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z));
  EXPECT_EQ(kernel.requestedBox(), Box(-3, -2, 13, 14));
  EXPECT_EQ(mattes.requestedBox(), Box(-5, -4, 40, 30));
  EXPECT_EQ(mattes.requested_channels(), ChannelSet(Chan_Green));
}

// What open measures and builds, from the depths: the artistic lens blurs 20 x multiplier
// ratios beyond 12. A blur of `limit` blends the bank entries floor(limit) and floor(limit) + 2,
// whose odd side is at most limit + 2: the bank must hold that entry and the padding must reach
// its half width.
struct OpenCase {
  const char* name;
  Knobs knobs;
  float depth;
  int limit;
  bool builds;
  const char* warning;
};
void PrintTo(const OpenCase& c, std::ostream* os) { *os << c.name; }

class Open : public ::testing::TestWithParam<OpenCase> {};

TEST_P(Open, BuildsTheBankTheBlurNeeds) {
  const OpenCase& c = GetParam();
  Scene s;
  s.set(kArtistic);
  s.set(c.knobs);
  s.image.fill(Chan_Z, c.depth);
  s.open();
  const ktRenderContext view = s.node.renderContext();
  EXPECT_EQ(view.kernelSizeLimit, c.limit) << c.name;
  if (c.builds) {
    const int widest = std::max(c.limit, 1) + 2;  // blurs are never below 1
    EXPECT_GE(view.kernels->size(), size_t(widest) + 1) << c.name;
    EXPECT_GE(view.padding, (widest - (widest % 2 == 0 ? 1 : 0)) / 2) << c.name;
    EXPECT_LE(view.padding, c.limit + 2) << c.name;
  } else {
    EXPECT_TRUE(view.kernels->empty()) << c.name;
  }
  EXPECT_EQ(OpHost::warnings(s.node),
            c.warning[0] ? std::vector<std::string>{c.warning} : std::vector<std::string>{})
      << c.name;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, Open,
    ::testing::Values(OpenCase{"in focus", {}, 10, 0, true, ""},
                      OpenCase{"back multiplier", {{"backmultiplier", "1.5"}}, 500, 30, true, ""},
                      OpenCase{"fraction rounds up", {{"multiplier", "30.2"}}, 500, 31, true, ""},
                      OpenCase{"capped", {{"multiplier", "90"}, {"max_kernelsize", "64"}}, 500, 64, true,
                               "Max kernel size is less than the maximum coc in the result, you may want to "
                               "consider increasing the max kernel size above 90."},
                      OpenCase{"focus matte builds none", {{"outputType", "Focus Matte"}}, 500, 256, false, ""}),
    ByName());
// clang-format on

// Focus matte: green in front, blue behind, alpha passed through; focal distance: red in
// focus, blue the back blur, green the front blur, over 256 when normalised.
TEST(Render, FocusMatteAndFocalDistance) {
  Scene s(4, 1);
  s.set(kArtistic);
  const float depth[] = {5.0f, 9.0f, 10.0f, 12.0f};
  for (int x = 0; x < 4; ++x) s.image.set(x, 0, Chan_Z, depth[x]);
  s.image.fill(Chan_Alpha, 0.75f);
  s.set({{"outputType", "Focus Matte"}});
  RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(s.out(r, x, 0, Chan_Green), x < 2 ? 1.0f : 0.0f) << x;
    EXPECT_EQ(s.out(r, x, 0, Chan_Blue), x < 2 ? 0.0f : 1.0f) << x;
    EXPECT_EQ(s.out(r, x, 0, Chan_Alpha), 0.75f) << x;
  }
  s.set({{"outputType", "Focal Distance Visualization"}});
  r = s.render();
  const float red[] = {0, 0, 1, 0}, green[] = {20, 10, 0, 0}, blue[] = {0, 0, 0, 20};
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(s.out(r, x, 0, Chan_Red), red[x]) << x;
    EXPECT_NEAR(s.out(r, x, 0, Chan_Green), green[x] / 256.0f, 1e-6f) << x;
    EXPECT_NEAR(s.out(r, x, 0, Chan_Blue), blue[x] / 256.0f, 1e-6f) << x;
  }
  s.set({{"normalizeVisualization", "false"}});
  EXPECT_NEAR(s.out(s.render(), 3, 0, Chan_Blue), 20.0f, 1e-5f);
}

// Deep focus matte: layers mix by alpha, the empty background counts as far (the back), and an
// opaque near sample hides the one behind it.
TEST(Render, DeepFocusMatteMixesLayersByAlpha) {
  Scene s(3, 1);
  s.set(kArtistic);
  s.set({{"outputType", "Focus Matte"}});
  MemoryDeepOp deep(Format(3, 1), Box(0, 0, 3, 1), (ChannelSet(Chan_Alpha) + Chan_DeepFront + Chan_DeepBack));
  const float front[] = {0.5f, 5.0f, 5.0f};
  const float two[] = {1.0f, 11.0f, 11.0f, 1.0f, 6.0f, 6.0f};
  deep.setPixel(0, 0, front, 1);
  deep.setPixel(2, 0, two, 2);
  OpHost::connect(s.node, ktOrvel::kDeepInput, &deep);
  const RenderReport r = s.render();
  ASSERT_NE(r.image, nullptr);
  const float green[] = {0.5f, 0.0f, 1.0f};
  for (int x = 0; x < 3; ++x) {
    EXPECT_FLOAT_EQ(s.out(r, x, 0, Chan_Green), green[x]) << x;
    EXPECT_FLOAT_EQ(s.out(r, x, 0, Chan_Blue), 1.0f - green[x]) << x;
  }
}

// The composite of separately integrated deep front and back lays the front over the back:
// Both = Back x (1 - Front alpha) + Front, from the Front and Back outputs of the same scene (a
// half-covering red sample before the focal plane, an opaque blue one behind it).
TEST(Render, DeepFrontLiesOverTheBack) {
  Scene s(9, 5);
  s.set(kArtistic);
  s.set({{"integrateFrontAndBackSeperately", "1"}, {"multiplier", "3"}});
  MemoryDeepOp deep(Format(9, 5), Box(0, 0, 9, 5), ChannelSet(Mask_RGBA) + Mask_Deep);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      const float near = 0.1f * float(x % 4);  // the near sample's alpha, none at x % 4 == 0
      const float two[] = {0.8f * near, 0.2f * near, 0, near, 4, 4, 0.3f, 0.1f, 0.9f, 1, 20, 20};
      deep.setPixel(x, y, near > 0 ? two : two + 6, near > 0 ? 2 : 1);
    }
  OpHost::connect(s.node, ktOrvel::kDeepInput, &deep);
  RenderReport out[3];
  for (int i = 0; i < 3; ++i) {
    s.set({{"focusOutput", i == 0 ? "Both" : i == 1 ? "Front" : "Back"}});
    out[i] = s.render();
    ASSERT_NE(out[i].image, nullptr);
  }
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) {
      const float a = s.out(out[1], x, y, Chan_Alpha);
      EXPECT_TRUE(x % 4 == 0 || (a > 0.05f && a < 0.95f)) << a << " half covers nothing";
      for (Channel z : ChannelSet(Mask_RGBA))
        EXPECT_NEAR(s.out(out[0], x, y, z), s.out(out[2], x, y, z) * (1.0f - a) + s.out(out[1], x, y, z),
                    1e-5f)
            << x << ", " << y << " channel " << z;
    }
}

// One 40 x 30 frame under three formats (whole, its lower half, a strip offset sideways): its
// upper right far behind the focal plane with a bright point, the rest in focus. Whatever the
// format holds, every pixel of the box spreads its own blur, on both engines, flat or deep.
TEST(Render, TheBlurDoesNotDependOnTheFormat) {
  const Format formats[] = {Format(40, 30), Format(40, 15, 0, 0, 40, 15), Format(15, 12, 25, 2, 40, 14)};
  for (bool useDeep : {false, true})
    for (bool reference : {true, false}) {
      std::vector<RenderReport> out;
      for (const Format& f : formats) {
        MemoryDeepOp deep(f, Box(0, 0, 40, 30), ChannelSet(Mask_RGBA) + Mask_Deep);
        Scene s(f, Box(0, 0, 40, 30));
        for (int y = 0; y < 30; ++y)
          for (int x = 0; x < 40; ++x) {
            const float v = x == 20 && y == 24 ? 50.0f : 0.2f, z = y >= 15 && x >= 16 ? 1000.0f : 100.0f;
            const float sample[] = {v, v, v, 1, z, z};
            deep.setPixel(x, y, sample, 1);
            for (int c = 0; c < 5; ++c) s.image.set(x, y, Channel(Chan_Red + c), sample[c]);
          }
        if (useDeep) OpHost::connect(s.node, ktOrvel::kDeepInput, &deep);
        s.node.useReferenceEngine(reference);
        s.set({{"focalPlane", "100"}, {"focusRegionSize", "10"}, {"multiplier", "15"}});
        out.push_back(s.render());
        ASSERT_NE(out.back().image, nullptr);
      }
      const std::string name = (useDeep ? "deep " : "flat ") + std::string(reference ? "reference" : "fast");
      EXPECT_GT(out[0].image->at(20, 17, Chan_Red), 0.3f) << name << ": the point spreads 7 rows down";
      for (size_t i = 1; i < out.size(); ++i)
        for (int y = 0; y < 30; ++y)
          for (int x = 0; x < 40; ++x)
            ASSERT_NEAR(out[i].image->at(x, y, Chan_Red), out[0].image->at(x, y, Chan_Red), 1e-6f)
                << name << ", format " << i << " at " << x << ", " << y;
    }
}

// With "all" channels, a later request for fewer channels keeps those an earlier request of the
// same validation asked for: green, asked first, is blurred like red.
TEST(Request, AllChannelsAddUpOverTheRequests) {
  Scene s(9, 9);
  s.set(kArtistic);
  s.set({{"orvelChannels", "all"}, {"multiplier", "5"}});
  s.image.fill(Chan_Z, 500.0f);
  s.image.set(4, 4, Chan_Red, 1.0f);
  s.image.set(4, 4, Chan_Green, 1.0f);
  s.node.validate(true);
  s.node.request(0, 0, 9, 9, Mask_RGBA, 1);
  s.node.request(0, 0, 9, 9, Chan_Red, 1);
  s.node.open();
  Row row(0, 9);
  s.node.engine(4, 0, 9, Mask_RGBA, row);
  EXPECT_GT(row[Chan_Red][5], 0.01f);
  EXPECT_FLOAT_EQ(row[Chan_Green][5], row[Chan_Red][5]);
}

// An aperture image of side n, lit where lit(x, y) holds (rows counting upward).
std::unique_ptr<MemoryIop> aperture(int n, const std::function<bool(int, int)>& lit) {
  auto img = std::make_unique<MemoryIop>(Format(n, n), Box(0, 0, n, n), Mask_RGBA);
  for (Channel z : ChannelSet(Mask_RGBA))
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) img->set(x, y, z, lit(x, y) ? 1.0f : 0.0f);
  return img;
}

// ---- Kernels with nothing to normalise (a ring aperture image resampled to one pixel is its
// empty centre; max_kernelsize 1 samples nothing): a light keeps its total, 100, on both engines.
TEST(Render, ALightKeepsItsTotalWhereKernelsSumToNothing) {
  const auto ring = aperture(21, [](int x, int y) {  // radii 7 to 10
    const int r2 = (x - 10) * (x - 10) + (y - 10) * (y - 10);
    return r2 >= 49 && r2 <= 100;
  });
  const std::pair<Knobs, float> cases[] = {// knobs, depth (the focal plane is 10)
                                           {{{"kernelType", "Input"}}, 10.0f},
                                           {{{"max_kernelsize", "1"}}, 10.0f},
                                           {{{"max_kernelsize", "1"}}, 500.0f}};
  for (const auto& [knobs, depth] : cases)
    for (bool reference : {true, false}) {
      Scene s(21, 21);
      s.set(kArtistic);
      s.set(knobs);
      s.image.fill(Chan_Z, depth);
      s.image.set(10, 10, Chan_Red, 100.0f);
      OpHost::connect(s.node, ktOrvel::kKernel, ring.get());
      s.node.useReferenceEngine(reference);
      const RenderReport r = s.render();
      ASSERT_NE(r.image, nullptr);
      double total = 0.0;
      for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x) total += s.out(r, x, y, Chan_Red);
      EXPECT_NEAR(total, 100.0, 1e-3)
          << knobs[0].first << " at " << depth << (reference ? ", reference" : "");
      EXPECT_NEAR(s.out(r, 10, 10, Chan_Red), 100.0f, 1e-3f) << "no blur";
    }
}

// ---- An aperture image renders the way up it is drawn, and "Filter Shape" shows it so: an L, its
// foot at the bottom, 36 x 36 pixels in 9 x 9 cells of 4. The hero (18) and the bank kernel of a
// blur of 9 sample every fourth pixel exactly, one in each cell.
bool insideL(int cx, int cy) { return cx < 3 || cy < 3; }  // cells, rows counting upward

TEST(Render, AnApertureImageKeepsItsWayUp) {
  Scene s(36, 36);
  s.set(kArtistic);
  s.set({{"kernelType", "Input"}, {"multiplier", "9"}, {"max_kernelsize", "18"}});
  s.image.fill(Chan_Z, 500.0f);
  s.image.set(18, 18, Chan_Red, 1.0f);
  const auto shape = aperture(36, [](int x, int y) { return insideL(x / 4, y / 4); });
  OpHost::connect(s.node, ktOrvel::kKernel, shape.get());
  for (bool reference : {true, false}) {
    s.node.useReferenceEngine(reference);
    const RenderReport r = s.render();
    ASSERT_NE(r.image, nullptr);
    for (int dy = -4; dy <= 4; ++dy)  // the 45 lit cells share the light
      for (int dx = -4; dx <= 4; ++dx)
        ASSERT_NEAR(s.out(r, 18 + dx, 18 + dy, Chan_Red), insideL(4 + dx, 4 + dy) ? 1.0f / 45 : 0.0f, 1e-6f)
            << (reference ? "reference" : "fast") << " at offset " << dx << ", " << dy;
  }
  // The preview's hero has the image's side: pixel 4c + 1 is the midpoint of four pixels of cell c.
  s.set({{"outputType", "Filter Shape"}});
  const RenderReport preview = s.render();
  ASSERT_NE(preview.image, nullptr);
  for (int cy = 0; cy < 9; ++cy)
    for (int cx = 0; cx < 9; ++cx)
      ASSERT_NEAR(s.out(preview, 4 * cx + 1, 4 * cy + 1, Chan_Red), insideL(cx, cy) ? 1.0f : 0.0f, 1e-6f)
          << "cell " << cx << ", " << cy;
}

}  // namespace
