#include "ktCombineSamples.h"

using DD::Image::Chan_DeepBack;
using DD::Image::Chan_DeepFront;
using DD::Image::Chan_Z;
using DD::Image::Channel;
using DD::Image::ChannelSet;
using DD::Image::DeepOutPixel;
using DD::Image::DeepPixel;

namespace {

// Thinner than this, a sample is a point and is never cut.
constexpr float kPointThickness = 1e-6f;

float frontOf(const DeepPixel& pixel, size_t i) { return pixel.getOrderedSample(i, Chan_DeepFront); }
float backOf(const DeepPixel& pixel, size_t i) { return pixel.getOrderedSample(i, Chan_DeepBack); }

// True when sample i reaches into the next farther sample and must be cut at its front.
// Every comparison is written so that a NaN depth answers "no": the sample stays whole.
bool reachesIntoFarther(const DeepPixel& pixel, size_t i) {
  const float front = frontOf(pixel, i);
  const float back = backOf(pixel, i);
  const float thickness = back - front;
  if (!(thickness >= kPointThickness)) return false;
  if (i == 0) return false;
  return back > frontOf(pixel, i - 1);
}

// Appends one piece of sample `index`: front and back depths, other channels times weight.
void addWeightedSample(const ChannelSet& channels, const DeepPixel& pixel, DeepOutPixel& out, size_t index,
                       float front, float back, float weight) {
  for (Channel z : channels) {
    if (z == Chan_Z || z == Chan_DeepFront)
      out.push_back(front);
    else if (z == Chan_DeepBack)
      out.push_back(back);
    else
      out.push_back(pixel.getOrderedSample(index, z) * weight);
  }
}

// A chain of overlapping samples is a run of consecutive indices top, top-1, ..., each cutting
// its front part off before the next farther one. Walking down the chain emits those front
// parts and finally the farthest sample whole; walking back up emits each sample's part behind
// the one it reached into. The pending samples of that second walk are exactly the indices
// between the chain's ends, so the stack a recursion would keep is held as those two bounds and
// the chain length costs no memory.
float addSample(const ChannelSet& channels, const DeepPixel& pixel, DeepOutPixel& out, size_t& index) {
  const size_t top = index;
  while (reachesIntoFarther(pixel, index)) {
    const float front = frontOf(pixel, index);
    const float back = backOf(pixel, index);
    const float farFront = frontOf(pixel, index - 1);
    addWeightedSample(channels, pixel, out, index, front, farFront, (farFront - front) / (back - front));
    --index;
  }
  float farBack = backOf(pixel, index);
  addWeightedSample(channels, pixel, out, index, frontOf(pixel, index), farBack, 1.0f);

  for (size_t i = index + 1; i <= top; ++i) {
    const float front = frontOf(pixel, i);
    const float back = backOf(pixel, i);
    if (back > farBack)
      addWeightedSample(channels, pixel, out, i, farBack, back, (back - farBack) / (back - front));
    farBack = back;
  }
  return farBack;
}

}  // namespace

void combineSamples(const ChannelSet& channels, const DeepPixel& pixel, DeepOutPixel& out) {
  const size_t count = pixel.getSampleCount();
  if (count == 0) return;
  size_t index = count - 1;
  for (;;) {
    addSample(channels, pixel, out, index);
    if (index == 0) return;
    --index;
  }
}
