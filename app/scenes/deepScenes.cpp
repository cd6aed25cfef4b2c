#include "scenes/deepScenes.h"

#include <cmath>
#include <vector>

using namespace DD::Image;
using namespace standin;

namespace {

struct Sample {
  float r, g, b, a, front, back;
};

// Appends `s` in the operator's layout, its colour premultiplied by its alpha.
void append(std::vector<float>& out, const ChannelMap& map, const Sample& s) {
  const size_t at = out.size();
  out.resize(at + size_t(map.size()), 0.0f);
  float* p = out.data() + at;
  p[map.chanNo(Chan_Red)] = s.r * s.a;
  p[map.chanNo(Chan_Green)] = s.g * s.a;
  p[map.chanNo(Chan_Blue)] = s.b * s.a;
  p[map.chanNo(Chan_Alpha)] = s.a;
  p[map.chanNo(Chan_DeepFront)] = s.front;
  p[map.chanNo(Chan_DeepBack)] = s.back;
}

// The samples of the pixel at (u, v), both from 0 to 1, v upwards.
void pixelSamples(float u, float v, int x, int y, const ChannelMap& map, std::vector<float>& out) {
  out.clear();
  if (u > 0.8f && v > 0.75f) return;  // a hole of empty pixels
  const bool light = x % 53 == 17 && y % 41 == 9;
  const float brick = (int(u * 40.0f) + int(v * 24.0f)) % 2 ? 0.55f : 0.4f;
  append(out, map, light ? Sample{30, 24, 12, 1, 2000, 2000} : Sample{brick, 0.3f, 0.25f, 1, 2000, 2000});
  append(out, map, Sample{0.5f, 0.6f, 0.75f, 0.12f, 300.0f + 100.0f * u, 500.0f});
  append(out, map, Sample{0.6f, 0.55f, 0.5f, 0.1f, 400.0f, 900.0f});
  if (v < 0.5f) append(out, map, Sample{0.7f, 0.7f, 0.8f, 0.08f, 20.0f, 45.0f});
  const float su = (u - 0.5f) * 1.6f, sv = v - 0.5f;
  if (su * su + sv * sv < 0.06f) {
    const float stripe = std::sin(60.0f * u) > 0 ? 0.9f : 0.2f;
    append(out, map, Sample{stripe, stripe, 0.3f, 1, kDeepSceneFocalDepth, kDeepSceneFocalDepth});
  }
  if (u > 0.1f && u < 0.45f && v > 0.15f && v < 0.7f)
    append(out, map, Sample{0.2f, 0.7f, 0.4f, 0.4f, 55.0f, 65.0f});
  if (std::fabs(u - 0.3f) < 0.05f) append(out, map, Sample{0.8f, 0.2f, 0.1f, 1.0f, 40.0f, 70.0f});
}

// A width x height deep frame whose pixels `samplesOf(u, v, x, y, map, out)` fills, (u, v) the
// pixel's centre from 0 to 1.
template <class SamplesOf>
std::unique_ptr<MemoryDeepOp> makeScene(int width, int height, SamplesOf samplesOf) {
  const ChannelSet channels = ChannelSet(Mask_RGBA) + ChannelSet(Chan_DeepFront) + ChannelSet(Chan_DeepBack);
  auto scene = std::make_unique<MemoryDeepOp>(Format(width, height), Box(0, 0, width, height), channels);
  const ChannelMap& map = scene->channelMap();
  std::vector<float> samples;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      samplesOf((float(x) + 0.5f) / float(width), (float(y) + 0.5f) / float(height), x, y, map, samples);
      scene->setPixel(x, y, samples.data(), samples.size() / size_t(map.size()));
    }
  return scene;
}

}  // namespace

std::unique_ptr<MemoryDeepOp> makeDeepScene(int width, int height) {
  return makeScene(width, height, pixelSamples);
}

namespace {

constexpr int kLightColumns = 8, kLightRows = 4;

// An opaque sample of colour (r, g, b) at `depth`.
void appendOpaque(std::vector<float>& out, const ChannelMap& map, float r, float g, float b, float depth) {
  append(out, map, Sample{r, g, b, 1.0f, depth, depth});
}

// Whether (x, y) lies in a light: a square of about 0.4 % of the width at each grid point.
bool inLight(int x, int y, int width, int height) {
  const int side = std::max(1, width / 240);
  for (int i = 0; i < kLightColumns; ++i)
    for (int j = 0; j < kLightRows; ++j) {
      const int cx = (2 * i + 1) * width / (2 * kLightColumns),
                cy = (2 * j + 3) * height / (2 * kLightRows + 4);
      if (x >= cx - side / 2 && x < cx - side / 2 + side && y >= cy - side / 2 && y < cy - side / 2 + side)
        return true;
    }
  return false;
}

// A post stands before every other column of lights, about 0.6 % of the width wide.
bool inPost(int x, int width) {
  const int half = std::max(1, width / 320);
  for (int i = 1; i < kLightColumns; i += 2) {
    const int cx = (2 * i + 1) * width / (2 * kLightColumns);
    if (x >= cx - half && x < cx + half) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<MemoryDeepOp> makeOccluderScene(int width, int height) {
  return makeScene(width, height,
                   [&](float u, float v, int x, int y, const ChannelMap& map, std::vector<float>& samples) {
                     samples.clear();
                     if (inPost(x, width)) appendOpaque(samples, map, 0.22f, 0.2f, 0.18f, 40.0f);
                     const float su = (u - 0.5f) * float(width) / float(height), sv = v - 0.2f;
                     if (su * su + sv * sv < 0.02f) {
                       const float stripe = std::sin(80.0f * u) > 0.0f ? 0.8f : 0.25f;
                       appendOpaque(samples, map, stripe, stripe, 0.3f, 100.0f);
                     }
                     if (inLight(x, y, width, height))
                       appendOpaque(samples, map, 100.0f, 75.0f, 45.0f, 1000.0f);
                     else
                       appendOpaque(samples, map, 0.05f, 0.06f, 0.09f + 0.03f * std::sin(20.0f * v), 1000.0f);
                   });
}
