// Small deep test scenes: per-pixel sample lists that tests can read back as the truth, and the
// in-memory deep op (plus a matching flat image) that the engines consume.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"

namespace deeptest {

// One deep sample: premultiplied colour, alpha, and its depth range (front == back for a point).
struct Sample {
  float red, green, blue, alpha;
  float front, back;
};

inline Sample point(float depth, float red, float green, float blue, float alpha) {
  return {red, green, blue, alpha, depth, depth};
}

inline Sample thick(float front, float back, float red, float green, float blue, float alpha) {
  return {red, green, blue, alpha, front, back};
}

// A deep image over columns 0 .. width-1 and rows 0 .. height-1, format and box alike.
class Scene {
 public:
  Scene(int width, int height) : width_(width), height_(height), pixels_(size_t(width) * size_t(height)) {}

  int width() const { return width_; }
  int height() const { return height_; }

  void add(int x, int y, const Sample& s) { pixels_[index(x, y)].push_back(s); }
  void clear(int x, int y) { pixels_[index(x, y)].clear(); }
  // Samples of pixel (x, y) in the order they were added.
  const std::vector<Sample>& samples(int x, int y) const { return pixels_[index(x, y)]; }

  // The same sample in every pixel: a flat layer at one depth.
  void addLayer(const Sample& s) {
    for (std::vector<Sample>& p : pixels_) p.push_back(s);
  }

  // Layout of every sample of the op: RGBA, optionally Z, deep front and back.
  static DD::Image::ChannelSet channels(bool withZ) {
    DD::Image::ChannelSet c = DD::Image::Mask_RGBA;
    c += DD::Image::Mask_Deep;
    if (withZ) c += DD::Image::Chan_Z;
    return c;
  }

  // The deep op; `withoutChannel` drops one colour channel from its layout (Chan_Black keeps all).
  std::unique_ptr<standin::MemoryDeepOp> makeDeepOp(
      bool withZ = false, DD::Image::Channel withoutChannel = DD::Image::Chan_Black) const {
    DD::Image::ChannelSet layout = channels(withZ);
    layout -= withoutChannel;
    const DD::Image::Format format(width_, height_);
    auto op = std::make_unique<standin::MemoryDeepOp>(format, format, layout);
    const DD::Image::ChannelMap& map = op->channelMap();
    std::vector<float> data;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        const std::vector<Sample>& list = samples(x, y);
        data.assign(list.size() * map.size(), 0.0f);
        for (size_t i = 0; i < list.size(); ++i) write(list[i], map, data.data() + i * map.size());
        op->setPixel(x, y, data.data(), list.size());
      }
    return op;
  }

 private:
  size_t index(int x, int y) const { return size_t(y) * size_t(width_) + size_t(x); }

  static void write(const Sample& s, const DD::Image::ChannelMap& map, float* out) {
    using namespace DD::Image;
    using namespace standin;
    const std::pair<Channel, float> values[] = {
        {Chan_Red, s.red}, {Chan_Green, s.green},     {Chan_Blue, s.blue},    {Chan_Alpha, s.alpha},
        {Chan_Z, s.front}, {Chan_DeepFront, s.front}, {Chan_DeepBack, s.back}};
    for (const auto& v : values)
      if (map.chanNo(v.first) >= 0) out[map.chanNo(v.first)] = v.second;
  }

  int width_, height_;
  std::vector<std::vector<Sample>> pixels_;
};

// A flat RGBA + Z image of the scene's size, every pixel the same.
inline std::unique_ptr<standin::MemoryIop> makeFlat(int width, int height, float red, float green,
                                                      float blue, float alpha, float depth) {
  using namespace DD::Image;
  using namespace standin;
  const Format format(width, height);
  ChannelSet c = Mask_RGBA;
  c += Chan_Z;
  auto op = std::make_unique<MemoryIop>(format, format, c);
  op->fill(Chan_Red, red);
  op->fill(Chan_Green, green);
  op->fill(Chan_Blue, blue);
  op->fill(Chan_Alpha, alpha);
  op->fill(Chan_Z, depth);
  return op;
}

// A mixed scene over the given depths: an opaque far layer with a semi-transparent point in
// front, thick samples that do not overlap, a pixel left empty, thick samples that overlap,
// and a pixel behind a fully opaque near sample. `depths` must hold four ascending depths.
inline Scene mixedScene(int width, int height, const float depths[4], bool overlapping) {
  Scene scene(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const float k = 0.05f * float((x + 2 * y) % 7);
      switch ((x + 3 * y) % 6) {
        case 0:
          scene.add(x, y, point(depths[3], 0.2f + k, 0.5f, 0.3f, 1.0f));
          scene.add(x, y, point(depths[1], 0.3f * 0.5f, 0.1f, k * 0.5f, 0.5f));
          break;
        case 1:
          scene.add(x, y, thick(depths[0], depths[1], 0.1f, 0.2f + k * 0.25f, 0.25f, 0.25f));
          scene.add(x, y, thick(depths[2], depths[3], 0.6f * 0.8f, k, 0.2f, 0.8f));
          break;
        case 2:
          break;  // empty pixel
        case 3:
          if (overlapping) {
            scene.add(x, y, thick(depths[1], depths[3], 0.3f, 0.3f, k, 0.6f));
            scene.add(x, y, thick(depths[0], depths[2], 0.1f, 0.05f, 0.2f, 0.4f));
          } else {
            scene.add(x, y, point(depths[2], 0.3f, 0.3f, k, 0.6f));
          }
          break;
        case 4:
          scene.add(x, y, point(depths[0], 0.7f, 0.1f + k, 0.4f, 1.0f));
          scene.add(x, y, point(depths[3], 0.9f, 0.9f, 0.9f, 1.0f));
          break;
        default:
          scene.add(x, y, point(depths[2], 0.25f + k, 0.75f, 0.5f, 1.0f));
          break;
      }
    }
  return scene;
}

}  // namespace deeptest
