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

// The value of plane k at fine pixel (x, y) between the four nearest coarse pixels, in the form
// a + t (b - a), so that equal neighbours give their value exactly.
float between(const std::vector<float>& values, int width, int height, size_t k, int x, int y) {
  const float fx = 0.5f * (float(x) + 0.5f) - 0.5f, fy = 0.5f * (float(y) + 0.5f) - 0.5f;
  const float floorX = std::floor(fx), floorY = std::floor(fy);
  const float tx = fx - floorX, ty = fy - floorY;
  const int x0 = std::max(0, int(floorX)), y0 = std::max(0, int(floorY));
  const int x1 = std::min(width - 1, int(floorX) + 1), y1 = std::min(height - 1, int(floorY) + 1);
  const float* v = values.data() + k * size_t(width) * size_t(height);
  auto at = [&](int i, int j) { return v[size_t(j) * size_t(width) + size_t(i)]; };
  const float top = at(x0, y0) + tx * (at(x1, y0) - at(x0, y0));
  const float bottom = at(x0, y1) + tx * (at(x1, y1) - at(x0, y1));
  return top + ty * (bottom - top);
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
    for (int y = 0; y < level.height; ++y)
      for (int x = 0; x < level.width; ++x) {
        const size_t i = size_t(y) * size_t(level.width) + size_t(x);
        const float w = level.weights[i];
        for (size_t k = 0; k < n; ++k) {
          float& v = here[k * levelArea + i];
          if (w > 0.0f)
            v = level.sums[k * levelArea + i] / w;
          else if (l + 1 < levels.size())
            v = between(above, levels[l + 1].width, levels[l + 1].height, k, x, y);
        }
      }
    std::swap(above, here);
  }
  // The image's holes without weight of their own take the level above.
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t i = size_t(y) * size_t(width) + size_t(x);
      if (!holes[i] || weight[i] > 0.0f) continue;
      for (size_t k = 0; k < n; ++k)
        planes[k][i] = levels.empty() ? 0.0f : between(above, levels[0].width, levels[0].height, k, x, y);
    }
}
