#include "ktCocScan.h"

#include <climits>
#include <cmath>

void ktCocScan::add(float depth, DepthKind kind) {
  const float c = std::ceil(depthToCoc(s_, max_, depth, kind).coc);
  if (!(c > static_cast<float>(max_))) return;  // NaN never wins the maximum
  max_ = c >= 2147483520.0f ? INT_MAX : static_cast<int>(c);
}

ktCocScan::Result ktCocScan::finish() const {
  Result r{max_, 0, false};
  if (s_.max_kernelsize < max_) {
    r.capped = true;
    r.kernelSizeLimit = s_.max_kernelsize;
  }
  r.padding = r.kernelSizeLimit / 2 + 2;
  return r;
}
