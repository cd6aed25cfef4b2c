#include "ktDeepSourceMap.h"

#include <algorithm>
#include <vector>

#include "DDImage/Row.h"
#include "ktCombineSamples.h"
#include "ktDeepPieces.h"
#include "ktLensValues.h"
#include "ktScatter.h"

using namespace DD::Image;

namespace {

int clampTo(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

// Maps the deep pixels of one source row.
class DeepRowMapper {
 public:
  DeepRowMapper(ktSourceMap& map, const ktRenderContext& ctx, Iop& input, Iop* mattes, DeepOp& deep,
                const ChannelSet& channels, int pass)
      : map_(map),
        ctx_(ctx),
        s_(*ctx.settings),
        input_(input),
        mattes_(mattes),
        deep_(deep),
        channels_(channels),
        pass_(pass),
        width_(ctx.format.r() - ctx.format.x()),
        depthChannel_(pieceDepthChannel(s_)),
        far_(farRemainder(ctx)),
        values_(channels.size()),
        fallback_(channels.size()) {
    for (Channel z : channels) channelIds_.push_back(z);
    work_ = channels;
    work_ += Chan_Alpha;
    request_ = deepRequestSet(deep.deepInfo().channels(), work_);
  }

  // False when the deep input cannot deliver the row.
  bool mapRow(int syc) {
    const int x0 = map_.x0(), x1 = map_.x1();
    const int flatLeft = std::min(x0, 0), flatRight = std::max({x1, width_, 1});
    Row flat(flatLeft, flatRight);
    flat.get(input_, syc, flatLeft, flatRight, channels_);
    Row matte(x0, x1);
    const bool haveMattes = mattes_ && !ctx_.matteChannels.empty();
    if (haveMattes) matte.get(*mattes_, syc, x0, x1, ctx_.matteChannels);
    const Box box(clampTo(x0, 0, width_ - 1), syc, clampTo(x1 - 1, 0, width_ - 1) + 1, syc + 1);
    DeepPlane plane;
    if (!deep_.deepEngine(box, request_, plane)) return false;
    sampleColumns_.clear();
    int c = 0;
    for (Channel z : channels_) {
      if (plane.channels().contains(z) && work_.contains(z)) sampleColumns_.push_back(c);
      ++c;
    }

    for (int sx = x0; sx < x1; ++sx) {
      const int sxc = clampTo(sx, 0, width_ - 1);
      const Box& b = plane.box();
      if (sxc >= b.x() && sxc < b.r() && syc >= b.y() && syc < b.t()) {
        const float mB = haveMattes && ctx_.hasBloomMatte ? matte[s_.bloomMatteChannel][sx] : 1.0f;
        const float mD = haveMattes && ctx_.hasDefocusMatte ? matte[s_.defocusMatteChannel][sx] : 1.0f;
        const float mA =
            haveMattes && ctx_.hasChromicAberrationMatte ? matte[s_.chromicAberrationMatteChannel][sx] : 1.0f;
        int i = 0;
        for (Channel z : channels_) fallback_[i++] = flat[z][sxc];
        mapPixel(plane, sxc, syc, mB, mD, mA);
      }
      map_.endPosition();
    }
    return true;
  }

 private:
  void mapPixel(const DeepPlane& plane, int sxc, int syc, float mB, float mD, float mA) {
    combined_.clear();
    combineSamples(plane.channels(), plane.getPixel(syc, sxc), combined_);
    const DeepPixel pieces = combined_.getPixel(plane.channels(), DeepPixel::eZAscending);
    const float bloom = scatter::bloomLevel(s_, ctx_.format, sxc, syc) * mB;
    float coverage = 0.0f;
    for (size_t j = 0; j < pieces.getSampleCount(); ++j) {
      const DeepPiece piece = deepPiece(ctx_, pieces, j, depthChannel_);
      if (pass_ != 0 && static_cast<int>(piece.coc.region) != pass_) continue;

      const float alpha = pieces.getUnorderedSample(j, Chan_Alpha);
      std::copy(fallback_.begin(), fallback_.end(), values_.begin());
      for (int c : sampleColumns_) values_[c] = pieces.getUnorderedSample(j, channelIds_[c]) / alpha;
      int c = 0;
      for (Channel z : channels_) {
        values_[c] = scatter::scatteredValue(s_, z, values_[c], bloom);
        ++c;
      }
      const float weight = (1.0f - coverage) * alpha;
      map_.addScatter(ctx_, std::max(piece.coc.coc * mD, 1.0f), weight, piece.slice, mA, values_.data());
      coverage += weight;
      if (1.0f - coverage < kCoveredEpsilon) break;
    }
    // What no piece covered spreads as transparent coverage: zero colour, no bloom.
    if (coverage < 1.0f) {
      int c = 0;
      const float noBloom = scatter::bloomLevel(s_, ctx_.format, sxc, syc) * 0.0f;
      for (Channel z : channels_) values_[c++] = scatter::scatteredValue(s_, z, 0.0f, noBloom);
      map_.addScatter(ctx_, far_.size, 1.0f - coverage, far_.slice, 1.0f, values_.data());
    }
  }

  ktSourceMap& map_;
  const ktRenderContext& ctx_;
  const ktOrvelSettings& s_;
  Iop& input_;
  Iop* mattes_;
  DeepOp& deep_;
  const ChannelSet channels_;
  const int pass_;
  const int width_;
  const Channel depthChannel_;
  const FarRemainder far_;
  ChannelSet work_;
  ChannelSet request_;
  std::vector<int> sampleColumns_;
  std::vector<float> values_;
  std::vector<float> fallback_;
  std::vector<Channel> channelIds_;
  DeepOutPixel combined_;
};

}  // namespace

bool mapDeepRows(ktSourceMap& band, const ktRenderContext& ctx, Iop& input, Iop* mattes, DeepOp& deep,
                 const ChannelSet& channels, int pass) {
  if (band.empty()) return false;
  DeepRowMapper mapper(band, ctx, input, mattes, deep, channels, pass);
  for (int syc = band.firstRow(); syc <= band.lastRow(); ++syc)
    if (!mapper.mapRow(syc)) return false;
  return true;
}
