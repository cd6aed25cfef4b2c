// A deep image of one opaque point sample per pixel carries the same information as a flat
// image with that colour and depth: the deep engine must give the flat engine's row.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "ktDeepEngineSetup.h"
#include "ktDeepTestScene.h"
#include "ktDefocus.h"

using namespace DD::Image;

namespace {

constexpr int kWidth = 7, kHeight = 5;

struct AgreementCase {
  std::string name;
  bool realWorldLens;
  float nearDepth, farDepth;  // the scene's depths run over this range
  float chromatic, bloom;
};

std::ostream& operator<<(std::ostream& os, const AgreementCase& c) { return os << c.name; }

float depthAt(const AgreementCase& c, int x, int y) {
  return c.nearDepth + (c.farDepth - c.nearDepth) * float((3 * x + 5 * y) % 11) / 10.0f;
}

class FlatAgreement : public testing::TestWithParam<AgreementCase> {};

TEST_P(FlatAgreement, OpaquePointSamplesDefocusLikeTheFlatImage) {
  const AgreementCase& c = GetParam();
  deeptest::Scene scene(kWidth, kHeight);
  auto flat = deeptest::makeFlat(kWidth, kHeight, 0, 0, 0, 1, 0);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const float red = 0.1f * float(x), green = 0.15f * float(y), blue = float((x + y) % 3) * 0.4f;
      const float depth = depthAt(c, x, y);
      scene.add(x, y, deeptest::point(depth, red, green, blue, 1.0f));
      flat->set(x, y, Chan_Red, red);
      flat->set(x, y, Chan_Green, green);
      flat->set(x, y, Chan_Blue, blue);
      flat->set(x, y, Chan_Z, depth);
    }
  auto deep = scene.makeDeepOp();

  deeptest::EngineSetup setup(kWidth, kHeight, 10, 6);
  ktOrvelSettings& s = setup.settings;
  s.realWorldLens = c.realWorldLens;
  s.multiplier = 5.0f;
  s.frontmultiplier = 1.4f;
  s.backmultiplier = 0.8f;
  s.kChrAbb = c.chromatic;
  s.bloom = c.bloom;
  s.bloomCurvature = 0.0f;  // uniform bloom: both engines place the bloom falloff alike
  s.bloomThreshold = 0.2f;
  s.worldScale = 1;
  s.pixelsPerMm = 5.0f;
  s.lensCoefficient = 50.0f / 950.0f * 50.0f / 2.0f;
  const float focalPlane = c.realWorldLens ? 100.0f : 10.0f;
  setup.setFocus(focalPlane, 16.0f);
  setup.setSlices({0.0f, 0.6f * focalPlane, focalPlane, 1.4f * focalPlane, 2.0f * focalPlane});

  for (int y = -1; y <= kHeight; ++y) {
    Row deepRow(-2, kWidth + 2), flatRow(-2, kWidth + 2);
    deepDefocus(setup.ctx, *flat, nullptr, deep.get(), y, -2, kWidth + 2, Mask_RGBA, deepRow, 0);
    defocus(setup.ctx, *flat, nullptr, y, -2, kWidth + 2, Mask_RGBA, flatRow);
    for (Channel z : ChannelSet(Mask_RGBA))
      for (int x = -2; x < kWidth + 2; ++x) {
        const float expected = flatRow[z][x];
        EXPECT_NEAR(deepRow[z][x], expected, 1e-5f * std::max(1.0f, std::fabs(expected)))
            << "channel " << z << " at " << x << ", " << y;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Deep, FlatAgreement,
                         testing::Values(AgreementCase{"Artistic", false, 1.0f, 25.0f, 0.0f, 0.0f},
                                         AgreementCase{"ArtisticWithChromaticAndBloom", false, 1.0f, 25.0f,
                                                       0.6f, 0.5f},
                                         AgreementCase{"RealWorldLens", true, 50.0f, 400.0f, 0.0f, 0.0f}),
                         [](const testing::TestParamInfo<AgreementCase>& info) { return info.param.name; });

}  // namespace
