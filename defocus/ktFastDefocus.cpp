#include "ktFastDefocus.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <immintrin.h>

#include "ktScatter.h"
#include "ktSliceBuffers.h"
#include "ktStretchSweep.h"

using namespace DD::Image;

namespace {

constexpr int kMaxShared = ktSourceMap::kSharedChannels;

// One pass of a scatter over one output row: its kernel row and the output columns its non-zero
// taps cover, with the weight share and the per-channel scales.
struct PassRun {
  const float* taps;  // tap for output column x: taps[x - left]
  int left;
  int begin, end;
  float weightScale;
  float scale[ktSourceMap::kSharedChannels];
};

// Runs of consecutive scatters (each its first pass, then its second) in one sweep over the
// output columns, 16 at a time with masked edges: per column the runs are added in their order,
// as one by one, and a column outside a run's taps adds nothing (a zero tap times a finite
// scale). Each column is loaded and stored once for all the runs.
// Blocks of 16 columns side by side: each accumulator's additions run one after the other, so
// independent blocks side by side keep the vector unit busy.
template <int kChannels>
__attribute__((target("avx512f"))) void sweepAvx512(const PassRun* runs, int runCount, int start, int end,
                                                      float* weight, float* const* colour) {
  constexpr int kBlocks = 2;
  const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  for (int x = start; x < end; x += 16 * kBlocks) {
    __mmask16 all[kBlocks];
    __m512i column[kBlocks];
    __m512 w[kBlocks];
    __m512 v[kBlocks][kChannels];
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = x + 16 * b;
      const int left = end - bx;
      all[b] = left >= 16 ? __mmask16(0xffff) : left <= 0 ? __mmask16(0) : __mmask16((1u << left) - 1u);
      column[b] = _mm512_add_epi32(_mm512_set1_epi32(bx), lanes);
      w[b] = _mm512_maskz_loadu_ps(all[b], weight + bx);
      for (int c = 0; c < kChannels; ++c) v[b][c] = _mm512_maskz_loadu_ps(all[b], colour[c] + bx);
    }
    for (int p = 0; p < runCount; ++p) {
      const PassRun& run = runs[p];
      if (run.end <= x || run.begin >= x + 16 * kBlocks) continue;
      const __m512i begin = _mm512_set1_epi32(run.begin);
      const __m512i stop = _mm512_set1_epi32(run.end);
      const __m512 ws = _mm512_set1_ps(run.weightScale);
      for (int b = 0; b < kBlocks; ++b) {
        const __mmask16 inside =
            _mm512_mask_cmpge_epi32_mask(all[b], column[b], begin) & _mm512_cmplt_epi32_mask(column[b], stop);
        const __m512 t = _mm512_maskz_loadu_ps(inside, run.taps + (x + 16 * b - run.left));
        w[b] = _mm512_add_ps(w[b], _mm512_mul_ps(t, ws));
        for (int c = 0; c < kChannels; ++c)
          v[b][c] = _mm512_add_ps(v[b][c], _mm512_mul_ps(t, _mm512_set1_ps(run.scale[c])));
      }
    }
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = x + 16 * b;
      _mm512_mask_storeu_ps(weight + bx, all[b], w[b]);
      for (int c = 0; c < kChannels; ++c) _mm512_mask_storeu_ps(colour[c] + bx, all[b], v[b][c]);
    }
  }
}

// The channel count fixed at compile time keeps every accumulator in a register.
__attribute__((target("avx512f"))) void scatterPassesAvx512(const PassRun* runs, int runCount, int start, int end,
                                                              float* weight, float* const* colour, int channels) {
  switch (channels) {
    case 1: return sweepAvx512<1>(runs, runCount, start, end, weight, colour);
    case 2: return sweepAvx512<2>(runs, runCount, start, end, weight, colour);
    case 3: return sweepAvx512<3>(runs, runCount, start, end, weight, colour);
    default: return sweepAvx512<4>(runs, runCount, start, end, weight, colour);
  }
}

// The same pass by pass, for processors without 16-lane vectors.
void scatterPassesPlain(const PassRun* runs, int runCount, int, int, float* weight, float* const* colour,
                        int channels) {
  for (int p = 0; p < runCount; ++p) {
    const PassRun& run = runs[p];
    const float* k = run.taps + (run.begin - run.left);
    scatterSharedRunPlain(k, weight + run.begin, colour, run.scale, channels, run.end - run.begin, run.weightScale,
                          run.begin);
  }
}

using PassesRun = void (*)(const PassRun*, int, int, int, float*, float* const*, int);

// The widest variant this processor runs.
PassesRun passesRunForThisProcessor() {
  return __builtin_cpu_supports("avx512f") ? scatterPassesAvx512 : scatterPassesPlain;
}

// The scatter of one output row from the map.
class FastRowScatter {
 public:
  FastRowScatter(const ktRenderContext& ctx, const ktSourceBands& bands, const ktSourceBands::Window& window, int y,
                 int x, int r, const ChannelSet& blurred)
      : s_(*ctx.settings),
        bank_(*ctx.kernels),
        bands_(bands),
        kernels_(bands.kernelRows()),
        window_(window),
        y_(y),
        x_(x),
        r_(r),
        padding_(std::max(0, ctx.padding)),
        shifted_(s_.kChrAbb != 0.0f),
        shared_(kernels_.shared()),
        passesRun_(passesRunForThisProcessor()),
        stretchSweep_(stretchSweepForThisProcessor()),
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
    const int cy = bands_.clampRow(sy);
    map_ = &window_.band(cy);
    const int dy = std::abs(sy - y_);
    if (map_->rowReach(cy) < dy || channels_.empty()) return;
    if (map_->hasStretches()) {
      scatterStretches(sy, cy, dy);
      return;
    }
    const int16_t* reach = map_->reach(cy);
    const uint32_t* first = map_->first(cy);
    const int16_t* scatterReach = map_->scatterReach();
    const int16_t* blockReach = map_->blockReach(cy);
    const int left = x_ - padding_, right = r_ + padding_;
    // Whole blocks of positions whose kernels stay short of the row are passed over.
    const int x0 = map_->x0();
    for (int b = (left - x0) / ktSourceMap::kBlock; x0 + b * ktSourceMap::kBlock < right; ++b) {
      if (blockReach[b] < dy) continue;
      const int from = std::max(left, x0 + b * ktSourceMap::kBlock);
      const int to = std::min(right, x0 + (b + 1) * ktSourceMap::kBlock);
      for (int sx = from; sx < to; ++sx) {
        const int most = reach[sx];
        if (most < dy || sx + most < x_ || sx - most >= r_) continue;
        for (uint32_t i = first[sx]; i < first[sx + 1]; ++i) {
          if (scatterReach[i] < dy) continue;
          if (shared_)
            scatterShared(map_->sharedScatters()[i], sx, sy);
          else
            scatterEach(i, sx, sy);
        }
      }
    }
    flush();
  }

  // The stretches of a flat row in column order, each clipped to the source window.
  void scatterStretches(int sy, int cy, int dy) {
    const int left = x_ - padding_, right = r_ + padding_;
    for (const ktSourceMap::Stretch* st = map_->stretchesBegin(cy); st != map_->stretchesEnd(cy); ++st) {
      if (st->reach < dy) continue;
      const int from = std::max(st->sx0, left), to = std::min(st->sx0 + st->count, right);
      if (to <= from || to - 1 + st->reach < x_ || from - st->reach >= r_) continue;
      const ktSourceMap::Scales* members = map_->memberScales() + st->first + (from - st->sx0);
      if (!st->finite) {
        ktSourceMap::SharedScatter alone;
        static_cast<ktSourceMap::Scales&>(alone) = members[0];
        alone.kernel[0] = st->kernel[0];
        alone.kernel[1] = st->kernel[1];
        alone.slice = st->slice;
        alone.finite = false;
        scatterShared(alone, from, sy);
        flush();
        continue;
      }
      sweepStretch(*st, members, from, to - from, sy);
    }
  }

  void sweepStretch(const ktSourceMap::Stretch& stretch, const ktSourceMap::Scales* members, int sx0, int count,
                    int sy) {
    // The passes that reach the row, the same for every member.
    StretchRow s;
    s.members = members;
    s.count = count;
    s.passes = 0;
    s.sx0 = sx0;
    s.x = x_;
    s.r = r_;
    s.start = r_;
    s.end = x_;
    for (int q = 0; q < 2; ++q) {
      const ktKernelRows::Kernel* kernel = kernelOf(stretch.kernel[q]);
      if (!kernel || std::abs(sy - y_) > kernel->halfWidth) continue;
      const int ky = kernel->halfWidth + (sy - y_);
      const ktKernelRows::Span span = kernel->rows[ky];
      if (span.end <= span.begin) continue;  // a row of zero taps adds nothing
      const int p = s.passes++;
      s.pass[p] = q;
      s.halfWidth[p] = kernel->halfWidth;
      s.padded[p] = kernel->padded != nullptr;
      s.taps[p] = s.padded[p] ? kernel->padded + size_t(ky) * size_t(kernel->paddedStride)
                              : kernel->plane + size_t(ky) * size_t(kernel->width);
      s.lo[p] = span.begin - kernel->halfWidth;
      s.hi[p] = span.end - kernel->halfWidth;
      s.start = std::min(s.start, std::max(sx0 + s.lo[p], x_));
      s.end = std::max(s.end, std::min(sx0 + count - 1 + s.hi[p], r_));
    }
    if (s.end <= s.start) return;
    for (size_t c = 0; c < channels_.size(); ++c) s.index[c] = valueIndex_[c];
    const uint16_t slice = stretch.slice;
    buffers_.ensure(slice);
    float* colour[kMaxShared];
    for (size_t c = 0; c < channels_.size(); ++c) colour[c] = buffers_.colourRows[slice][channels_[c]];
    stretchSweep_(s, static_cast<int>(channels_.size()), buffers_.weightRows[slice][channels_[0]], colour);
  }

  void composite(Row& row) const {
    for (Channel z : channels_) buffers_.composite(z, row.writable(z));
  }

 private:
  // The kernel of a bank entry, or null for a pass not used.
  const ktKernelRows::Kernel* kernelOf(uint16_t entry) const {
    return entry == ktSourceMap::kNoPass ? nullptr : &kernels_.kernel(entry);
  }

  // Every channel shares the kernel plane and the centre: the non-zero taps of both passes. A
  // scatter joins the group of consecutive scatters with the same kernels and slice, which are
  // added in one sweep. Non-finite values keep every tap (a zero tap times them is not zero) and
  // go alone, pass by pass.
  void scatterShared(const ktSourceMap::SharedScatter& p, int sx, int sy) {
    PassRun runs[2];
    int count = 0;
    for (int q = 0; q < 2; ++q) {
      if (p.kernel[q] == ktSourceMap::kNoPass) continue;
      const ktKernelRows::Kernel& kernel = kernels_.kernel(p.kernel[q]);
      const int R = kernel.halfWidth;
      if (!scatter::reaches(sx, sy, R, x_, y_, r_)) continue;
      const int ky = R + (sy - y_);
      const ktKernelRows::Span taps = p.finite ? kernel.rows[ky] : ktKernelRows::Span{0, uint16_t(kernel.width)};
      const int left = sx - R;
      PassRun& run = runs[count];
      run.begin = std::max(left + taps.begin, x_);
      run.end = std::min(left + taps.end, r_);
      if (run.end <= run.begin) continue;
      run.taps = kernel.plane + size_t(ky) * size_t(kernel.width);
      run.left = left;
      run.weightScale = p.passWeight[q];
      for (size_t c = 0; c < channels_.size(); ++c) run.scale[c] = p.scale[q][valueIndex_[c]];
      ++count;
    }
    if (count == 0) return;
    const bool sameGroup = groupRuns_ > 0 && p.finite && group_.slice == p.slice &&
                           group_.kernel[0] == p.kernel[0] && group_.kernel[1] == p.kernel[1] &&
                           groupRuns_ + count <= kGroupRuns;
    if (!sameGroup) flush();
    group_ = p;
    for (int q = 0; q < count; ++q) {
      groupStart_ = groupRuns_ == 0 ? runs[q].begin : std::min(groupStart_, runs[q].begin);
      groupEnd_ = groupRuns_ == 0 ? runs[q].end : std::max(groupEnd_, runs[q].end);
      groupRun_[groupRuns_++] = runs[q];
    }
    if (!p.finite) flush();
  }

  // Adds the pending group into its slice.
  void flush() {
    if (groupRuns_ == 0) return;
    buffers_.ensure(group_.slice);
    float* colour[kMaxShared];
    for (size_t c = 0; c < channels_.size(); ++c) colour[c] = buffers_.colourRows[group_.slice][channels_[c]];
    float* weight = buffers_.weightRows[group_.slice][channels_[0]];
    const int channels = static_cast<int>(channels_.size());
    if (group_.finite)
      passesRun_(groupRun_, groupRuns_, groupStart_, groupEnd_, weight, colour, channels);
    else
      scatterPassesPlain(groupRun_, groupRuns_, groupStart_, groupEnd_, weight, colour, channels);
    groupRuns_ = 0;
  }

  // Each channel with its own centre and plane, exactly as the convolution core does it.
  void scatterEach(uint32_t i, int sx, int sy) {
    const ktSourceMap::Scatter& p = map_->scatters()[i];
    buffers_.ensure(p.slice);
    for (size_t c = 0; c < channels_.size(); ++c) {
      const Channel z = channels_[c];
      const float d = scatter::chromaticShift(s_, z, p.size, p.aberrationMatte);
      const long long cx = shifted_ ? scatter::truncCoordinate(static_cast<float>(sx) + d) : sx;
      const long long cy = shifted_ ? scatter::truncCoordinate(d + static_cast<float>(sy)) : sy;
      const float v = map_->scattered(valueIndex_[c])[i];
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
  const ktSourceBands& bands_;
  const ktKernelRows& kernels_;
  const ktSourceBands::Window& window_;
  const ktSourceMap* map_ = nullptr;  // the band of the source row being added
  const int y_, x_, r_;
  const int padding_;
  const bool shifted_;
  const bool shared_;
  const PassesRun passesRun_;
  const StretchSweep stretchSweep_;
  std::vector<Channel> channels_;
  std::vector<int> valueIndex_;
  ktSliceBuffers buffers_;
  // The pending group of scatters with the same kernels and slice.
  static constexpr int kGroupRuns = 16;
  ktSourceMap::SharedScatter group_{};
  PassRun groupRun_[kGroupRuns];
  int groupRuns_ = 0;
  int groupStart_ = 0, groupEnd_ = 0;
};

}  // namespace

bool fastDefocus(const ktRenderContext& ctx, ktSourceBands& bands, Iop& input, int y, int x, int r,
                 const ChannelSet& channels, Row& row) {
  if (r <= x) return true;
  const ktSourceBands::Window window(bands, y);
  if (!window.ok()) return false;
  Row passThrough(x, r);
  passThrough.get(input, y, x, r, channels);
  row.copy(passThrough, channels, x, r);

  FastRowScatter scatter(ctx, bands, window, y, x, r, channels.intersection(ctx.settings->activeChannels));
  const int padding = std::max(0, ctx.padding);
  for (int sy = y - padding; sy <= y + padding; ++sy) scatter.scatterSourceRow(sy);
  scatter.composite(row);
  return true;
}
