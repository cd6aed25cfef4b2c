// An image format: the display window, as a box.
#pragma once

#include "DDImage/Box.h"

namespace DD {
namespace Image {

class Format : public Box {
 public:
  Format() = default;
  Format(int w, int h) : Box(0, 0, w, h) {}
  explicit Format(const Box& b) : Box(b) {}
  int width() const { return w(); }
  int height() const { return h(); }
};

}  // namespace Image
}  // namespace DD
