#include "ktApertureSamples.h"

#include <algorithm>
#include <cstdint>

namespace {

// The first two dimensions of the Sobol sequence, point j, as 32-bit fractions: the bits of j
// reversed, and the same through the second dimension's direction numbers.
void sobol(uint32_t j, uint32_t& a, uint32_t& b) {
  a = b = 0;
  uint32_t direction = 1u << 31;
  for (int bit = 0; j; ++bit, j >>= 1, direction ^= direction >> 1)
    if (j & 1u) a ^= 1u << (31 - bit), b ^= direction;
}

uint32_t mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h;
}

// Where t falls in a cumulative table of cells + 1 entries: the cell plus t's place within it.
double invert(const double* cumulative, int cells, double t) {
  const double* it = std::upper_bound(cumulative + 1, cumulative + cells, t);
  const int cell = int(it - cumulative) - 1;
  const double width = cumulative[cell + 1] - cumulative[cell];
  const double within = width > 0.0 ? (t - cumulative[cell]) / width : 0.5;
  return double(cell) + std::min(1.0, std::max(0.0, within));
}

}  // namespace

// Each 8 x 8 block of pixels uses every pattern once, in the order of a Bayer matrix, so that
// what a region gathers averages over all of them.
int ktApertureSamples::patternOf(int x, int y) {
  const uint32_t u = uint32_t(x) & 7u, v = uint32_t(y) & 7u, w = u ^ v;
  return int(((w & 1u) << 5) | ((u & 1u) << 4) | ((w & 2u) << 2) | ((u & 2u) << 1) | ((w & 4u) >> 1) |
             ((u & 4u) >> 2));
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
  // The area the light covers: (sum w)^2 / sum w^2 pixels, each (2 / n)^2 units.
  double sum = 0.0, squares = 0.0;
  for (double w : light) sum += w, squares += w * w;
  out.area = float(sum * sum / squares * 4.0 / (double(n) * double(n)));
  out.stride = (count + ktApertureSamples::kLaneBlock - 1) / ktApertureSamples::kLaneBlock *
               ktApertureSamples::kLaneBlock;
  out.ux.assign(size_t(out.stride) * ktApertureSamples::kPatterns, 0.0f);
  out.uy.assign(out.ux.size(), 0.0f);
  const double half = 0.5 * double(n);
  // Pattern p takes points p * count .. (p + 1) * count - 1 of one Sobol sequence: each pattern
  // is spread evenly on its own, and all of them together are too.
  const uint32_t scrambleA = mix(0x51u), scrambleB = mix(0x7au);
  for (int p = 0; p < ktApertureSamples::kPatterns; ++p)
    for (int i = 0; i < count; ++i) {
      uint32_t bitsA, bitsB;
      sobol(uint32_t(p) * uint32_t(count) + uint32_t(i), bitsA, bitsB);
      const double a = double(bitsA ^ scrambleA) / 4294967296.0, b = double(bitsB ^ scrambleB) / 4294967296.0;
      const double y = invert(rows.data(), n, a * rows[size_t(n)]);
      const double* rowTable = &columns[size_t(std::min(n - 1, int(y))) * size_t(n + 1)];
      const double x = invert(rowTable, n, b * rowTable[n]);
      const size_t at = size_t(p) * size_t(out.stride) + size_t(i);
      out.ux[at] = float((x - half) / half);
      out.uy[at] = float((half - y) / half);
    }
  return out;
}
