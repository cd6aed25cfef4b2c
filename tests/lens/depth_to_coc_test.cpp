// Depth to blur against numbers worked out by hand or from the thin-lens formula.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ktDepthToCoc.h"
#include "ktLensValues.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Artistic model: focal plane 10, region 4 (ramp ends 2 either side), multiplier 20.
ktOrvelSettings artistic(int falloff = kFalloffLinear) {
  ktOrvelSettings s;
  s.focalPlane = 10.0f;
  s.focusRegionSize = 4.0f;
  s.multiplier = 20.0f;
  s.focusRegionFalloff = falloff;
  s.contextScale = 1.0f;
  computeLensValues(s, 2048, 1024);
  return s;
}

// Real lens focused at 1000 mm (100 cm), 50 mm at f/2, 24 x 12 mm film back, 2048 x 1024 pixels.
ktOrvelSettings realLens() {
  ktOrvelSettings s;
  s.realWorldLens = true;
  s.focalPlane = 100.0f;
  s.worldScale = 1;
  s.focalLength = 50.0f;
  s.fStop = 2.0f;
  s.apertureWidth = 24.0f;
  s.apertureHeight = 12.0f;
  s.contextScale = 1.0f;
  computeLensValues(s, 2048, 1024);
  return s;
}

struct ArtisticCase {
  const char* name;
  int falloff;
  float depth;
  float coc;
  FocusRegion region;
};

class ArtisticTable : public ::testing::TestWithParam<ArtisticCase> {};

TEST_P(ArtisticTable, MatchesHandWorkedRamp) {
  const ArtisticCase& c = GetParam();
  const CocSample r = depthToCoc(artistic(c.falloff), 256, c.depth, DepthKind::Flat);
  EXPECT_NEAR(r.coc, c.coc, 1e-5f) << c.name;
  EXPECT_EQ(r.region, c.region) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArtisticTable,
    ::testing::Values(ArtisticCase{"half ramp linear", kFalloffLinear, 11.0f, 10.0f, FocusRegion::Back},
                      ArtisticCase{"half ramp quadratic", kFalloffQuadratic, 11.0f, 5.0f, FocusRegion::Back},
                      ArtisticCase{"end of ramp", kFalloffLinear, 12.0f, 20.0f, FocusRegion::Back},
                      ArtisticCase{"far beyond ramp", kFalloffLinear, 500.0f, 20.0f, FocusRegion::Back},
                      ArtisticCase{"front half ramp", kFalloffLinear, 9.0f, 10.0f, FocusRegion::Front},
                      ArtisticCase{"at focal plane", kFalloffLinear, 10.0f, 0.0f, FocusRegion::Back},
                      ArtisticCase{"behind camera", kFalloffQuadratic, -50.0f, 20.0f, FocusRegion::Front},
                      ArtisticCase{"infinite depth clamps to far", kFalloffLinear, kInf, 20.0f, FocusRegion::Back},
                      ArtisticCase{"NaN depth clamps to far", kFalloffLinear, kNaN, 20.0f, FocusRegion::Back}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(DepthToCoc, RegionMultipliersScaleEachSide) {
  ktOrvelSettings s = artistic();
  s.frontmultiplier = 2.0f;
  s.backmultiplier = 3.0f;
  EXPECT_NEAR(depthToCoc(s, 256, 9.0f, DepthKind::Flat).coc, 20.0f, 1e-5f);
  EXPECT_NEAR(depthToCoc(s, 256, 11.0f, DepthKind::Flat).coc, 30.0f, 1e-5f);
}

TEST(DepthToCoc, ContextScaleScalesTheBlur) {
  ktOrvelSettings s = artistic();
  s.contextScale = 0.5f;
  EXPECT_NEAR(depthToCoc(s, 256, 12.0f, DepthKind::Flat).coc, 10.0f, 1e-5f);
}

TEST(DepthToCoc, ConvertedDepthIsClampedToTheFocusRegion) {
  const ktOrvelSettings s = artistic();
  EXPECT_FLOAT_EQ(depthToCoc(s, 256, 500.0f, DepthKind::Flat).depth, 12.0f);
  EXPECT_FLOAT_EQ(depthToCoc(s, 256, 1.0f, DepthKind::Flat).depth, 8.0f);
  EXPECT_FLOAT_EQ(depthToCoc(s, 256, 10.5f, DepthKind::Flat).depth, 10.5f);
}

TEST(DepthToCoc, InverseDepthStyle) {
  ktOrvelSettings s = realLens();
  s.depthStyle = kDepthInverse;
  // 0.01 is the depth 100: the focal plane, so no blur.
  const CocSample at = depthToCoc(s, 77, 0.01f, DepthKind::Flat);
  EXPECT_NEAR(at.depth, 100.0f, 1e-3f);
  EXPECT_NEAR(at.coc, 0.0f, 1e-3f);
  // 0 and negative values are infinitely far: the largest kernel.
  EXPECT_FLOAT_EQ(depthToCoc(s, 77, 0.0f, DepthKind::Flat).coc, 77.0f);
  EXPECT_FLOAT_EQ(depthToCoc(s, 77, -3.0f, DepthKind::Flat).coc, 77.0f);
}

TEST(DepthToCoc, DeepDepthIsNeverInverted) {
  ktOrvelSettings s = realLens();
  s.depthStyle = kDepthInverse;
  EXPECT_NEAR(depthToCoc(s, 77, 100.0f, DepthKind::Deep).coc, 0.0f, 1e-4f);
}

TEST(DepthToCoc, RealLensWorkedExample) {
  const ktOrvelSettings s = realLens();
  const double pixelsPerMm = std::sqrt(2048.0 * 1024.0) / std::sqrt(24.0 * 12.0);
  const double lensCoefficient = 50.0 / 950.0 * 50.0 / 2.0;
  EXPECT_NEAR(s.pixelsPerMm, pixelsPerMm, 1e-3);
  EXPECT_NEAR(s.lensCoefficient, lensCoefficient, 1e-5);
  // Depth 200 cm = 2000 mm: |2000 - 1000| / 2000 of the coefficient, in pixels: about 56.1.
  const CocSample c = depthToCoc(s, 256, 200.0f, DepthKind::Flat);
  EXPECT_NEAR(c.coc, 0.5 * lensCoefficient * pixelsPerMm, 1e-3);
  EXPECT_NEAR(c.coc, 56.1, 0.05);
  EXPECT_EQ(c.region, FocusRegion::Back);
}

TEST(DepthToCoc, RealLensThinLensFormulaInFront) {
  const ktOrvelSettings s = realLens();
  // Depth 50 cm = 500 mm: |500 - 1000| / 500 = 1 coefficient of blur.
  const double expected = 50.0 / 950.0 * 50.0 / 2.0 * std::sqrt(2048.0 * 1024.0) / std::sqrt(24.0 * 12.0);
  const CocSample c = depthToCoc(s, 256, 50.0f, DepthKind::Flat);
  EXPECT_NEAR(c.coc, expected, 1e-3);
  EXPECT_EQ(c.region, FocusRegion::Front);
}

struct InfinityCase {
  const char* name;
  float depth;
  DepthKind kind;
};

class RealLensInfinity : public ::testing::TestWithParam<InfinityCase> {};

TEST_P(RealLensInfinity, GivesTheKernelSizeLimitTimesContextScale) {
  ktOrvelSettings s = realLens();
  s.contextScale = 2.0f;
  EXPECT_FLOAT_EQ(depthToCoc(s, 40, GetParam().depth, GetParam().kind).coc, 80.0f) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Cases, RealLensInfinity,
                         ::testing::Values(InfinityCase{"infinite", kInf, DepthKind::Flat},
                                           InfinityCase{"NaN", kNaN, DepthKind::Flat},
                                           InfinityCase{"largest float", kFarDepth, DepthKind::Flat},
                                           InfinityCase{"deep background", kFarDepth, DepthKind::Deep}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(DepthToCoc, AtTheFocalPlaneIsSharpAndBackInBothModels) {
  for (const ktOrvelSettings& s : {artistic(), realLens()}) {
    const CocSample c = depthToCoc(s, 256, s.focalPlane, DepthKind::Flat);
    EXPECT_FLOAT_EQ(c.coc, 0.0f);
    EXPECT_EQ(c.region, FocusRegion::Back);
  }
}

TEST(DepthToCoc, DegenerateLensGivesNoBlurForFiniteDepths) {
  ktOrvelSettings s = realLens();
  s.focalLength = 1000.0f;  // focus distance equals the focal length: infinite coefficient
  computeLensValues(s, 2048, 1024);
  EXPECT_TRUE(std::isinf(s.lensCoefficient));
  EXPECT_FLOAT_EQ(depthToCoc(s, 33, 300.0f, DepthKind::Flat).coc, 0.0f);
  EXPECT_FLOAT_EQ(depthToCoc(s, 33, kInf, DepthKind::Flat).coc, 33.0f);

  ktOrvelSettings noFilm = realLens();
  noFilm.apertureWidth = 0.0f;
  computeLensValues(noFilm, 2048, 1024);
  EXPECT_TRUE(std::isinf(noFilm.pixelsPerMm));
  EXPECT_FLOAT_EQ(depthToCoc(noFilm, 33, 300.0f, DepthKind::Flat).coc, 0.0f);
}

TEST(DepthToCoc, ZeroFocusRegionIsAStepNeverNaN) {
  ktOrvelSettings s = artistic();
  s.focusRegionSize = 0.0f;
  computeLensValues(s, 2048, 1024);
  const CocSample at = depthToCoc(s, 256, 10.0f, DepthKind::Flat);
  EXPECT_FLOAT_EQ(at.coc, 0.0f);
  const CocSample behind = depthToCoc(s, 256, 10.001f, DepthKind::Flat);
  EXPECT_FLOAT_EQ(behind.coc, 20.0f);
  EXPECT_EQ(behind.region, FocusRegion::Back);
  const CocSample front = depthToCoc(s, 256, 3.0f, DepthKind::Flat);
  EXPECT_FLOAT_EQ(front.coc, 20.0f);
  EXPECT_EQ(front.region, FocusRegion::Front);
  EXPECT_FALSE(std::isnan(depthToCoc(s, 256, kInf, DepthKind::Flat).coc));
}

TEST(DepthToCoc, UnorderableDepthHasNoRegion) {
  ktOrvelSettings s = realLens();
  const CocSample c = depthToCoc(s, 256, kNaN, DepthKind::Deep);
  EXPECT_EQ(c.region, FocusRegion::None);
  s.focalPlane = kNaN;
  EXPECT_EQ(depthToCoc(s, 256, 5.0f, DepthKind::Flat).region, FocusRegion::None);
}

TEST(DepthToCoc, WorldScaleUnits) {
  // Focus 1 m in metres, depth 2 m: the same blur as 100 cm and 200 cm.
  ktOrvelSettings metres = realLens();
  metres.worldScale = 2;
  metres.focalPlane = 1.0f;
  computeLensValues(metres, 2048, 1024);
  EXPECT_NEAR(depthToCoc(metres, 256, 2.0f, DepthKind::Flat).coc,
              depthToCoc(realLens(), 256, 200.0f, DepthKind::Flat).coc, 1e-3f);
  const float expected[] = {1.0f, 10.0f, 1000.0f, 25.4f, 304.8f, 1.0f};
  const int scales[] = {0, 1, 2, 3, 4, 9};
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(mmPerUnit(scales[i]), expected[i]) << scales[i];
}

}  // namespace
