#include "ktPushPull.h"

#include <algorithm>
#include <cmath>

namespace {

// One level of the pyramid: per plane the weighted sums, and the weights.
struct Level {
  int width = 0, height = 0;
  std::vector<float> sums, weights;
};

// The next coarser level of an image of `planes` planes and weights read through sum(k, i) and
// weight(i), i the fine pixel.
template <class Sum, class Weight>
Level pull(int width, int height, size_t planes, Sum sum, Weight weight) {
  Level coarse;
  coarse.width = (width + 1) / 2, coarse.height = (height + 1) / 2;
  const size_t area = size_t(coarse.width) * size_t(coarse.height);
  coarse.sums.assign(area * planes, 0.0f);
  coarse.weights.assign(area, 0.0f);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t from = size_t(y) * size_t(width) + size_t(x);
      const size_t to = size_t(y / 2) * size_t(coarse.width) + size_t(x / 2);
      coarse.weights[to] += weight(from);
      for (size_t k = 0; k < planes; ++k) coarse.sums[k * area + to] += sum(k, from);
    }
  return coarse;
}

// Where a fine coordinate falls between the two nearest coarse ones: their indices and the
// fraction of the way from the first to the second.
struct Between {
  int lo, hi;
  float t;
};
std::vector<Between> betweens(int fine, int coarse) {
  std::vector<Between> out(size_t(std::max(fine, 0)));
  for (int i = 0; i < fine; ++i) {
    const float f = 0.5f * (float(i) + 0.5f) - 0.5f, lo = std::floor(f);
    out[size_t(i)] = Between{std::max(0, int(lo)), std::min(coarse - 1, int(lo) + 1), f - lo};
  }
  return out;
}

// Plane k of a coarse level read at a fine pixel between its four nearest pixels, in the form
// a + t (b - a), so that equal neighbours give their value exactly.
float between(const float* v, int width, const Between& bx, const Between& by) {
  auto at = [&](int i, int j) { return v[size_t(j) * size_t(width) + size_t(i)]; };
  const float top = at(bx.lo, by.lo) + bx.t * (at(bx.hi, by.lo) - at(bx.lo, by.lo));
  const float bottom = at(bx.lo, by.hi) + bx.t * (at(bx.hi, by.hi) - at(bx.lo, by.hi));
  return top + by.t * (bottom - top);
}

}  // namespace

// The image itself is never copied: the first coarse level is pulled from its planes, and only
// its holes are written at the end.
void pushPull(int width, int height, const std::vector<float*>& planes, const float* weight,
              const uint8_t* holes) {
  if (width <= 0 || height <= 0 || planes.empty()) return;
  const size_t n = planes.size();
  std::vector<Level> levels;  // levels[l] is level l + 1
  if (width > 1 || height > 1)
    levels.push_back(pull(
        width, height, n,
        [&](size_t k, size_t i) { return weight[i] > 0.0f ? planes[k][i] * weight[i] : 0.0f; },
        [&](size_t i) { return weight[i]; }));
  while (!levels.empty() && (levels.back().width > 1 || levels.back().height > 1)) {
    const Level& fine = levels.back();
    const size_t fineArea = fine.weights.size();
    levels.push_back(pull(
        fine.width, fine.height, n, [&](size_t k, size_t i) { return fine.sums[k * fineArea + i]; },
        [&](size_t i) { return fine.weights[i]; }));
  }

  // Push: each level's values, its own where it has weight, else from the level above.
  std::vector<float> above, here;
  for (size_t l = levels.size(); l-- > 0;) {
    const Level& level = levels[l];
    const size_t levelArea = level.weights.size();
    here.assign(levelArea * n, 0.0f);
    const bool top = l + 1 == levels.size();
    const int aboveWidth = top ? 0 : levels[l + 1].width;
    const size_t aboveArea = top ? 0 : levels[l + 1].weights.size();
    const std::vector<Between> columns = betweens(top ? 0 : level.width, aboveWidth);
    const std::vector<Between> rows = betweens(top ? 0 : level.height, top ? 0 : levels[l + 1].height);
    for (int y = 0; y < level.height; ++y)
      for (int x = 0; x < level.width; ++x) {
        const size_t i = size_t(y) * size_t(level.width) + size_t(x);
        const float w = level.weights[i];
        for (size_t k = 0; k < n; ++k) {
          float& v = here[k * levelArea + i];
          if (w > 0.0f)
            v = level.sums[k * levelArea + i] / w;
          else if (!top)
            v = between(above.data() + k * aboveArea, aboveWidth, columns[size_t(x)], rows[size_t(y)]);
        }
      }
    std::swap(above, here);
  }
  // The image's holes without weight of their own take the level above.
  const Level* first = levels.empty() ? nullptr : &levels[0];
  const int aboveWidth = first ? first->width : 0;
  const size_t aboveArea = first ? first->weights.size() : 0;
  const std::vector<Between> columns = betweens(first ? width : 0, aboveWidth);
  const std::vector<Between> rows = betweens(first ? height : 0, first ? first->height : 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t i = size_t(y) * size_t(width) + size_t(x);
      if (!holes[i] || weight[i] > 0.0f) continue;
      for (size_t k = 0; k < n; ++k)
        planes[k][i] =
            first ? between(above.data() + k * aboveArea, aboveWidth, columns[size_t(x)], rows[size_t(y)])
                  : 0.0f;
    }
}
