#include "ktSourceMap.h"

#include <algorithm>
#include <cmath>

#include "ktLensValues.h"
#include "ktScatter.h"

using namespace DD::Image;

namespace {

constexpr int kMaxReach = 32767;

// Whether every entry of the bank holds one and the same plane in all of `channels`.
bool kernelsShared(const std::vector<ktChannelFloatBuffer>& bank, const ChannelSet& channels) {
  const Channel first = channels.first();
  for (const ktChannelFloatBuffer& k : bank)
    for (Channel z : channels)
      if (size_t(z) >= k.planes.size() || k.planes[z] != k.planes[first]) return false;
  return true;
}

// Row distance the largest kernel of `p` reaches, widened by the farthest chromatic shift.
int reachOf(const ktOrvelSettings& s, const std::vector<ktChannelFloatBuffer>& bank, const ChannelSet& channels,
            const ktSourceMap::Pixel& p, float aberrationMatte) {
  int radius = -1;
  for (int q = 0; q < 2; ++q)
    if (p.kernel[q] != ktSourceMap::kNoPass) radius = std::max(radius, bank[p.kernel[q]].halfWidth);
  if (radius < 0) return -1;
  float shift = 0.0f;
  if (s.kChrAbb != 0.0f)
    for (Channel z : channels) shift = std::max(shift, std::fabs(scatter::chromaticShift(s, z, p.size, aberrationMatte)));
  if (!(shift < float(kMaxReach))) return kMaxReach;
  return std::min(kMaxReach, radius + static_cast<int>(std::ceil(shift)) + 1);
}

}  // namespace

void ktSourceMap::clear() {
  pixels_.clear();
  pixels_.shrink_to_fit();
  rowReach_.clear();
  colours_.clear();
  bloom_.clear();
  aberration_.clear();
  firstRow_ = 0;
  lastRow_ = -1;
}

void ktSourceMap::build(const ktRenderContext& ctx, Iop& input, Iop* mattes, const Box& outputBox,
                        const ChannelSet& channels) {
  clear();
  const std::vector<ktChannelFloatBuffer>& bank = *ctx.kernels;
  if (bank.empty() || bank.size() >= kNoPass || outputBox.empty() || channels.empty()) return;
  padding_ = std::max(0, ctx.padding);
  formatWidth_ = ctx.format.r() - ctx.format.x();
  channels_ = channels;
  x0_ = outputBox.x() - padding_;
  x1_ = outputBox.r() + padding_;
  boxY_ = input.y();
  boxT_ = std::max(input.y(), input.t());
  firstRow_ = clampRow(outputBox.y() - padding_);
  lastRow_ = clampRow(outputBox.t() - 1 + padding_);
  sharedKernels_ = kernelsShared(bank, channels);

  const size_t size = size_t(lastRow_ - firstRow_ + 1) * size_t(x1_ - x0_);
  pixels_.resize(size);
  rowReach_.assign(lastRow_ - firstRow_ + 1, -1);
  colours_.assign(Chan_Last, {});
  for (Channel z : channels_) colours_[z].resize(size);
  bloom_.resize(size);
  if (ctx.hasChromicAberrationMatte) aberration_.resize(size);
  for (int cy = firstRow_; cy <= lastRow_; ++cy) mapRow(ctx, input, mattes, cy);
}

void ktSourceMap::mapRow(const ktRenderContext& ctx, Iop& input, Iop* mattes, int cy) {
  const ktOrvelSettings& s = *ctx.settings;
  const std::vector<ktChannelFloatBuffer>& bank = *ctx.kernels;
  const int slices = std::max(1, s.correctiveSlices);
  const size_t offset = rowOffset(cy);

  Row colour(x0_, x1_);
  colour.get(input, cy, x0_, x1_, channels_);
  for (Channel z : channels_) std::copy(colour[z] + x0_, colour[z] + x1_, colours_[z].data() + offset);

  // Depths are read at columns clamped into the format, which may lie outside the mapped span.
  const int depthLeft = std::min(x0_, 0);
  const int depthRight = std::max({x1_, formatWidth_, 1});
  Row depthRow(depthLeft, depthRight);
  depthRow.get(input, cy, depthLeft, depthRight, ChannelSet(s.depthChannel));
  const float* depth = depthRow[s.depthChannel];

  Row matte(x0_, x1_);
  const bool haveMattes = mattes && !ctx.matteChannels.empty();
  if (haveMattes) matte.get(*mattes, cy, x0_, x1_, ctx.matteChannels);
  const float* bloomMatte = haveMattes && ctx.hasBloomMatte ? matte[s.bloomMatteChannel] : nullptr;
  const float* defocusMatte = haveMattes && ctx.hasDefocusMatte ? matte[s.defocusMatteChannel] : nullptr;
  const float* aberrationMatte =
      haveMattes && ctx.hasChromicAberrationMatte ? matte[s.chromicAberrationMatteChannel] : nullptr;

  int& rowReach = rowReach_[cy - firstRow_];
  for (int sx = x0_; sx < x1_; ++sx) {
    const size_t i = offset + size_t(sx - x0_);
    const int dx = std::max(0, std::min(sx, formatWidth_ - 1));
    const float mB = bloomMatte ? bloomMatte[sx] : 1.0f;
    const float mD = defocusMatte ? defocusMatte[sx] : 1.0f;
    const float mA = aberrationMatte ? aberrationMatte[sx] : 1.0f;
    bloom_[i] = scatter::bloomLevel(s, ctx.format, dx, cy) * mB;
    if (!aberration_.empty()) aberration_[i] = mA;

    Pixel& p = pixels_[i];
    const CocSample coc = depthToCoc(s, ctx.kernelSizeLimit, depth[dx], DepthKind::Flat);
    p.size = scatter::kernelSize(coc.coc, mD);
    p.slice = static_cast<uint16_t>(
        slices == 1 || !ctx.sliceDepths ? 0 : sliceIndex(*ctx.sliceDepths, slices, coc.depth));
    scatter::Pass passes[2];
    const int used = scatter::choosePasses(bank, p.size, 1.0f, passes);
    for (int q = 0; q < 2; ++q) {
      p.kernel[q] = q < used ? static_cast<uint16_t>(passes[q].kernel - bank.data()) : kNoPass;
      p.passWeight[q] = q < used ? passes[q].weight : 0.0f;
    }
    p.reach = scatter::scattersRegion(s.focusOutput, coc.region)
                  ? static_cast<int16_t>(reachOf(s, bank, channels_, p, mA))
                  : int16_t(-1);
    rowReach = std::max(rowReach, int(p.reach));
  }
}

bool ktSourceMap::covers(int y, int x, int r, int padding) const {
  if (empty() || padding != padding_) return false;
  const int left = x - padding, right = r + padding;
  const bool columns = left >= x0_ && right <= x1_;
  const bool depthInSpan = left <= std::max(formatWidth_ - 1, 0) && right >= 1;
  const bool rows = clampRow(y - padding) >= firstRow_ && clampRow(y + padding) <= lastRow_;
  return columns && depthInSpan && rows;
}

const float* ktSourceMap::colour(int cy, Channel z) const {
  return colours_[z].data() + rowOffset(cy) - x0_;
}

const float* ktSourceMap::bloomAmount(int cy) const { return bloom_.data() + rowOffset(cy) - x0_; }

const float* ktSourceMap::aberrationMatte(int cy) const {
  return aberration_.empty() ? nullptr : aberration_.data() + rowOffset(cy) - x0_;
}
