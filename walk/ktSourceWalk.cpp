#include "ktSourceWalk.h"

#include <algorithm>

#include "ktCombineSamples.h"
#include "ktDepthToCoc.h"
#include "ktLensValues.h"
#include "ktScatter.h"

using namespace DD::Image;

namespace {

int clampTo(int v, int lo, int hi) { return std::max(lo, std::min(v, hi)); }

size_t deepSliceOf(const ktRenderContext& ctx, float depth) {
  if (!ctx.sliceDepths) return 0;
  return static_cast<size_t>(sliceIndex(*ctx.sliceDepths, ctx.settings->correctiveSlices, depth));
}

}  // namespace

namespace {

void addPieceChannels(ChannelSet& set) {
  set += Chan_Alpha;
  set += Chan_DeepFront;
  set += Chan_DeepBack;
}

}  // namespace

ChannelSet deepChannelsFor(ChannelSet work) {
  work -= Chan_Z;
  addPieceChannels(work);
  return work;
}

ChannelSet deepRequestSet(const ChannelSet& offered, const ChannelSet& work) {
  ChannelSet request = offered.intersection(deepChannelsFor(work));
  addPieceChannels(request);
  return request;
}

Box deepSourceArea(const ktRenderContext& ctx, const DeepOp& deep) {
  Box area(0, 0, ctx.format.r() - ctx.format.x(), ctx.format.t() - ctx.format.y());
  const Box& held = deep.deepInfo().box();
  if (held.w() > 0 && held.h() > 0) area.merge(held);
  return area;
}

Channel pieceDepthChannel(const ktOrvelSettings& s) {
  return s.depthChannel == Chan_DeepBack ? Chan_DeepBack : Chan_DeepFront;
}

ktDeepPiece deepPieceAt(const ktRenderContext& ctx, const DeepPixel& pieces, size_t j, Channel depthChannel) {
  const ktOrvelSettings& s = *ctx.settings;
  float depth = pieces.getUnorderedSample(j, depthChannel);
  if (!s.realWorldLens) depth = std::min(std::max(depth, s.focusNear), s.focusFar);
  return {depthToCoc(s, ctx.kernelSizeLimit, depth, DepthKind::Deep), deepSliceOf(ctx, depth),
          pieces.getUnorderedSample(j, Chan_Alpha)};
}

ktWalkRows::ktWalkRows(const ktRenderContext& ctx, Iop& input, Iop* mattes, const ChannelSet& channels,
                       int left, int right)
    : ctx_(ctx),
      s_(*ctx.settings),
      input_(input),
      mattes_(mattes),
      channels_(channels),
      left_(left),
      right_(right),
      colour_(left, right),
      matteRow_(left, right),
      colourOf_(channels.size()),
      values_(channels.size()) {
  for (Channel z : channels) channelList_.push_back(z);
}

void ktWalkRows::fetch(int cy) {
  colour_.get(input_, cy, left_, right_, channels_);
  for (size_t c = 0; c < channelList_.size(); ++c) colourOf_[c] = colour_[channelList_[c]];
  matteRow_.fetch(ctx_, mattes_, cy);
}

ktFlatWalk::ktFlatWalk(const ktRenderContext& ctx, Iop& input, Iop* mattes, const ChannelSet& channels,
                       int left, int right)
    : ktWalkRows(ctx, input, mattes, channels, left, right), depth_(left, right) {}

void ktFlatWalk::fetchRow(int cy) {
  fetch(cy);
  depth_.get(input_, cy, left_, right_, ChannelSet(s_.depthChannel));
  depthValues_ = depth_[s_.depthChannel];
}

bool ktFlatWalk::pixel(int sx, int sy, int cy, ktScatter& out) {
  // Depth, like colour, comes from the pixel's own column: beyond the input's box the row fetch
  // repeats the box's edge, so the blur never depends on where the format lies. The bloom
  // falloff is placed by the column clamped into the format.
  const int dx = clampTo(sx, 0, ctx_.format.r() - ctx_.format.x() - 1);
  const CocSample coc = depthToCoc(s_, ctx_.kernelSizeLimit, depthValues_[sx], DepthKind::Flat);
  // A depth that cannot be ordered against the focal plane counts as behind it.
  const FocusRegion region = coc.region == FocusRegion::None ? FocusRegion::Back : coc.region;
  if (!passKeeps(focusOutputPass(s_.focusOutput), region)) return false;
  const ktPixelMattes m = matteRow_.at(sx);
  const int slices = std::max(1, s_.correctiveSlices);
  const size_t slice =
      slices == 1 || !ctx_.sliceDepths ? 0 : size_t(sliceIndex(*ctx_.sliceDepths, slices, coc.depth));
  const float bloom = scatter::bloomLevel(s_, ctx_.format, dx, cy) * m.bloom;
  for (size_t c = 0; c < channelList_.size(); ++c)
    values_[c] = scatter::scatteredValue(s_, channelList_[c], colourOf_[c][sx], bloom);
  out = {sx, sy, scatter::kernelSize(coc.coc, m.defocus), 1.0f, slice, m.aberration, values_.data()};
  return true;
}

ktDeepWalk::ktDeepWalk(const ktRenderContext& ctx, Iop& input, Iop* mattes, DeepOp& deep,
                       const ChannelSet& channels, DeepPass pass, int left, int right)
    : ktWalkRows(ctx, input, mattes, channels, left, right),
      deep_(deep),
      area_(deepSourceArea(ctx, deep)),
      pass_(pass),
      request_(deepRequestSet(deep.deepInfo().channels(), channels)),
      depthChannel_(pieceDepthChannel(s_)),
      fallback_(channels.size()),
      seeThrough_(s_.deepMethod == kDeepSeeThrough) {
  // The uncovered remainder spreads as transparent coverage at the farthest depth the lens
  // model can see.
  const float farDepth = s_.realWorldLens ? kFarDepth : s_.focusFar;
  farSize_ = scatter::kernelSize(depthToCoc(s_, ctx.kernelSizeLimit, farDepth, DepthKind::Deep).coc, 1.0f);
  farSlice_ = deepSliceOf(ctx, farDepth);
  if (seeThrough_) sliceCoverage_.reserve(size_t(std::max(s_.correctiveSlices, 1)) + 1);
}

float& ktDeepWalk::coverageOfSlice(size_t slice) {
  for (auto& c : sliceCoverage_)
    if (c.first == slice) return c.second;
  sliceCoverage_.emplace_back(slice, 0.0f);
  return sliceCoverage_.back().second;
}

bool ktDeepWalk::fetchRow(int cy) {
  fetch(cy);
  syc_ = cy;
  const Box box(clampTo(left_, area_.x(), area_.r() - 1), cy,
                clampTo(right_ - 1, area_.x(), area_.r() - 1) + 1, cy + 1);
  if (!deep_.deepEngine(box, request_, plane_)) return false;
  layout_ = ktSampleLayout(plane_.channels(), plane_.channels());
  sampled_.resize(channelList_.size());
  for (size_t c = 0; c < channelList_.size(); ++c) sampled_[c] = plane_.channels().contains(channelList_[c]);
  return true;
}

// Begins the pixel at column sx; false where the plane has no pixel there. Channels the samples
// lack spread the flat input's value at the clamped column, or 0 where that column lies outside
// the fetched span.
bool ktDeepWalk::beginPixel(int sx, int cy) {
  sxc_ = clampTo(sx, area_.x(), area_.r() - 1);
  const Box& box = plane_.box();
  if (sxc_ < box.x() || sxc_ >= box.r() || cy < box.y() || cy >= box.t()) return false;
  pixelMattes_ = matteRow_.at(sx);
  pixelBloom_ = scatter::bloomLevel(s_, ctx_.format, sxc_, syc_) * pixelMattes_.bloom;
  const bool inSpan = sxc_ >= left_ && sxc_ < right_;
  for (size_t c = 0; c < channelList_.size(); ++c) fallback_[c] = inSpan ? colourOf_[c][sxc_] : 0.0f;
  return true;
}

// Piece j with its visible share: its alpha times what the nearer pieces left. Pieces the pass
// leaves out are skipped and hide nothing; outside the focus region, without the real-world
// lens, depths clamp onto it.
bool ktDeepWalk::piece(const DeepPixel& pieces, size_t j, int sx, int sy, float coverage, ktScatter& out) {
  const ktDeepPiece p = deepPieceAt(ctx_, pieces, j, depthChannel_);
  if (!passKeeps(pass_, p.coc.region)) return false;

  for (size_t c = 0; c < channelList_.size(); ++c) {
    const Channel z = channelList_[c];
    values_[c] = scatter::scatteredValue(s_, z, pieceValue(pieces, j, z, p.alpha, sampled_[c], fallback_[c]),
                                         pixelBloom_);
  }
  out = {sx,
         sy,
         scatter::kernelSize(p.coc.coc, pixelMattes_.defocus),
         (1.0f - coverage) * p.alpha,
         p.slice,
         pixelMattes_.aberration,
         values_.data()};
  return true;
}

// What no piece covered: zero colour, no bloom, at the far size in the far slice.
ktScatter ktDeepWalk::remainder(int sx, int sy, float weight) {
  const float noBloom = scatter::bloomLevel(s_, ctx_.format, sxc_, syc_) * 0.0f;
  for (size_t c = 0; c < channelList_.size(); ++c)
    values_[c] = scatter::scatteredValue(s_, channelList_[c], 0.0f, noBloom);
  return {sx, sy, farSize_, weight, farSlice_, 1.0f, values_.data()};
}
