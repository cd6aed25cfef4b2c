#include "ktApertureSamples.h"

#include <algorithm>
#include <cstdint>

namespace {

// Van der Corput radical inverse in base 2.
double radicalInverse(uint32_t i) {
  uint32_t bits = i;
  bits = (bits << 16) | (bits >> 16);
  bits = ((bits & 0x55555555u) << 1) | ((bits & 0xAAAAAAAAu) >> 1);
  bits = ((bits & 0x33333333u) << 2) | ((bits & 0xCCCCCCCCu) >> 2);
  bits = ((bits & 0x0F0F0F0Fu) << 4) | ((bits & 0xF0F0F0F0u) >> 4);
  bits = ((bits & 0x00FF00FFu) << 8) | ((bits & 0xFF00FF00u) >> 8);
  return double(bits) * (1.0 / 4294967296.0);
}

uint32_t mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

double fraction(double v) { return v - double(int64_t(v)); }

// Where t falls in a cumulative table of cells + 1 entries: the cell plus t's place within it.
double invert(const double* cumulative, int cells, double t) {
  const double* it = std::upper_bound(cumulative + 1, cumulative + cells, t);
  const int cell = int(it - cumulative) - 1;
  const double width = cumulative[cell + 1] - cumulative[cell];
  const double within = width > 0.0 ? (t - cumulative[cell]) / width : 0.5;
  return double(cell) + std::min(1.0, std::max(0.0, within));
}

}  // namespace

int ktApertureSamples::patternOf(int x, int y) {
  return int(mix(uint32_t(x) * 0x9e3779b1u ^ mix(uint32_t(y))) % uint32_t(kPatterns));
}

ktApertureSamples makeApertureSamples(const ktChannelFloatBuffer& hero, const std::vector<int>& planes,
                                      int count) {
  ktApertureSamples out;
  const int n = hero.width;
  if (n <= 0 || hero.height != n || planes.empty() || count <= 0) return out;

  // Brightness by pixel, its row sums and the cumulative tables for rows and for columns of each row.
  std::vector<double> light(size_t(n) * size_t(n), 0.0);
  for (int z : planes) {
    if (size_t(z) >= hero.planes.size()) continue;
    const std::vector<float>& plane = hero.plane(DD::Image::Channel(z));
    if (plane.size() < light.size()) continue;
    for (size_t i = 0; i < light.size(); ++i) light[i] += std::max(0.0f, plane[i]);
  }
  std::vector<double> rows(size_t(n) + 1, 0.0), columns((size_t(n) + 1) * size_t(n), 0.0);
  for (int y = 0; y < n; ++y) {
    double* c = &columns[size_t(y) * size_t(n + 1)];
    for (int x = 0; x < n; ++x) c[x + 1] = c[x] + light[size_t(y) * size_t(n) + size_t(x)];
    rows[size_t(y) + 1] = rows[size_t(y)] + c[n];
  }
  if (!(rows[size_t(n)] > 0.0)) return out;

  out.count = count;
  out.stride = (count + ktApertureSamples::kLaneBlock - 1) / ktApertureSamples::kLaneBlock *
               ktApertureSamples::kLaneBlock;
  out.ux.assign(size_t(out.stride) * ktApertureSamples::kPatterns, 0.0f);
  out.uy.assign(out.ux.size(), 0.0f);
  const double half = 0.5 * double(n);
  for (int p = 0; p < ktApertureSamples::kPatterns; ++p) {
    // Each pattern is the Hammersley set shifted on the torus (a Cranley-Patterson rotation).
    const double shiftA = double(mix(uint32_t(2 * p + 1))) / 4294967296.0;
    const double shiftB = double(mix(uint32_t(2 * p + 2))) / 4294967296.0;
    for (int i = 0; i < count; ++i) {
      const double a = fraction((double(i) + 0.5) / double(count) + shiftA);
      const double b = fraction(radicalInverse(uint32_t(i)) + shiftB);
      const double y = invert(rows.data(), n, a * rows[size_t(n)]);
      const double* rowTable = &columns[size_t(std::min(n - 1, int(y))) * size_t(n + 1)];
      const double x = invert(rowTable, n, b * rowTable[n]);
      const size_t at = size_t(p) * size_t(out.stride) + size_t(i);
      out.ux[at] = float((x - half) / half);
      out.uy[at] = float((half - y) / half);
    }
  }
  return out;
}
