#include "ktFastDefocus.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "ktScatter.h"
#include "ktSliceBuffers.h"

using namespace DD::Image;

namespace {

constexpr int kMaxShared = 4;

// One kernel row run into a shared weight row and up to four colour rows: the same additions,
// in the same order per row, as one scatterRun per channel.
void scatterSharedRun(const float* __restrict k, float* __restrict weight, float* const* colour,
                      const float* scale, int channels, int count, float weightScale) {
  for (int i = 0; i < count; ++i) weight[i] += k[i] * weightScale;
  switch (channels) {
    case 4: {
      float* __restrict c0 = colour[0];
      float* __restrict c1 = colour[1];
      float* __restrict c2 = colour[2];
      float* __restrict c3 = colour[3];
      const float s0 = scale[0], s1 = scale[1], s2 = scale[2], s3 = scale[3];
      for (int i = 0; i < count; ++i) {
        c0[i] += k[i] * s0;
        c1[i] += k[i] * s1;
        c2[i] += k[i] * s2;
        c3[i] += k[i] * s3;
      }
      return;
    }
    case 3: {
      float* __restrict c0 = colour[0];
      float* __restrict c1 = colour[1];
      float* __restrict c2 = colour[2];
      const float s0 = scale[0], s1 = scale[1], s2 = scale[2];
      for (int i = 0; i < count; ++i) {
        c0[i] += k[i] * s0;
        c1[i] += k[i] * s1;
        c2[i] += k[i] * s2;
      }
      return;
    }
    default:
      for (int c = 0; c < channels; ++c) {
        float* __restrict out = colour[c];
        const float s = scale[c];
        for (int i = 0; i < count; ++i) out[i] += k[i] * s;
      }
  }
}

// The scatter of one output row from the map.
class FastRowScatter {
 public:
  FastRowScatter(const ktRenderContext& ctx, const ktSourceMap& map, int y, int x, int r, const ChannelSet& blurred)
      : ctx_(ctx),
        s_(*ctx.settings),
        bank_(*ctx.kernels),
        map_(map),
        y_(y),
        x_(x),
        r_(r),
        shifted_(s_.kChrAbb != 0.0f),
        shared_(!shifted_ && map.sharedKernels() && blurred.size() <= kMaxShared),
        buffers_(std::max(1, s_.correctiveSlices), blurred, x, r, shared_) {
    for (Channel z : blurred) channels_.push_back(z);
    colour_.resize(channels_.size());
  }

  void scatterSourceRow(int sy) {
    const int cy = map_.clampRow(sy);
    const int dy = std::abs(sy - y_);
    if (map_.rowReach(cy) < dy || channels_.empty()) return;
    const ktSourceMap::Pixel* pixels = map_.pixels(cy);
    const float* bloom = map_.bloomAmount(cy);
    const float* aberration = map_.aberrationMatte(cy);
    for (size_t c = 0; c < channels_.size(); ++c) colour_[c] = map_.colour(cy, channels_[c]);
    const int padding = std::max(0, ctx_.padding);
    for (int sx = x_ - padding; sx < r_ + padding; ++sx) {
      const ktSourceMap::Pixel& p = pixels[sx];
      if (p.reach < dy || sx + p.reach < x_ || sx - p.reach >= r_) continue;
      if (shared_)
        scatterShared(p, sx, sy, bloom[sx]);
      else
        scatterEach(p, sx, sy, bloom[sx], aberration ? aberration[sx] : 1.0f);
    }
  }

  void composite(Row& row) const {
    for (Channel z : channels_) buffers_.composite(z, row.writable(z));
  }

 private:
  // Every channel shares the kernel plane and the centre: one span, one weight run.
  void scatterShared(const ktSourceMap::Pixel& p, int sx, int sy, float bloom) {
    float scale[kMaxShared];
    float* colour[kMaxShared];
    for (int q = 0; q < 2; ++q) {
      if (p.kernel[q] == ktSourceMap::kNoPass) continue;
      const ktChannelFloatBuffer& kernel = bank_[p.kernel[q]];
      const int R = kernel.halfWidth;
      if (!scatter::reaches(sx, sy, R, x_, y_, r_)) continue;
      const int left = sx - R;
      const int start = std::max(left, x_);
      const int skipped = start - left;
      const int count = std::min(kernel.width - skipped, r_ - start);
      if (count < 1) continue;
      const float* plane = kernel.planes[channels_[0]].data();
      const float* k = plane + size_t(R + (sy - y_)) * size_t(kernel.width) + skipped;
      const float w = p.passWeight[q];
      for (size_t c = 0; c < channels_.size(); ++c) {
        scale[c] = scatter::scatteredValue(s_, channels_[c], colour_[c][sx], bloom) * w;
        colour[c] = buffers_.colourRows[p.slice][channels_[c]] + start;
      }
      scatterSharedRun(k, buffers_.weightRows[p.slice][channels_[0]] + start, colour, scale,
                       static_cast<int>(channels_.size()), count, w);
    }
  }

  // Each channel with its own centre and plane, exactly as the convolution core does it.
  void scatterEach(const ktSourceMap::Pixel& p, int sx, int sy, float bloom, float aberrationMatte) {
    for (size_t c = 0; c < channels_.size(); ++c) {
      const Channel z = channels_[c];
      const float d = scatter::chromaticShift(s_, z, p.size, aberrationMatte);
      const long long cx = shifted_ ? scatter::truncCoordinate(static_cast<float>(sx) + d) : sx;
      const long long cy = shifted_ ? scatter::truncCoordinate(d + static_cast<float>(sy)) : sy;
      const float v = scatter::scatteredValue(s_, z, colour_[c][sx], bloom);
      for (int q = 0; q < 2; ++q) {
        if (p.kernel[q] == ktSourceMap::kNoPass) continue;
        const scatter::Pass pass{&bank_[p.kernel[q]], p.passWeight[q]};
        scatter::scatterPass(pass, z, cx, cy, x_, y_, r_, v, buffers_.colourRows[p.slice][z],
                             buffers_.weightRows[p.slice][z]);
      }
    }
  }

  const ktRenderContext& ctx_;
  const ktOrvelSettings& s_;
  const std::vector<ktChannelFloatBuffer>& bank_;
  const ktSourceMap& map_;
  const int y_, x_, r_;
  const bool shifted_;
  const bool shared_;
  std::vector<Channel> channels_;
  std::vector<const float*> colour_;
  ktSliceBuffers buffers_;
};

}  // namespace

void fastDefocus(const ktRenderContext& ctx, const ktSourceMap& map, Iop& input, int y, int x, int r,
                 const ChannelSet& channels, Row& row) {
  if (r <= x) return;
  Row passThrough(x, r);
  passThrough.get(input, y, x, r, channels);
  row.copy(passThrough, channels, x, r);

  FastRowScatter scatter(ctx, map, y, x, r, channels & ctx.settings->activeChannels);
  const int padding = std::max(0, ctx.padding);
  for (int sy = y - padding; sy <= y + padding; ++sy) scatter.scatterSourceRow(sy);
  scatter.composite(row);
}
