// The fast engine against the straightforward reference engine, pixel by pixel, over settings
// that exercise every branch, on every vector target this processor runs: per channel, the
// largest difference at most 1e-5 of the channel's largest reference value (exact where that is
// 0), non-finite values alike.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "standin/MemoryDeepOp.h"
#include "standin/OpHost.h"
#include "standin/MemoryIop.h"
#include "standin/RenderDriver.h"
#include "ktOrvel.h"
#include "ktSimdTarget.h"
#include "nodeScenes.h"

using namespace DD::Image;
using namespace standin;

namespace {

// What a case adds to the flat frame: mattes, an aperture image, a deep input, a few pixels of
// infinite and NaN colour, one depth along each row (long stretches of one kernel).
enum Flags { kMattes = 1, kKernelImage = 2, kDeep = 4, kNonFinite = 8, kDepthByRow = 16 };
struct Case {
  const char* name;
  std::vector<std::pair<const char*, const char*>> knobs;
  int flags = 0;
  Box box = Box(0, 0, 48, 36);  // the input's box inside a 48 x 36 format
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

RenderReport renderWith(const Case& c, bool reference) {
  const Format format(48, 36);
  auto image = noiseImage(format, c.box, ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z), 7);
  // Depths: bands from the foreground through the focal plane (10) to far away, and bright points.
  for (int y = c.box.y(); y < c.box.t(); ++y)
    for (int x = c.box.x(); x < c.box.r(); ++x) {
      const float band[] = {4.0f, 8.5f, 10.0f, 11.0f, 30.0f, 1e30f};
      image->set(x, y, Chan_Z,
                 (c.flags & kDepthByRow) ? band[(y + 100) / 3 % 6]
                              : band[((x + 2 * y + 1000) / 5) % 6] + 0.01f * float((x + 300) % 3));
      if ((x * 7 + y * 3 + 2300) % 23 == 0) image->set(x, y, Chan_Red, 8.0f);
      if ((c.flags & kNonFinite) && (x * 13 + y * 5 + 900) % 97 == 0)
        image->set(x, y, (x + y) % 2 ? Chan_Green : Chan_Blue,
                   (x + y) % 3 ? std::numeric_limits<float>::infinity() : std::numeric_limits<float>::quiet_NaN());
    }
  auto mattes = noiseImage(format, Box(0, 0, 48, 36), Mask_RGBA, 11);
  auto kernel = noiseImage(Format(20, 14), Box(0, 0, 20, 14), Mask_RGBA, 13);
  auto deep = deepScene(format, c.box, 17, c.flags & kNonFinite);
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 20; ++x) kernel->set(x, y, Chan_Green, 0.5f * kernel->at(x, y, Chan_Red));

  ktOrvel node(nullptr);
  OpHost::buildKnobs(node);
  node.useReferenceEngine(reference);
  OpHost::connect(node, ktOrvel::kInput, image.get());
  if (c.flags & kMattes) OpHost::connect(node, ktOrvel::kMattes, mattes.get());
  if (c.flags & kKernelImage) OpHost::connect(node, ktOrvel::kKernel, kernel.get());
  if (c.flags & kDeep) OpHost::connect(node, ktOrvel::kDeepInput, deep.get());
  const std::pair<const char*, const char*> base[] = {
      {"focalPlane", "10"}, {"focusRegionSize", "4"}, {"multiplier", "9"}, {"max_kernelsize", "24"}};
  for (const auto& k : base) standin::record(node.knob(k.first))->fromScript(k.second);
  setKnobs(node, c.knobs);
  OutputContext context;
  OpHost::setProjectFormat(node, format);
  node.setOutputContext(context);
  RenderOptions options;
  options.threads = 2;
  RenderReport report = renderFrame(node, options);
  const bool mapped = node.mappedBands() > 0;
  EXPECT_EQ(mapped, !reference) << "the fast engine was not used";
  return report;
}

class EngineAgreement : public ::testing::TestWithParam<Case> {};

// The largest |fast - reference| of channel z over the frame; non-finite values must be alike.
double largestDifference(const RenderReport& fast, const RenderReport& reference, Channel z,
                         double& largestValue) {
  const Box& b = reference.image->info().box();
  double largest = 0.0;
  largestValue = 0.0;
  for (int y = b.y(); y < b.t(); ++y)
    for (int x = b.x(); x < b.r(); ++x) {
      const float want = reference.image->at(x, y, z), got = fast.image->at(x, y, z);
      if (!std::isfinite(want) || !std::isfinite(got)) {
        EXPECT_TRUE(std::isnan(want) ? std::isnan(got) : want == got)
            << want << " " << got << " at " << x << "," << y;
        continue;
      }
      largest = std::max(largest, std::fabs(double(got) - double(want)));
      largestValue = std::max(largestValue, std::fabs(double(want)));
    }
  return largest;
}

TEST_P(EngineAgreement, FastWithinToleranceOfReference) {
  RenderReport reference = renderWith(GetParam(), true);
  ASSERT_NE(reference.image, nullptr);
  for (const std::string& target : simdTargetNames()) {
    ASSERT_TRUE(forceSimdTarget(target));
    RenderReport fast = renderWith(GetParam(), false);
    resetSimdTarget();
    ASSERT_NE(fast.image, nullptr);
    ASSERT_EQ(fast.image->info().box(), reference.image->info().box());
    for (Channel z : ChannelSet(Mask_RGBA)) {
      double largestValue = 0.0;
      const double largest = largestDifference(fast, reference, z, largestValue);
      EXPECT_LE(largest, 1e-5 * largestValue)
          << target << " channel " << z << ": largest reference " << largestValue;
      std::printf("%-28s %-7s channel %d: largest difference %.3g (%.3g of the largest value)\n",
                  GetParam().name, target.c_str(), int(z), largest,
                  largestValue > 0 ? largest / largestValue : 0.0);
    }
  }
}

std::vector<Case> cases() {
  std::vector<Case> c;
  c.push_back({"defaults", {}});
  c.push_back({"one_slice", {{"correctiveSlices", "1"}}});
  c.push_back({"two_slices", {{"correctiveSlices", "2"}}});
  c.push_back({"front_only", {{"focusOutput", "Front"}}});
  c.push_back({"back_only", {{"focusOutput", "Back"}}});
  c.push_back({"quadratic", {{"focusRegionFalloff", "Quadratic"}, {"frontmultiplier", "2"}}});
  c.push_back({"real_lens",
               {{"realWorldLens", "true"}, {"focalLength", "50"}, {"fStop", "2"}, {"max_kernelsize", "40"}}});
  c.push_back({"inverse_depth", {{"depthStyle", "1/z"}, {"realWorldLens", "true"}, {"focalPlane", "0.1"}}});
  c.push_back({"bloom", {{"bloom", "0.8"}, {"bloomThreshold", "0.3"}}});
  c.push_back({"lens_bloom", {{"outputType", "Lens Bloom"}, {"bloom", "1"}, {"bloomCurvature", "0"}}});
  c.push_back({"chromatic", {{"kChrAbb", "6"}}});
  c.push_back({"chromatic_negative", {{"kChrAbb", "-4"}, {"kChrAbbOff", "0.2,1,0.7"}}});
  c.push_back({"mattes",
               {{"defocusMatteChannel", "R"}, {"bloomMatteChannel", "G"}, {"chromicAberrationMatteChannel", "B"},
                {"bloom", "0.5"}, {"kChrAbb", "3"}},
               kMattes});
  c.push_back({"coloured_kernel_image", {{"kernelType", "Input"}}, kKernelImage});
  c.push_back({"blades_anamorphic", {{"kernelType", "Aperture Blades"}, {"kAspectRatio", "0.6"}, {"kNumSides", "5"}}});
  c.push_back({"override_slices", {{"overrideNearAndFarForSlices", "1"}, {"depthSlicesNearAndFar", "2,40"}}});
  c.push_back({"rgb_only", {{"orvelChannels", "rgb"}}});
  c.push_back({"hard_disc", {{"kSoftness", "0"}}});
  c.push_back({"soft_disc", {{"kSoftness", "1"}}});
  c.push_back({"spherical_aberration", {{"kSphAbb", "0.6"}}});
  const Box inside(9, 5, 37, 30), beyond(-6, -4, 55, 41);
  c.push_back({"long_stretches_large_disc", {{"max_kernelsize", "40"}, {"multiplier", "30"}}, kDepthByRow});
  c.push_back({"long_stretches_blades", {{"kernelType", "Aperture Blades"}, {"max_kernelsize", "32"}}, kDepthByRow});
  c.push_back({"long_stretches_box_inside_format", {{"max_kernelsize", "40"}, {"multiplier", "30"}}, kDepthByRow,
               inside});
  c.push_back({"box_inside_format", {}, 0, inside});
  c.push_back({"box_beyond_format", {{"expandBBoxToMaxKernelSize", "true"}}, 0, beyond});
  c.push_back({"infinite_and_nan_colours", {}, kNonFinite});
  auto deep = [&c](Case d) { d.flags |= kDeep, c.push_back(d); };
  deep({"deep_all_samples", {}});
  deep({"deep_box_beyond_format", {{"expandBBoxToMaxKernelSize", "true"}}, 0, beyond});
  deep({"deep_infinite_and_nan_colours", {}, kNonFinite});
  deep({"deep_one_slice", {{"correctiveSlices", "1"}}});
  deep({"deep_separate_both", {{"integrateFrontAndBackSeperately", "1"}}});
  deep({"deep_separate_front", {{"integrateFrontAndBackSeperately", "1"}, {"focusOutput", "Front"}}});
  deep({"deep_separate_back", {{"integrateFrontAndBackSeperately", "1"}, {"focusOutput", "Back"}}});
  deep({"deep_real_lens", {{"realWorldLens", "true"}, {"focalLength", "50"}, {"fStop", "2"}}});
  deep({"deep_back_depth", {{"depthChannel", "deep.back"}, {"bloom", "0.6"}}});
  deep({"deep_chromatic", {{"kChrAbb", "5"}, {"correctiveSlices", "3"}}});
  deep({"deep_mattes", {{"defocusMatteChannel", "R"}, {"bloomMatteChannel", "G"}, {"bloom", "0.5"}}, kMattes});
  deep({"deep_lens_bloom", {{"outputType", "Lens Bloom"}, {"bloom", "1"}, {"bloomThreshold", "0.2"}}});
  deep({"deep_see_through", {{"deepMethod", "See Through"}, {"kChrAbb", "3"}}});
  deep({"deep_see_through_separate", {{"deepMethod", "See Through"}, {"integrateFrontAndBackSeperately", "1"}}});
  deep({"deep_see_through_one_slice", {{"deepMethod", "See Through"}, {"correctiveSlices", "1"}, {"bloom", "0.5"}}});
  return c;
}

INSTANTIATE_TEST_SUITE_P(Settings, EngineAgreement, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
