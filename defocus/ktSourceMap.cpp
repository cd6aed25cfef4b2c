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
      if (size_t(z) >= k.planes.size() || k.planes[z].size() < k.count || k.planes[z] != k.planes[first])
        return false;
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
    for (Channel z : channels)
      shift = std::max(shift, std::fabs(scatter::chromaticShift(s, z, p.size, aberrationMatte)));
  if (!(shift < float(kMaxReach))) return kMaxReach;
  return std::min(kMaxReach, radius + static_cast<int>(std::ceil(shift)) + 1);
}

}  // namespace

void ktSourceMap::clear() {
  pixels_.clear();
  pixels_.shrink_to_fit();
  shared_.clear();
  shared_.shrink_to_fit();
  reach_.clear();
  blockReach_.clear();
  rowReach_.clear();
  values_.clear();
  aberration_.clear();
  kernels_.clear();
  spans_.clear();
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
  blocks_ = size_t(x1_ - x0_ + kBlock - 1) / kBlock;
  boxY_ = input.y();
  boxT_ = std::max(input.y(), input.t());
  firstRow_ = clampRow(outputBox.y() - padding_);
  lastRow_ = clampRow(outputBox.t() - 1 + padding_);
  sharedKernels_ = kernelsShared(bank, channels) && channels.size() <= unsigned(kSharedChannels) &&
                   ctx.settings->kChrAbb == 0.0f;
  if (sharedKernels_) describeKernels(bank);

  const size_t rows = size_t(lastRow_ - firstRow_ + 1);
  const size_t size = rows * size_t(x1_ - x0_);
  reach_.resize(size);
  blockReach_.assign(rows * blocks_, -1);
  rowReach_.assign(rows, -1);
  if (sharedKernels_) {
    shared_.resize(size);
  } else {
    pixels_.resize(size);
    values_.assign(Chan_Last, {});
    for (Channel z : channels_) values_[z].resize(size);
    if (ctx.hasChromicAberrationMatte) aberration_.resize(size);
  }
  for (int cy = firstRow_; cy <= lastRow_; ++cy) mapRow(ctx, input, mattes, cy);
}

// The shared plane of each entry, with the span of non-zero taps of each of its rows.
void ktSourceMap::describeKernels(const std::vector<ktChannelFloatBuffer>& bank) {
  const Channel z = channels_.first();
  size_t total = 0;
  for (const ktChannelFloatBuffer& k : bank) total += size_t(std::max(0, k.height));
  spans_.resize(total);
  kernels_.resize(bank.size());
  size_t next = 0;
  for (size_t i = 0; i < bank.size(); ++i) {
    const ktChannelFloatBuffer& k = bank[i];
    kernels_[i] = {k.planes[z].data(), k.width, k.halfWidth, spans_.data() + next};
    for (int ky = 0; ky < k.height; ++ky) {
      const float* row = k.planes[z].data() + size_t(ky) * k.width;
      int begin = 0, end = k.width;
      while (begin < end && row[begin] == 0.0f) ++begin;
      while (end > begin && row[end - 1] == 0.0f) --end;
      spans_[next++] = {static_cast<uint16_t>(begin), static_cast<uint16_t>(end)};
    }
  }
}

void ktSourceMap::mapRow(const ktRenderContext& ctx, Iop& input, Iop* mattes, int cy) {
  const ktOrvelSettings& s = *ctx.settings;
  const std::vector<ktChannelFloatBuffer>& bank = *ctx.kernels;
  const int slices = std::max(1, s.correctiveSlices);
  const size_t offset = rowOffset(cy);

  Row colour(x0_, x1_);
  colour.get(input, cy, x0_, x1_, channels_);

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

  const size_t row = size_t(cy - firstRow_);
  for (int sx = x0_; sx < x1_; ++sx) {
    const size_t i = offset + size_t(sx - x0_);
    const int dx = std::max(0, std::min(sx, formatWidth_ - 1));
    const float mB = bloomMatte ? bloomMatte[sx] : 1.0f;
    const float mD = defocusMatte ? defocusMatte[sx] : 1.0f;
    const float mA = aberrationMatte ? aberrationMatte[sx] : 1.0f;
    const float bloom = scatter::bloomLevel(s, ctx.format, dx, cy) * mB;
    float values[Chan_Last];
    int c = 0;
    for (Channel z : channels_) values[c++] = scatter::scatteredValue(s, z, colour[z][sx], bloom);
    if (!aberration_.empty()) aberration_[i] = mA;

    Pixel p;
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
    const int reach =
        scatter::scattersRegion(s.focusOutput, coc.region) ? reachOf(s, bank, channels_, p, mA) : -1;
    reach_[i] = static_cast<int16_t>(reach);
    storePixel(i, p, values);
    int16_t& block = blockReach_[row * blocks_ + size_t(sx - x0_) / kBlock];
    block = std::max(block, reach_[i]);
    rowReach_[row] = std::max(rowReach_[row], reach);
  }
}

void ktSourceMap::storePixel(size_t i, const Pixel& p, const float* values) {
  if (!sharedKernels_) {
    pixels_[i] = p;
    int c = 0;
    for (Channel z : channels_) values_[z][i] = values[c++];
    return;
  }
  SharedPixel& shared = shared_[i];
  for (int q = 0; q < 2; ++q) {
    shared.kernel[q] = p.kernel[q] == kNoPass ? nullptr : &kernels_[p.kernel[q]];
    shared.passWeight[q] = p.passWeight[q];
  }
  for (int c = 0; c < kSharedChannels; ++c) shared.value[c] = c < int(channels_.size()) ? values[c] : 0.0f;
  shared.slice = p.slice;
}

bool ktSourceMap::covers(int y, int x, int r, int padding) const {
  if (empty() || padding != padding_) return false;
  const int left = x - padding, right = r + padding;
  const bool columns = left >= x0_ && right <= x1_;
  const bool depthInSpan = left <= std::max(formatWidth_ - 1, 0) && right >= 1;
  const bool rows = clampRow(y - padding) >= firstRow_ && clampRow(y + padding) <= lastRow_;
  return columns && depthInSpan && rows;
}

const float* ktSourceMap::aberrationMatte(int cy) const {
  return aberration_.empty() ? nullptr : aberration_.data() + rowOffset(cy) - x0_;
}
