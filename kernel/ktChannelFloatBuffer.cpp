#include "ktChannelFloatBuffer.h"

void ktChannelFloatBuffer::init(const DD::Image::ChannelSet& channels, int w, int h) {
  planes.resize(kChannelTableSize);
  width = w;
  height = h;
  halfWidth = w / 2;
  sharedPlane = DD::Image::Chan_Black;
  const int n = w * h;
  count = n > 0 ? static_cast<size_t>(n) : 0;
  for (DD::Image::Channel z : channels) planes[z].resize(count, 0.0f);
}

void ktChannelFloatBuffer::clear() {
  planes.clear();
  planes.shrink_to_fit();
  sharedPlane = DD::Image::Chan_Black;
  width = 0;
  height = 0;
}
