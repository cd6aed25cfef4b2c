// The padding scan: largest blur, rounded up, capped by max_kernelsize.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "ktCocScan.h"
#include "ktLensValues.h"

namespace {

ktOrvelSettings artistic(float multiplier, float back) {
  ktOrvelSettings s;
  s.focalPlane = 10.0f;
  s.focusRegionSize = 4.0f;
  s.multiplier = multiplier;
  s.backmultiplier = back;
  s.contextScale = 1.0f;
  computeLensValues(s, 100, 100);
  return s;
}

TEST(CocScan, EverythingInFocus) {
  const ktOrvelSettings s = artistic(20.0f, 1.0f);
  ktCocScan scan(s);
  const std::vector<float> depths(64, 10.0f);
  scan.addRow(depths.data(), 64, DepthKind::Flat);
  const ktCocScan::Result r = scan.finish();
  EXPECT_EQ(r.kernelSizeLimit, 0);
  EXPECT_EQ(r.padding, 2);
  EXPECT_FALSE(r.capped);
}

TEST(CocScan, NothingScannedLeavesTheSmallestBank) {
  const ktOrvelSettings s = artistic(20.0f, 1.0f);
  const ktCocScan::Result r = ktCocScan(s).finish();
  EXPECT_EQ(r.kernelSizeLimit, 0);
  EXPECT_EQ(r.padding, 2);
}

TEST(CocScan, BackMultiplierRaisesTheLimit) {
  const ktOrvelSettings s = artistic(20.0f, 1.5f);
  ktCocScan scan(s);
  for (float d : {9.0f, 10.0f, 500.0f}) scan.add(d, DepthKind::Flat);
  const ktCocScan::Result r = scan.finish();
  EXPECT_EQ(r.kernelSizeLimit, 30);
  EXPECT_EQ(r.padding, 17);
}

TEST(CocScan, FractionalBlurRoundsUp) {
  // 30.2 pixels at the end of the back ramp.
  const ktOrvelSettings s = artistic(30.2f, 1.0f);
  ktCocScan scan(s);
  scan.add(12.0f, DepthKind::Flat);
  EXPECT_EQ(scan.finish().kernelSizeLimit, 31);
  EXPECT_EQ(scan.finish().padding, 17);
}

TEST(CocScan, CapAtMaxKernelSize) {
  ktOrvelSettings s = artistic(90.0f, 1.0f);
  s.max_kernelsize = 64;
  ktCocScan scan(s);
  scan.add(12.0f, DepthKind::Flat);
  const ktCocScan::Result r = scan.finish();
  EXPECT_TRUE(r.capped);
  EXPECT_EQ(scan.measured(), 90);
  EXPECT_EQ(r.kernelSizeLimit, 64);
  EXPECT_EQ(r.padding, 34);
}

TEST(CocScan, InfinitelyFarPixelsUseTheRunningMaximum) {
  ktOrvelSettings s;
  s.realWorldLens = true;
  s.focalPlane = 100.0f;
  s.focalLength = 50.0f;
  s.fStop = 2.0f;
  s.contextScale = 1.0f;
  computeLensValues(s, 100, 100);
  ktCocScan scan(s);
  for (float d : {100.0f, std::numeric_limits<float>::infinity(), 100.0f}) scan.add(d, DepthKind::Flat);
  EXPECT_EQ(scan.finish().kernelSizeLimit, 0);
}

TEST(CocScan, NaNBlurIsIgnored) {
  ktOrvelSettings s = artistic(20.0f, 1.0f);
  s.multiplier = std::numeric_limits<float>::quiet_NaN();
  ktCocScan scan(s);
  scan.add(12.0f, DepthKind::Flat);
  EXPECT_EQ(scan.finish().kernelSizeLimit, 0);
}

}  // namespace
