#include "ktStretchSweep.h"

#include <algorithm>

#include <immintrin.h>

namespace {

// The stretch in one sweep of 16-column blocks, two side by side: per column the members are
// added in order, each its first pass then its second, exactly as one scatter after the other;
// the blocks visit only the members whose taps reach them, and share each member's scales.
template <int kChannels>
__attribute__((target("avx512f"))) void sweepBlocks(const StretchRow& row, float* weight, float* const* colourIn) {
  constexpr int kBlocks = 2, kSpan = 16 * kBlocks;
  // Local copies: the stores into the rows below cannot touch them, so they stay in registers.
  const StretchRow s = row;
  float* colour[kChannels];
  for (int c = 0; c < kChannels; ++c) colour[c] = colourIn[c];
  const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  for (int X = s.start; X < s.end; X += kSpan) {
    __mmask16 all[kBlocks];
    __m512i column[kBlocks];
    __m512 w[kBlocks];
    __m512 v[kBlocks][kChannels];
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = X + 16 * b, remaining = s.end - bx;
      all[b] = remaining >= 16 ? __mmask16(0xffff) : remaining <= 0 ? __mmask16(0) : __mmask16((1u << remaining) - 1u);
      column[b] = _mm512_add_epi32(_mm512_set1_epi32(bx), lanes);
      w[b] = _mm512_maskz_loadu_ps(all[b], weight + bx);
      for (int c = 0; c < kChannels; ++c) v[b][c] = _mm512_maskz_loadu_ps(all[b], colour[c] + bx);
    }
    // The members whose taps of some pass reach columns X .. X + kSpan - 1.
    int from = s.count, to = 0;
    for (int p = 0; p < s.passes; ++p) {
      from = std::min(from, std::max(0, X - s.sx0 - s.hi[p] + 1));
      to = std::max(to, std::min(s.count, X + kSpan - s.sx0 - s.lo[p]));
    }
    for (int j = from; j < to; ++j) {
      const ktSourceMap::Scales& m = s.members[j];
      for (int p = 0; p < s.passes; ++p) {
        const int lo = std::max(s.sx0 + j + s.lo[p], s.x), hi = std::min(s.sx0 + j + s.hi[p], s.r);
        if (hi <= X || lo >= X + kSpan) continue;
        const int q = s.pass[p];
        const __m512 ws = _mm512_set1_ps(m.passWeight[q]);
        __m512 scale[kChannels];
        for (int c = 0; c < kChannels; ++c) scale[c] = _mm512_set1_ps(m.scale[q][s.index[c]]);
        const float* taps = s.taps[p] + (X - (s.sx0 + j - s.halfWidth[p]));
        for (int b = 0; b < kBlocks; ++b) {
          const int bx = X + 16 * b;
          if (hi <= bx || lo >= bx + 16) continue;
          // Lanes outside the member's taps read zeros from a padded row, or are masked.
          const __mmask16 inside =
              s.padded[p] || (lo <= bx && hi >= bx + 16)
                  ? all[b]
                  : __mmask16(_mm512_mask_cmpge_epi32_mask(all[b], column[b], _mm512_set1_epi32(lo)) &
                              _mm512_cmplt_epi32_mask(column[b], _mm512_set1_epi32(hi)));
          const __m512 t = _mm512_maskz_loadu_ps(inside, taps + 16 * b);
          w[b] = _mm512_add_ps(w[b], _mm512_mul_ps(t, ws));
          for (int c = 0; c < kChannels; ++c) v[b][c] = _mm512_add_ps(v[b][c], _mm512_mul_ps(t, scale[c]));
        }
      }
    }
    for (int b = 0; b < kBlocks; ++b) {
      const int bx = X + 16 * b;
      _mm512_mask_storeu_ps(weight + bx, all[b], w[b]);
      for (int c = 0; c < kChannels; ++c) _mm512_mask_storeu_ps(colour[c] + bx, all[b], v[b][c]);
    }
  }
}

}  // namespace

// The channel count fixed at compile time keeps every accumulator in a register.
__attribute__((target("avx512f"))) void sweepStretchAvx512(const StretchRow& s, int channels, float* weight,
                                                             float* const* colour) {
  switch (channels) {
    case 1: return sweepBlocks<1>(s, weight, colour);
    case 2: return sweepBlocks<2>(s, weight, colour);
    case 3: return sweepBlocks<3>(s, weight, colour);
    default: return sweepBlocks<4>(s, weight, colour);
  }
}

// Member pass by member pass.
void sweepStretchPlain(const StretchRow& s, int channels, float* weight, float* const* colour) {
  for (int j = 0; j < s.count; ++j)
    for (int p = 0; p < s.passes; ++p) {
      const int lo = std::max(s.sx0 + j + s.lo[p], s.x), hi = std::min(s.sx0 + j + s.hi[p], s.r);
      if (hi <= lo) continue;
      const ktSourceMap::Scales& m = s.members[j];
      const int q = s.pass[p];
      float scale[ktSourceMap::kSharedChannels];
      for (int c = 0; c < channels; ++c) scale[c] = m.scale[q][s.index[c]];
      scatterSharedRunPlain(s.taps[p] + (lo - (s.sx0 + j - s.halfWidth[p])), weight + lo, colour, scale, channels,
                            hi - lo, m.passWeight[q], lo);
    }
}

StretchSweep stretchSweepForThisProcessor() {
  return __builtin_cpu_supports("avx512f") ? sweepStretchAvx512 : sweepStretchPlain;
}
