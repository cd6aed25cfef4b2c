#include "ktDefocus.h"

#include <algorithm>
#include <vector>

#include "ktConvole.h"
#include "ktDepthToCoc.h"
#include "ktLensValues.h"
#include "ktScatter.h"
#include "ktSliceBuffers.h"

using DD::Image::Channel;
using DD::Image::ChannelSet;
using DD::Image::Row;
using scatter::kernelSize;
using scatter::scattersRegion;

namespace {

// The matte values of one source pixel; 1 where no matte applies.
struct Mattes {
  float bloom = 1.0f;
  float defocus = 1.0f;
  float aberration = 1.0f;
};

// The rows of one source row over the padded span, with read pointers looked up once.
struct SourceRow {
  SourceRow(int left, int right) : colour(left, right), depth(left, right), matte(left, right) {}
  Row colour, depth, matte;
  const float* depthValues = nullptr;
  const float* bloomMatte = nullptr;
  const float* defocusMatte = nullptr;
  const float* aberrationMatte = nullptr;
};

void fetchSourceRow(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int cy,
                    int left, int right, const ChannelSet& channels, SourceRow& src) {
  const ktOrvelSettings& s = *ctx.settings;
  src.colour.get(input, cy, left, right, channels);
  src.depth.get(input, cy, left, right, ChannelSet(s.depthChannel));
  src.depthValues = src.depth[s.depthChannel];
  const bool haveMattes = mattes && !ctx.matteChannels.empty();
  if (haveMattes) src.matte.get(*mattes, cy, left, right, ctx.matteChannels);
  src.bloomMatte = haveMattes && ctx.hasBloomMatte ? src.matte[s.bloomMatteChannel] : nullptr;
  src.defocusMatte = haveMattes && ctx.hasDefocusMatte ? src.matte[s.defocusMatteChannel] : nullptr;
  src.aberrationMatte =
      haveMattes && ctx.hasChromicAberrationMatte ? src.matte[s.chromicAberrationMatteChannel] : nullptr;
}

Mattes mattesAt(const SourceRow& src, int sx) {
  Mattes m;
  if (src.bloomMatte) m.bloom = src.bloomMatte[sx];
  if (src.defocusMatte) m.defocus = src.defocusMatte[sx];
  if (src.aberrationMatte) m.aberration = src.aberrationMatte[sx];
  return m;
}

// One output row's scatter: the source window's rows are fetched one at a time and each of
// their pixels is spread into the slice buffers.
class FlatRowScatter {
 public:
  FlatRowScatter(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int y, int x,
                 int r, const ChannelSet& channels)
      : ctx_(ctx),
        s_(*ctx.settings),
        input_(input),
        mattes_(mattes),
        y_(y),
        x_(x),
        r_(r),
        left_(x - std::max(0, ctx.padding)),
        right_(r + std::max(0, ctx.padding)),
        slices_(std::max(1, s_.correctiveSlices)),
        formatWidth_(ctx.format.r() - ctx.format.x()),
        channels_(channels),
        pixel_(kChannelTableSize, 0.0f),
        src_(left_, right_),
        buffers_(slices_, channels.intersection(s_.activeChannels), x, r) {
    for (Channel z : channels) channelList_.push_back(z);
    colourOf_.resize(channelList_.size());
  }

  // Scatters every pixel of source row sy (read from the input row it clamps to).
  void scatterSourceRow(int sy) {
    const int cy = std::max(input_.y(), std::min(sy, input_.t()));
    fetchSourceRow(ctx_, input_, mattes_, cy, left_, right_, channels_, src_);
    for (size_t i = 0; i < channelList_.size(); ++i) colourOf_[i] = src_.colour[channelList_[i]];
    for (int sx = left_; sx < right_; ++sx) scatterPixel(sx, sy, cy);
  }

  // Composites the slices of every defocused channel into `row`.
  void composite(Row& row) const {
    for (Channel z : channels_.intersection(s_.activeChannels)) buffers_.composite(z, row.writable(z));
  }

 private:
  void scatterPixel(int sx, int sy, int cy) {
    for (size_t i = 0; i < channelList_.size(); ++i) pixel_[channelList_[i]] = colourOf_[i][sx];
    // Depth comes from the column clamped into the format, kept inside the fetched span.
    const int dx = std::max(0, std::min(sx, formatWidth_ - 1));
    const int depthX = std::max(left_, std::min(dx, right_ - 1));
    const Mattes m = mattesAt(src_, sx);

    const CocSample coc = depthToCoc(s_, ctx_.kernelSizeLimit, src_.depthValues[depthX], DepthKind::Flat);
    if (!scattersRegion(s_.focusOutput, coc.region)) return;
    const float size = kernelSize(coc.coc, m.defocus);
    const int slice =
        slices_ == 1 || !ctx_.sliceDepths ? 0 : sliceIndex(*ctx_.sliceDepths, slices_, coc.depth);

    convole(ctx_, dx, cy, x_, y_, r_, sx, sy, size, static_cast<size_t>(slice), 1.0f, pixel_.data(),
            buffers_.colourRows, buffers_.weightRows, channels_, m.bloom, m.aberration);
  }

  const ktRenderContext& ctx_;
  const ktOrvelSettings& s_;
  DD::Image::Iop& input_;
  DD::Image::Iop* mattes_;
  const int y_, x_, r_;
  const int left_, right_;  // the source span: the output span widened by the padding
  const int slices_;
  const int formatWidth_;
  const ChannelSet& channels_;
  std::vector<Channel> channelList_;
  std::vector<const float*> colourOf_;
  std::vector<float> pixel_;
  SourceRow src_;
  ktSliceBuffers buffers_;
};

}  // namespace

void defocus(const ktRenderContext& ctx, DD::Image::Iop& input, DD::Image::Iop* mattes, int y, int x, int r,
             const ChannelSet& channels, Row& row) {
  if (r <= x) return;

  // Channels not defocused keep the input's row.
  Row passThrough(x, r);
  passThrough.get(input, y, x, r, channels);
  row.copy(passThrough, channels, x, r);

  FlatRowScatter scatter(ctx, input, mattes, y, x, r, channels);
  const int padding = std::max(0, ctx.padding);
  for (int sy = y - padding; sy <= y + padding; ++sy) scatter.scatterSourceRow(sy);
  scatter.composite(row);
}
