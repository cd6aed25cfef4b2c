// The pixels of a box, 0 for a box without any (the host's Box has no empty()).
#pragma once

#include <cstddef>

#include "DDImage/Box.h"

namespace standin {

inline size_t pixelCount(const DD::Image::Box& b) {
  return b.w() <= 0 || b.h() <= 0 ? 0 : size_t(b.w()) * size_t(b.h());
}

}  // namespace standin
