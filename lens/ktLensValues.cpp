#include "ktLensValues.h"

#include <algorithm>
#include <cmath>

#include "ktDepthToCoc.h"

void computeLensValues(ktOrvelSettings& s, int fullSizeWidth, int fullSizeHeight) {
  const long long area = static_cast<long long>(fullSizeWidth) * static_cast<long long>(fullSizeHeight);
  s.pixelsPerMm = std::sqrt(static_cast<float>(area)) / std::sqrt(s.apertureWidth * s.apertureHeight);
  s.focusHalfSize = s.focusRegionSize * 0.5f;
  s.focusHalfSizeInv = 1.0f / s.focusHalfSize;
  s.focusFar = s.focalPlane + s.focusHalfSize;
  s.focusNear = s.focalPlane - s.focusHalfSize;
  s.focusRange = s.focusFar - s.focusNear;
  const double focalLength = s.focalLength;
  const double focalPlaneMm = (s.focalPlane * mmPerUnit(s.worldScale)) * s.worldScaleMultiplier;
  s.lensCoefficient = focalLength / (focalPlaneMm - focalLength) * focalLength / s.fStop;
}

std::vector<float> computeSliceDepths(const ktOrvelSettings& s) {
  float nearDepth, farDepth, range;
  if (s.overrideNearAndFarForSlices) {
    nearDepth = std::min(s.depthSlicesNearAndFar[0], s.depthSlicesNearAndFar[1]);
    farDepth = std::max(s.depthSlicesNearAndFar[0], s.depthSlicesNearAndFar[1]);
    range = farDepth - nearDepth;
  } else {
    // The focus region, cut at the camera where it reaches behind it.
    nearDepth = std::max(0.0f, s.focusNear);
    farDepth = s.focusFar;
    range = nearDepth == s.focusNear ? s.focusRange : farDepth - nearDepth;
  }
  const int n = s.correctiveSlices;
  std::vector<float> depths;
  if (n == 2) {
    depths = {0.0f, s.focalPlane};
  } else if (n >= 3) {
    const float step = range / static_cast<float>(n);
    depths.reserve(n);
    depths.push_back(0.0f);
    for (int i = 1; i < n; ++i) depths.push_back(nearDepth + static_cast<float>(i) * step);
  }
  return depths;
}
