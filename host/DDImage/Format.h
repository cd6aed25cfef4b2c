// An image format: its width and height, and the aperture box inside them.
#pragma once

#include "DDImage/Box.h"

namespace DD {
namespace Image {

class DDImage_API Format : public Box {
 public:
  int width() const { return width_; }
  void width(int v) { width_ = v; }
  int height() const { return height_; }
  void height(int v) { height_ = v; }
  double pixel_aspect() const { return pa_; }
  void pixel_aspect(double v) { pa_ = v; }

  Format() {}
  Format(int w, int h, int x, int y, int r, int t, double pa = 1)
      : Box(x, y, r, t), width_(w), height_(h), pa_(pa) {}
  Format(int w, int h, double pa = 1) : Box(0, 0, w, h), width_(w), height_(h), pa_(pa) {}

 private:
  int width_ = 0;
  int height_ = 0;
  double pa_ = 1;
};

}  // namespace Image
}  // namespace DD
