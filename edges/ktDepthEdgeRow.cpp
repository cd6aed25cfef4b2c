#include "ktDepthEdgeRow.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

int clampedRadius(int radius) { return std::clamp(radius, 1, 8); }

}  // namespace

ktDepthEdgeRow::ktDepthEdgeRow(int width, const ktDepthEdgeRule& rule)
    : width_(std::max(width, 0)), rule_(rule) {
  rule_.radius = clampedRadius(rule.radius);
  rule_.threshold = std::max(rule.threshold, 0.0f);
  const size_t span = size_t(width_) + 2 * size_t(rule_.radius);
  lo_.assign(span, kInf);
  hi_.assign(span, -kInf);
}

void ktDepthEdgeRow::addRow(const float* depth) {
  const size_t span = lo_.size();
  for (size_t i = 0; i < span; ++i) {
    const float v = depth[i];
    if (!std::isfinite(v)) continue;
    lo_[i] = std::min(lo_[i], v);
    hi_[i] = std::max(hi_[i], v);
  }
}

void ktDepthEdgeRow::finish(const float* centre, float* out) const {
  const int n = 2 * rule_.radius + 1;
  const float t = rule_.threshold;
  for (int i = 0; i < width_; ++i) {
    const float v = centre[i];
    if (!std::isfinite(v)) {
      out[i] = v;
      continue;
    }
    // The centre is finite, so lo and hi are too once its own column is in.
    float lo = std::min(lo_[i], v);
    float hi = std::max(hi_[i], v);
    for (int k = 1; k < n; ++k) {
      lo = std::min(lo, lo_[i + k]);
      hi = std::max(hi, hi_[i + k]);
    }
    const bool edge = hi - lo > t * std::fabs(lo);
    out[i] = edge ? (rule_.inverse ? hi : lo) : v;
  }
}
