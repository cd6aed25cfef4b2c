// The --camera option onto a camera operator.
#include <gtest/gtest.h>

#include "DDImage/CameraOp.h"
#include "cameraOption.h"

using DD::Image::CameraOp;

namespace {

// focal, focal_point, fstop, haperture, vaperture.
struct CameraValues {
  double focal, focalPoint, fStop, hAperture, vAperture;
};

CameraValues valuesOf(const CameraOp& c) {
  return {c.focalLength(), c.focusDistance(), c.fStop(), c.horizontalAperture(), c.verticalAperture()};
}

void expectValues(const CameraOp& c, const CameraValues& v) {
  EXPECT_DOUBLE_EQ(c.focalLength(), v.focal);
  EXPECT_DOUBLE_EQ(c.focusDistance(), v.focalPoint);
  EXPECT_DOUBLE_EQ(c.fStop(), v.fStop);
  EXPECT_DOUBLE_EQ(c.horizontalAperture(), v.hAperture);
  EXPECT_DOUBLE_EQ(c.verticalAperture(), v.vAperture);
}

struct GoodCase {
  const char* text;
  CameraValues expected;
};

class GoodCameraOptions : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodCameraOptions, SetTheNamedValuesAndKeepTheDefaults) {
  CameraOp camera{nullptr};
  const Status s = applyCameraOption(GetParam().text, camera);
  ASSERT_TRUE(s.ok()) << s.message;
  expectValues(camera, GetParam().expected);
}

// The defaults are the camera's: focal 50, focus 2, f/16, film back 24.576 x 18.672.
INSTANTIATE_TEST_SUITE_P(
    Cases, GoodCameraOptions,
    ::testing::Values(GoodCase{"focal=50,focal_point=1000,fstop=2,haperture=24.89,vaperture=18.67",
                               {50, 1000, 2, 24.89, 18.67}},
                      GoodCase{"focal=35", {35, 2, 16, 24.576, 18.672}},
                      GoodCase{"fstop=2.8", {50, 2, 2.8, 24.576, 18.672}},
                      GoodCase{" focal_point = 250 , vaperture=12 ", {50, 250, 16, 24.576, 12}},
                      GoodCase{"haperture=36,focal=85", {85, 2, 16, 36, 18.672}},
                      GoodCase{"", {50, 2, 16, 24.576, 18.672}},
                      GoodCase{"focal=1e2", {100, 2, 16, 24.576, 18.672}}));

struct BadCase {
  const char* text;
  const char* mentions;
};

class BadCameraOptions : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCameraOptions, AreUsageErrorsAndChangeNothing) {
  CameraOp camera{nullptr};
  const CameraValues before = valuesOf(camera);
  const Status s = applyCameraOption(GetParam().text, camera);
  EXPECT_EQ(s.code, kExitUsage);
  EXPECT_NE(s.message.find(GetParam().mentions), std::string::npos) << s.message;
  expectValues(camera, before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadCameraOptions,
    ::testing::Values(BadCase{"focal", "NAME=VALUE"}, BadCase{"focalpoint=3", "focal_point"},
                      BadCase{"zoom=3", "unknown"}, BadCase{"focal=abc", "focal"},
                      BadCase{"focal=", "number"}, BadCase{"focal=3x", "number"},
                      BadCase{"fstop=inf", "number"}, BadCase{"focal=1,focal=2", "twice"},
                      BadCase{"focal=35,fstop=abc", "fstop"}, BadCase{"focal=35,", "NAME=VALUE"}));

}  // namespace
