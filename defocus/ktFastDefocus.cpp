#include "ktFastDefocus.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <immintrin.h>

#include "ktScatter.h"
#include "ktSliceBuffers.h"

using namespace DD::Image;

namespace {

constexpr int kMaxShared = ktSourceMap::kSharedChannels;

// One kernel row run into a shared weight row and up to four colour rows: the same additions,
// in the same order per row, as one scatterRun per channel (products and sums kept apart, never
// fused, so every variant rounds alike).
void scatterSharedRunPlain(const float* __restrict k, float* __restrict weight, float* const* colour,
                           const float* scale, int channels, int count, float weightScale) {
  for (int i = 0; i < count; ++i) weight[i] += k[i] * weightScale;
  for (int c = 0; c < channels; ++c) {
    float* __restrict out = colour[c];
    const float s = scale[c];
    for (int i = 0; i < count; ++i) out[i] += k[i] * s;
  }
}

// The same with 16 lanes at a time and a masked last step, as short kernel rows are common.
__attribute__((target("avx512f"))) void scatterSharedRunAvx512(const float* k, float* weight, float* const* colour,
                                                                 const float* scale, int channels, int count,
                                                                 float weightScale) {
  const __m512 ws = _mm512_set1_ps(weightScale);
  __m512 cs[ktSourceMap::kSharedChannels];
  for (int c = 0; c < channels; ++c) cs[c] = _mm512_set1_ps(scale[c]);
  for (int i = 0; i < count; i += 16) {
    const int left = count - i;
    const __mmask16 m = left >= 16 ? __mmask16(0xffff) : __mmask16((1u << left) - 1u);
    const __m512 t = _mm512_maskz_loadu_ps(m, k + i);
    _mm512_mask_storeu_ps(weight + i, m, _mm512_add_ps(_mm512_maskz_loadu_ps(m, weight + i), _mm512_mul_ps(t, ws)));
    for (int c = 0; c < channels; ++c) {
      float* out = colour[c] + i;
      _mm512_mask_storeu_ps(out, m, _mm512_add_ps(_mm512_maskz_loadu_ps(m, out), _mm512_mul_ps(t, cs[c])));
    }
  }
}

using SharedRun = void (*)(const float*, float*, float* const*, const float*, int, int, float);

// The widest variant this processor runs.
SharedRun sharedRunForThisProcessor() {
  return __builtin_cpu_supports("avx512f") ? scatterSharedRunAvx512 : scatterSharedRunPlain;
}

// The scatter of one output row from the map.
class FastRowScatter {
 public:
  FastRowScatter(const ktRenderContext& ctx, const ktSourceMap& map, int y, int x, int r, const ChannelSet& blurred)
      : s_(*ctx.settings),
        bank_(*ctx.kernels),
        map_(map),
        y_(y),
        x_(x),
        r_(r),
        padding_(std::max(0, ctx.padding)),
        shifted_(s_.kChrAbb != 0.0f),
        shared_(map.sharedKernels()),
        sharedRun_(sharedRunForThisProcessor()),
        buffers_(std::max(1, s_.correctiveSlices), blurred, x, r, shared_, true) {
    // Where each blurred channel's value sits among the active channels' values.
    int position = 0;
    for (Channel z : ctx.settings->activeChannels) {
      if (blurred.contains(z)) {
        channels_.push_back(z);
        valueIndex_.push_back(position);
      }
      ++position;
    }
  }

  void scatterSourceRow(int sy) {
    const int cy = map_.clampRow(sy);
    const int dy = std::abs(sy - y_);
    if (map_.rowReach(cy) < dy || channels_.empty()) return;
    const int16_t* reach = map_.reach(cy);
    const uint32_t* first = map_.first(cy);
    const int16_t* scatterReach = map_.scatterReach();
    const int16_t* blockReach = map_.blockReach(cy);
    const int left = x_ - padding_, right = r_ + padding_;
    // Whole blocks of positions whose kernels stay short of the row are passed over.
    for (int b = (left - map_.x0()) / ktSourceMap::kBlock; map_.x0() + b * ktSourceMap::kBlock < right; ++b) {
      if (blockReach[b] < dy) continue;
      const int from = std::max(left, map_.x0() + b * ktSourceMap::kBlock);
      const int to = std::min(right, map_.x0() + (b + 1) * ktSourceMap::kBlock);
      for (int sx = from; sx < to; ++sx) {
        const int most = reach[sx];
        if (most < dy || sx + most < x_ || sx - most >= r_) continue;
        for (uint32_t i = first[sx]; i < first[sx + 1]; ++i) {
          if (scatterReach[i] < dy) continue;
          if (shared_)
            scatterShared(map_.sharedScatters()[i], sx, sy);
          else
            scatterEach(i, sx, sy);
        }
      }
    }
  }

  void composite(Row& row) const {
    for (Channel z : channels_) buffers_.composite(z, row.writable(z));
  }

 private:
  // Every channel shares the kernel plane and the centre: one span, one fused run.
  void scatterShared(const ktSourceMap::SharedScatter& p, int sx, int sy) {
    float scale[kMaxShared];
    float* colour[kMaxShared];
    for (int q = 0; q < 2; ++q) {
      if (!p.kernel[q]) continue;
      const ktSourceMap::Kernel& kernel = *p.kernel[q];
      const int R = kernel.halfWidth;
      if (!scatter::reaches(sx, sy, R, x_, y_, r_)) continue;
      const int ky = R + (sy - y_);
      const ktSourceMap::Span taps = kernel.rows[ky];
      const int left = sx - R;
      const int start = std::max(left + taps.begin, x_);
      const int skipped = start - left;
      const int count = std::min(taps.end - skipped, r_ - start);
      if (count < 1) continue;
      buffers_.ensure(p.slice);
      const float w = p.passWeight[q];
      for (size_t c = 0; c < channels_.size(); ++c) {
        scale[c] = p.value[valueIndex_[c]] * w;
        colour[c] = buffers_.colourRows[p.slice][channels_[c]] + start;
      }
      sharedRun_(kernel.plane + size_t(ky) * size_t(kernel.width) + skipped,
                 buffers_.weightRows[p.slice][channels_[0]] + start, colour, scale,
                 static_cast<int>(channels_.size()), count, w);
    }
  }

  // Each channel with its own centre and plane, exactly as the convolution core does it.
  void scatterEach(uint32_t i, int sx, int sy) {
    const ktSourceMap::Scatter& p = map_.scatters()[i];
    buffers_.ensure(p.slice);
    for (size_t c = 0; c < channels_.size(); ++c) {
      const Channel z = channels_[c];
      const float d = scatter::chromaticShift(s_, z, p.size, p.aberrationMatte);
      const long long cx = shifted_ ? scatter::truncCoordinate(static_cast<float>(sx) + d) : sx;
      const long long cy = shifted_ ? scatter::truncCoordinate(d + static_cast<float>(sy)) : sy;
      const float v = map_.scattered(valueIndex_[c])[i];
      for (int q = 0; q < 2; ++q) {
        if (p.kernel[q] == ktSourceMap::kNoPass) continue;
        const scatter::Pass pass{&bank_[p.kernel[q]], p.passWeight[q]};
        scatter::scatterPass(pass, z, cx, cy, x_, y_, r_, v, buffers_.colourRows[p.slice][z],
                             buffers_.weightRows[p.slice][z]);
      }
    }
  }

  const ktOrvelSettings& s_;
  const std::vector<ktChannelFloatBuffer>& bank_;
  const ktSourceMap& map_;
  const int y_, x_, r_;
  const int padding_;
  const bool shifted_;
  const bool shared_;
  const SharedRun sharedRun_;
  std::vector<Channel> channels_;
  std::vector<int> valueIndex_;
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
