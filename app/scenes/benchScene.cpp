#include "scenes/benchScene.h"

#include <cmath>

using namespace DD::Image;
using namespace standin;

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
