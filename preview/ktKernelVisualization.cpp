#include "ktKernelVisualization.h"

#include <algorithm>

using namespace DD::Image;

namespace orvel {

void kernelVisualization(const ktChannelFloatBuffer& hero, const ChannelSet& activeChannels, RowRegion region,
                         const ChannelSet& channels, Row& row) {
  const int y = region.y, x = region.x, r = region.r;
  for (Channel z : channels) {
    float* out = row.writable(z);
    std::fill(out + x, out + r, 0.0f);
    const bool hasPlane = activeChannels.contains(z) && size_t(z) < hero.planes.size() &&
                          hero.planes[z].size() >= hero.count && hero.count > 0;
    if (!hasPlane || y < 0 || y >= hero.height) continue;
    const float* plane = hero.planes[z].data() + size_t(hero.height - 1 - y) * hero.width;
    const int from = std::max(x, 0);
    const int to = std::min(r, hero.width);
    if (from < to) std::copy(plane + from, plane + to, out + from);
  }
}

}  // namespace orvel
