#include "ktDeepDefocus.h"

#include <algorithm>
#include <vector>

#include "DDImage/DeepPixel.h"
#include "DDImage/DeepPlane.h"
#include "ktCombineSamples.h"
#include "ktDeepPieces.h"
#include "ktConvole.h"
#include "ktDepthToCoc.h"
#include "ktLensValues.h"
#include "ktSliceBuffers.h"

using DD::Image::Box;
using DD::Image::Chan_Alpha;
using DD::Image::Chan_DeepBack;
using DD::Image::Chan_DeepFront;
using DD::Image::Chan_Z;
using DD::Image::Channel;
using DD::Image::ChannelSet;
using DD::Image::DeepOp;
using DD::Image::DeepOutPixel;
using DD::Image::DeepPixel;
using DD::Image::DeepPlane;
using DD::Image::Iop;
using DD::Image::Row;

namespace {

int clampTo(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

std::vector<Channel> channelList(const ChannelSet& set) {
  std::vector<Channel> list;
  for (Channel z : set) list.push_back(z);
  return list;
}

// Matte values of one source pixel; 1 where the matte is not in use.
struct PixelMattes {
  float bloom = 1.0f;
  float defocus = 1.0f;
  float aberration = 1.0f;
};

// The work of one output row: buffers are made once and reused for every source pixel.
class DeepRowDefocus {
 public:
  DeepRowDefocus(const ktRenderContext& ctx, Iop& input, Iop* mattes, DeepOp& deep, int y, int x, int r,
                 const ChannelSet& channels, int pass);

  void scatterSourceRow(int sy);
  void composite(Row& row) const;

 private:
  void fetchMatteRow(int syc);
  void scatterSourcePixel(int sx, int sy, int syc);
  PixelMattes mattesAt(int sx) const;
  void loadFallback(int sxc);
  float walkPieces(const DeepPixel& pieces, int sx, int sy, int sxc, int syc, const PixelMattes& m);
  void spreadRemainder(float weight, int sx, int sy, int sxc, int syc);

  const ktRenderContext& ctx_;
  const ktOrvelSettings& s_;
  Iop& input_;
  Iop* mattes_;
  DeepOp& deep_;
  const int y_, x_, r_, pass_;
  const int spanX_, spanR_;  // the padded source span, r exclusive
  const int width_, height_;
  const ChannelSet& channels_;
  const ChannelSet work_;
  const ChannelSet request_;
  const std::vector<Channel> channelIds_;
  const Channel depthChannel_;
  const FarRemainder far_;

  ktSliceBuffers slices_;
  Row flatRow_;
  Row matteRow_;
  bool haveMatteRow_ = false;
  DeepPlane plane_;
  DeepOutPixel combined_;
  std::vector<float> pixel_;
  std::vector<Channel> sampleChannels_;
};

DeepRowDefocus::DeepRowDefocus(const ktRenderContext& ctx, Iop& input, Iop* mattes, DeepOp& deep, int y,
                               int x, int r, const ChannelSet& channels, int pass)
    : ctx_(ctx),
      s_(*ctx.settings),
      input_(input),
      mattes_(mattes),
      deep_(deep),
      y_(y),
      x_(x),
      r_(r),
      pass_(pass),
      spanX_(x - ctx.padding),
      spanR_(r + ctx.padding),
      width_(ctx.format.r() - ctx.format.x()),
      height_(ctx.format.t() - ctx.format.y()),
      channels_(channels),
      work_(channels.intersection(ctx.settings->activeChannels) + Chan_Alpha),
      request_(deepRequestSet(deep.deepInfo().channels(), work_)),
      channelIds_(channelList(channels)),
      depthChannel_(pieceDepthChannel(*ctx.settings)),
      far_(farRemainder(ctx)),
      slices_(std::max(1, ctx.settings->correctiveSlices), channels.intersection(ctx.settings->activeChannels), x, r),
      flatRow_(spanX_, spanR_),
      matteRow_(spanX_, spanR_),
      pixel_(kChannelTableSize, 0.0f) {
  sampleChannels_.reserve(channelIds_.size() + 1);
}

void DeepRowDefocus::scatterSourceRow(int sy) {
  const int syc = clampTo(sy, 0, height_ - 1);
  flatRow_.get(input_, syc, spanX_, spanR_, channels_);
  fetchMatteRow(syc);

  const Box box(clampTo(spanX_, 0, width_ - 1), syc, clampTo(spanR_ - 1, 0, width_ - 1) + 1, syc + 1);
  if (!deep_.deepEngine(box, request_, plane_)) return;

  sampleChannels_.clear();
  const ChannelSet& offered = plane_.channels();
  for (Channel z : offered.intersection(work_)) sampleChannels_.push_back(z);

  for (int sx = spanX_; sx < spanR_; ++sx) scatterSourcePixel(sx, sy, syc);
}

void DeepRowDefocus::fetchMatteRow(int syc) {
  haveMatteRow_ = mattes_ && !ctx_.matteChannels.empty();
  if (haveMatteRow_) matteRow_.get(*mattes_, syc, spanX_, spanR_, ctx_.matteChannels);
}

void DeepRowDefocus::scatterSourcePixel(int sx, int sy, int syc) {
  const int sxc = clampTo(sx, 0, width_ - 1);
  const Box& box = plane_.box();
  if (sxc < box.x() || sxc >= box.r() || syc < box.y() || syc >= box.t()) return;

  const PixelMattes m = mattesAt(sx);
  loadFallback(sxc);

  combined_.clear();
  combineSamples(plane_.channels(), plane_.getPixel(syc, sxc), combined_);
  const DeepPixel pieces = combined_.getPixel(plane_.channels(), DeepPixel::eZAscending);

  const float coverage = walkPieces(pieces, sx, sy, sxc, syc, m);
  if (coverage < 1.0f) spreadRemainder(1.0f - coverage, sx, sy, sxc, syc);
}

PixelMattes DeepRowDefocus::mattesAt(int sx) const {
  PixelMattes m;
  if (!haveMatteRow_) return m;
  if (ctx_.hasBloomMatte) m.bloom = matteRow_[s_.bloomMatteChannel][sx];
  if (ctx_.hasDefocusMatte) m.defocus = matteRow_[s_.defocusMatteChannel][sx];
  if (ctx_.hasChromicAberrationMatte) m.aberration = matteRow_[s_.chromicAberrationMatteChannel][sx];
  return m;
}

// Channels the deep samples lack are spread with the flat input's value at the clamped column;
// a column outside the fetched flat span has no value there and spreads 0.
void DeepRowDefocus::loadFallback(int sxc) {
  const bool inSpan = sxc >= spanX_ && sxc < spanR_;
  for (Channel z : channelIds_) pixel_[z] = inSpan ? flatRow_[z][sxc] : 0.0f;
}

// Spreads the pieces nearest first, each with its visible share of the pixel, and returns the
// coverage taken. Pieces of the other focus region are skipped and hide nothing.
float DeepRowDefocus::walkPieces(const DeepPixel& pieces, int sx, int sy, int sxc, int syc,
                                 const PixelMattes& m) {
  float coverage = 0.0f;
  const size_t count = pieces.getSampleCount();
  for (size_t j = 0; j < count; ++j) {
    const DeepPiece piece = deepPiece(ctx_, pieces, j, depthChannel_);
    if (pass_ != 0 && static_cast<int>(piece.coc.region) != pass_) continue;

    const float alpha = pieces.getUnorderedSample(j, Chan_Alpha);
    for (Channel z : sampleChannels_) pixel_[z] = pieces.getUnorderedSample(j, z) / alpha;
    const float weight = (1.0f - coverage) * alpha;
    const float size = std::max(piece.coc.coc * m.defocus, 1.0f);
    convole(ctx_, sxc, syc, x_, y_, r_, sx, sy, size, piece.slice, weight, pixel_.data(), slices_.colourRows,
            slices_.weightRows, channels_, m.bloom, m.aberration);
    coverage += weight;
    if (1.0f - coverage < kCoveredEpsilon) break;
  }
  return coverage;
}

// What no piece covered is spread as transparent coverage: zero colour, no bloom.
void DeepRowDefocus::spreadRemainder(float weight, int sx, int sy, int sxc, int syc) {
  for (Channel z : channelIds_) pixel_[z] = 0.0f;
  const float noBloom = 0.0f;
  const float noAberrationChange = 1.0f;
  convole(ctx_, sxc, syc, x_, y_, r_, sx, sy, far_.size, far_.slice, weight, pixel_.data(),
          slices_.colourRows, slices_.weightRows, channels_, noBloom, noAberrationChange);
}

void DeepRowDefocus::composite(Row& row) const {
  for (Channel z : channelIds_)
    if (s_.activeChannels.contains(z)) slices_.composite(z, row.writable(z));
}

// Active channels come out 0 when there is nothing to defocus; the others pass through.
void writeEmptySlices(const ktOrvelSettings& s, const ChannelSet& channels, int x, int r, Row& row) {
  for (Channel z : channels) {
    if (!s.activeChannels.contains(z)) continue;
    float* out = row.writable(z);
    std::fill(out + x, out + r, 0.0f);
  }
}

}  // namespace

void deepDefocus(const ktRenderContext& ctx, Iop& input, Iop* mattes, DeepOp* deep, int y, int x, int r,
                 const ChannelSet& channels, Row& row, int pass) {
  Row flat(x, r);
  flat.get(input, y, x, r, channels);
  row.copy(flat, channels, x, r);
  if (!deep) {
    writeEmptySlices(*ctx.settings, channels, x, r, row);
    return;
  }

  DeepRowDefocus engine(ctx, input, mattes, *deep, y, x, r, channels, pass);
  for (int sy = y - ctx.padding; sy <= y + ctx.padding; ++sy) engine.scatterSourceRow(sy);
  engine.composite(row);
}
