#include "scenes/flatScenes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

using namespace DD::Image;
using namespace standin;

namespace {

struct Colour {
  float r, g, b;
};

Colour operator*(Colour c, float k) { return {c.r * k, c.g * k, c.b * k}; }
Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

// What a pixel sees: the nearest surface's colour and depth.
struct Hit {
  float depth = 1e30f;
  Colour colour{0, 0, 0};
};

void keepNearest(Hit& best, const Hit& candidate) {
  if (candidate.depth < best.depth) best = candidate;
}

// A repeatable pseudo-random number in [0, 1) for an integer key.
float hash01(uint32_t key) {
  key ^= key >> 16;
  key *= 0x7feb352dU;
  key ^= key >> 15;
  key *= 0x846ca68bU;
  key ^= key >> 16;
  return float(key & 0xffffff) / float(0x1000000);
}

// Scene layout in pixels of a 960 x 540 frame, scaled to the actual size.
struct Layout {
  float scale;
  float horizon;  // host row where the floor would reach infinity
  float centreX;
  int width, height;
};

constexpr float kWallDepth = 300.0f;
constexpr float kFloorNearDepth = 15.0f;
constexpr float kPillarDepth = 130.0f;

// The floor's depth on row y (rows count upward), or 0 above the horizon.
float floorDepth(const Layout& l, float y) {
  return y < l.horizon ? kFloorNearDepth * l.horizon / (l.horizon - y) : 0.0f;
}

Hit wall(const Layout& l, float x, float y) {
  const float bw = 32 * l.scale, bh = 14 * l.scale;
  const int row = int(std::floor(y / bh));
  const float shifted = x + (row % 2 ? bw / 2 : 0.0f);
  const int column = int(std::floor(shifted / bw));
  const float u = shifted - column * bw, v = y - row * bh;
  const bool mortar = u < 2 * l.scale || v < 2 * l.scale;
  const float tint = 0.75f + 0.5f * hash01(uint32_t(row * 7919 + column * 104729));
  const float height = std::clamp((y - l.horizon) / (l.height - l.horizon), 0.0f, 1.0f);
  const Colour brick = Colour{0.16f, 0.085f, 0.06f} * tint * (1.0f - 0.4f * height);
  return Hit{kWallDepth, mortar ? Colour{0.05f, 0.05f, 0.055f} : brick};
}

Hit floorAt(const Layout& l, float x, float y) {
  const float d = floorDepth(l, y);
  if (d <= 0.0f || d >= kWallDepth) return Hit{};
  const float worldX = (x - l.centreX) * d / (600.0f * l.scale);
  const bool dark = (int(std::floor(worldX / 8.0f)) + int(std::floor(d / 8.0f))) & 1;
  const float fog = std::clamp(d / kWallDepth, 0.0f, 1.0f);
  const Colour tile = dark ? Colour{0.05f, 0.05f, 0.06f} : Colour{0.32f, 0.3f, 0.26f};
  return Hit{d, tile * (1.0f - 0.6f * fog) + Colour{0.05f, 0.04f, 0.04f} * fog};
}

struct Sphere {
  float cx, cy, radius, depth;
  Colour base;
  bool striped;
};

Hit sphereAt(const Sphere& s, float x, float y) {
  const float nx = (x - s.cx) / s.radius, ny = (y - s.cy) / s.radius;
  const float r2 = nx * nx + ny * ny;
  if (r2 >= 1.0f) return Hit{};
  const float nz = std::sqrt(1.0f - r2);
  const float lambert = std::max(0.0f, -0.45f * nx + 0.55f * ny + 0.7f * nz);
  const float specular = std::pow(std::max(0.0f, -0.3f * nx + 0.4f * ny + 0.866f * nz), 80.0f);
  Colour base = s.base;
  if (s.striped && std::sin(10.0f * std::asin(ny) + 3.0f * nx) > 0.0f) base = base * 0.35f;
  const Colour lit = base * (0.12f + 0.88f * lambert) + Colour{1.0f, 0.95f, 0.9f} * (4.0f * specular);
  return Hit{s.depth - 2.0f * nz, lit};
}

Hit pillarAt(const Layout& l, float x, float y) {
  const float left = 690 * l.scale, right = 790 * l.scale, top = 470 * l.scale;
  const float bottom = l.horizon * (1.0f - kFloorNearDepth / kPillarDepth);
  if (x < left || x >= right || y < bottom || y >= top) return Hit{};
  const float u = (x - left) / (right - left);
  const float groove = std::fmod(u * 5.0f, 1.0f) < 0.12f ? 0.5f : 1.0f;
  const Colour stone = Colour{0.07f, 0.16f, 0.12f} * (groove * (0.6f + 0.4f * std::sin(u * 3.14159f)));
  // Lamps down the pillar's middle: small and far brighter than 1.
  const float lampY = std::fmod(y - bottom, 60.0f * l.scale) - 30.0f * l.scale;
  const float lampX = x - (left + right) / 2;
  const float lamp = std::exp(-(lampX * lampX + lampY * lampY) / (2.5f * l.scale * l.scale));
  return Hit{kPillarDepth, stone + Colour{9.0f, 6.0f, 2.5f} * lamp};
}

// Small bright lights on the wall: they turn into the aperture's shape when defocused.
Colour wallLights(const Layout& l, float x, float y) {
  Colour sum{0, 0, 0};
  const int count = 70;
  const float wallBottom = l.horizon * (1.0f - kFloorNearDepth / kWallDepth);
  for (int i = 0; i < count; ++i) {
    const float lx = hash01(uint32_t(3 * i + 1)) * l.width;
    const float ly = wallBottom + hash01(uint32_t(3 * i + 2)) * (l.height - wallBottom);
    const float dx = x - lx, dy = y - ly;
    if (std::fabs(dx) > 4 || std::fabs(dy) > 4) continue;
    const float strength = 5.0f + 20.0f * hash01(uint32_t(3 * i + 3));
    const Colour tint = i % 3 ? Colour{1.0f, 0.75f, 0.45f} : Colour{0.55f, 0.75f, 1.0f};
    sum = sum + tint * (strength * std::exp(-(dx * dx + dy * dy) / (1.5f * l.scale * l.scale)));
  }
  return sum;
}

Hit shade(const Layout& l, float x, float y) {
  const float s = l.scale;
  Hit best = wall(l, x, y);
  best.colour = best.colour + wallLights(l, x, y);
  keepNearest(best, floorAt(l, x, y));
  keepNearest(best, pillarAt(l, x, y));
  keepNearest(best,
              sphereAt(Sphere{480 * s, 250 * s, 110 * s, kDemoFocalDepth, {0.7f, 0.62f, 0.45f}, true}, x, y));
  keepNearest(best, sphereAt(Sphere{150 * s, 110 * s, 95 * s, 18.0f, {0.6f, 0.06f, 0.04f}, false}, x, y));
  return best;
}

}  // namespace

std::unique_ptr<MemoryIop> makeDemoScene(int width, int height) {
  const Format format(width, height);
  auto image = std::make_unique<MemoryIop>(
      format, format, (ChannelSet(Chan_Red) + Chan_Green + Chan_Blue + Chan_Alpha + Chan_Z));
  const Layout layout{std::min(width / 960.0f, height / 540.0f), 0.42f * height, width / 2.0f, width, height};
  float* planes[5] = {image->plane(Chan_Red), image->plane(Chan_Green), image->plane(Chan_Blue),
                      image->plane(Chan_Alpha), image->plane(Chan_Z)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Hit h = shade(layout, x + 0.5f, y + 0.5f);
      const size_t i = size_t(y) * size_t(width) + size_t(x);
      planes[0][i] = h.colour.r;
      planes[1][i] = h.colour.g;
      planes[2][i] = h.colour.b;
      planes[3][i] = 1.0f;
      planes[4][i] = h.depth;
    }
  return image;
}

namespace {

float sceneDepth(float u, float v) {
  const float du = u - 0.2f, dv = v - 0.35f;
  if (du * du + dv * dv < 0.01f) return 25.0f;
  if (std::fabs(u - 0.5f) < 0.12f && v > 0.3f && v < 0.8f) return kBenchFocalDepth;
  if (v < 0.45f) return 40.0f + 400.0f * v;
  return 2000.0f;
}

}  // namespace

std::unique_ptr<MemoryIop> makeBenchScene(int width, int height) {
  auto image = std::make_unique<MemoryIop>(Format(width, height), Box(0, 0, width, height),
                                           ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const float u = float(x) / float(width), v = float(y) / float(height);
      const float texture = 0.5f + 0.5f * std::sin(0.07f * float(x)) * std::cos(0.05f * float(y));
      const bool highlight = x % 97 == 13 && y % 61 == 7;
      image->set(x, y, Chan_Red, highlight ? 40.0f : 0.2f + 0.6f * texture * u);
      image->set(x, y, Chan_Green, highlight ? 35.0f : 0.3f + 0.4f * texture);
      image->set(x, y, Chan_Blue, highlight ? 30.0f : 0.25f + 0.5f * (1.0f - u) * texture);
      image->set(x, y, Chan_Alpha, 1.0f);
      image->set(x, y, Chan_Z, sceneDepth(u, v));
    }
  return image;
}
