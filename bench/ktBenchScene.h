// A synthetic frame for benchmarks: RGBA and depth with a spread of depths (a foreground, objects
// at the focal plane, a far background) and small bright highlights.
#pragma once

#include <cmath>
#include <memory>

#include "standin/MemoryIop.h"

// Depth of the focal plane of the scene.
constexpr float kBenchFocalDepth = 100.0f;

inline std::unique_ptr<standin::MemoryIop> makeBenchScene(int width, int height) {
  using namespace DD::Image;
  using standin::MemoryIop;
  auto img = std::make_unique<MemoryIop>(Format(width, height), Box(0, 0, width, height),
                                         ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const float u = float(x) / float(width), v = float(y) / float(height);
      // Background far away, a ramp of ground rising towards it, a focal-plane band, a foreground disc.
      float depth = 2000.0f;
      if (v < 0.45f) depth = 40.0f + 400.0f * v;
      if (std::fabs(u - 0.5f) < 0.12f && v > 0.3f && v < 0.8f) depth = kBenchFocalDepth;
      const float du = u - 0.2f, dv = v - 0.35f;
      if (du * du + dv * dv < 0.01f) depth = 25.0f;
      const float texture = 0.5f + 0.5f * std::sin(0.07f * float(x)) * std::cos(0.05f * float(y));
      const bool highlight = (x % 97 == 13) && (y % 61 == 7);
      img->set(x, y, Chan_Red, highlight ? 40.0f : 0.2f + 0.6f * texture * u);
      img->set(x, y, Chan_Green, highlight ? 35.0f : 0.3f + 0.4f * texture);
      img->set(x, y, Chan_Blue, highlight ? 30.0f : 0.25f + 0.5f * (1.0f - u) * texture);
      img->set(x, y, Chan_Alpha, 1.0f);
      img->set(x, y, Chan_Z, depth);
    }
  return img;
}
