#include "ktCombineSamples.h"

using DD::Image::Chan_DeepBack;
using DD::Image::Chan_DeepFront;
using DD::Image::Chan_Last;
using DD::Image::Chan_Z;
using DD::Image::Channel;
using DD::Image::ChannelMap;
using DD::Image::ChannelSet;
using DD::Image::DeepOutPixel;
using DD::Image::DeepPixel;

namespace {

// Thinner than this, a sample is a point and is never cut.
constexpr float kPointThickness = 1e-6f;

// The samples of a pixel by ordered index, read through the layout of their plane.
class Samples {
 public:
  Samples(const ktSampleLayout& layout, const DeepPixel& pixel) : layout_(layout), pixel_(pixel) {}
  // Sample i's columns: the first one sits at column 0.
  const float* row(size_t i) const { return &pixel_.getOrderedSample(i, layout_.first); }
  float front(size_t i) const { return layout_.front < 0 ? 0.0f : row(i)[layout_.front]; }
  float back(size_t i) const { return layout_.back < 0 ? 0.0f : row(i)[layout_.back]; }

  // Appends one piece of sample `index`: front and back depths, other channels times weight.
  void addPiece(DeepOutPixel& out, size_t index, float front, float back, float weight) const {
    const float* sample = row(index);
    for (size_t j = 0; j < layout_.count; ++j) {
      const int16_t c = layout_.source[j];
      out.push_back(c == ktSampleLayout::kFront  ? front
                    : c == ktSampleLayout::kBack ? back
                                                 : (c == ktSampleLayout::kAbsent ? 0.0f : sample[c]) * weight);
    }
  }

  // True when sample i reaches into the next farther sample and must be cut at its front.
  // Every comparison is written so that a NaN depth answers "no": the sample stays whole.
  bool reachesIntoFarther(size_t i) const {
    const float thickness = back(i) - front(i);
    if (!(thickness >= kPointThickness)) return false;
    if (i == 0) return false;
    return back(i) > front(i - 1);
  }

 private:
  const ktSampleLayout& layout_;
  const DeepPixel& pixel_;
};

// A chain of overlapping samples is a run of consecutive indices top, top-1, ..., each cutting
// its front part off before the next farther one. Walking down the chain emits those front
// parts and finally the farthest sample whole; walking back up emits each sample's part behind
// the one it reached into. The pending samples of that second walk are exactly the indices
// between the chain's ends, so the stack a recursion would keep is held as those two bounds and
// the chain length costs no memory.
float addSample(const Samples& samples, DeepOutPixel& out, size_t& index) {
  const size_t top = index;
  while (samples.reachesIntoFarther(index)) {
    const float front = samples.front(index);
    const float back = samples.back(index);
    const float farFront = samples.front(index - 1);
    samples.addPiece(out, index, front, farFront, (farFront - front) / (back - front));
    --index;
  }
  float farBack = samples.back(index);
  samples.addPiece(out, index, samples.front(index), farBack, 1.0f);

  for (size_t i = index + 1; i <= top; ++i) {
    const float front = samples.front(i);
    const float back = samples.back(i);
    if (back > farBack) samples.addPiece(out, i, farBack, back, (back - farBack) / (back - front));
    farBack = back;
  }
  return farBack;
}

}  // namespace

ktSampleLayout::ktSampleLayout(const ChannelSet& channels, const ChannelMap& map)
    : first(static_cast<const ChannelSet&>(map).first()), front(map.chanNo(Chan_DeepFront)), back(map.chanNo(Chan_DeepBack)) {
  for (Channel z : channels)
    source[count++] = z == Chan_Z || z == Chan_DeepFront ? kFront
                      : z == Chan_DeepBack               ? kBack
                                                         : static_cast<int16_t>(map.chanNo(z));
}

void combineSamples(const ChannelSet& channels, const DeepPixel& pixel, DeepOutPixel& out) {
  combineSamples(ktSampleLayout(channels, pixel.channels()), pixel, out);
}

void combineSamples(const ktSampleLayout& layout, const DeepPixel& pixel, DeepOutPixel& out) {
  const size_t count = pixel.getSampleCount();
  if (count == 0) return;
  const Samples samples(layout, pixel);
  size_t index = count - 1;
  for (;;) {
    addSample(samples, out, index);
    if (index == 0) return;
    --index;
  }
}

DeepPixel cutPieces(const DD::Image::DeepPlane& plane, const ktSampleLayout& layout, int y, int x,
                    DeepOutPixel& combined) {
  combined.clear();
  combineSamples(layout, plane.getPixel(y, x), combined);
  return combined.getPixel(plane.channels(), DeepPixel::eZAscending);
}
