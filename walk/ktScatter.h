// The scatter rule both engines share: which kernels and shares a blur size takes, the bloom
// light and chromatic shift of a channel, and the spread of one channel into one row. The fast
// engine's vector sweeps add the same taps in other orders (and may fuse multiply-adds), so its
// rows agree with these within rounding, not bit for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "DDImage/Channel.h"
#include "DDImage/Format.h"
#include "ktChannelFloatBuffer.h"
#include "ktDepthToCoc.h"
#include "ktOrvelSettings.h"

namespace scatter {

using DD::Image::Channel;

// One of the (at most two) kernels a source pixel is spread with.
struct Pass {
  const ktChannelFloatBuffer* kernel;
  float weight;
};

// Side of bank entry k: 1, 1, 1, 3, 3, 5, 5, ...
inline int bankWidth(int k) { return std::max(1, (k % 2) != 0 ? k : k - 1); }

// A bank index made safe: 0 (a width-1 kernel, like 1) becomes 1, past the end the last entry.
inline int clampKernelIndex(int k, int n) {
  if (k == 0) k = 1;
  return k >= n ? n - 1 : k;
}

// Extra bloom level of a source pixel: `bloom` scaled by the radial falloff from the frame
// centre (0 there, 1 at the middle of each edge), or uniform when the curvature is not positive.
inline float bloomLevel(const ktOrvelSettings& s, const DD::Image::Format& format, int bloomX, int bloomY) {
  if (!(s.bloom > 0.0f)) return 0.0f;
  if (s.bloomCurvature <= 0.0f) return s.bloom;
  const float halfW = static_cast<float>(format.r() - format.x()) / 2.0f;
  const float halfH = static_cast<float>(format.t() - format.y()) / 2.0f;
  const float dx = std::fabs(static_cast<float>(bloomX) - halfW) / halfW;
  const float dy = std::fabs(static_cast<float>(bloomY) - halfH) / halfH;
  float f = std::pow(std::sqrt(dx * dx + dy * dy), s.bloomCurvature + 0.001f);
  f = f > 1.0f ? 1.0f : (f > 0.0f ? f : 0.0f);
  return s.bloom * f;
}

// The one or two kernels and their shares for a blur of `size` pixels: the kernels of the two
// nearest odd widths, blended linearly; sizes outside the bank use the last kernel alone.
inline int choosePasses(const std::vector<ktChannelFloatBuffer>& bank, float size, float weight, Pass passes[2]) {
  const int n = static_cast<int>(bank.size());
  const float lower = std::floor(size);
  int k[2];
  float fraction[2];
  int count;
  if (lower >= 0.0f && lower < static_cast<float>(n)) {
    const int k0 = static_cast<int>(lower);
    fraction[0] = 1.0f - (size - static_cast<float>(bankWidth(k0))) * 0.5f;
    fraction[1] = 1.0f - fraction[0];
    k[0] = clampKernelIndex(k0, n);
    k[1] = clampKernelIndex(k[0] + 2, n);
    count = 2;
  } else {
    k[0] = n - 1;
    fraction[0] = 1.0f;
    count = 1;
  }
  int used = 0;
  for (int p = 0; p < count; ++p) {
    const float w = fraction[p] * weight;
    if (w <= 0.0f) continue;
    passes[used++] = {&bank[k[p]], w};
  }
  return used;
}

// How far a pixel's kernel spreads the chromatic shift: none up to a blur of two pixels, then
// growing with the blur (its size times the aberration matte).
inline float aberrationSpread(float size, float aberrationMatte) {
  return std::max(0.0f, size * aberrationMatte * 0.5f - 1.0f);
}

// Displacement of channel z's kernel centre along the diagonal for chromatic aberration, at an
// aberration spread of `spread`; at a spread of 1 it is the shift per unit of spread.
inline float chromaticShiftAt(const ktOrvelSettings& s, Channel z, float spread) {
  const float a = s.kChrAbb;
  if (a == 0.0f) return 0.0f;
  float offset = 0.0f;
  if (z == DD::Image::Chan_Red)
    offset = std::fabs(s.kChrAbbOff[0] * a);
  else if (a > 0.0f && z == DD::Image::Chan_Green)
    offset = std::fabs(s.kChrAbbOff[1] * a);
  else if (a < 0.0f && z == DD::Image::Chan_Blue)
    offset = std::fabs(s.kChrAbbOff[2] * a);
  return (offset - 0.5f * std::fabs(a)) * spread * 0.1f;
}

// The same for a kernel of blur `size`.
inline float chromaticShift(const ktOrvelSettings& s, Channel z, float size, float aberrationMatte) {
  return chromaticShiftAt(s, z, aberrationSpread(size, aberrationMatte));
}

// Truncates toward zero, keeping far-off (or not-a-number) centres representable; they fail the
// reach test anyway.
inline long long truncCoordinate(float v) {
  constexpr float kLimit = 1.0e15f;
  if (!(v > -kLimit)) return -static_cast<long long>(kLimit);
  if (!(v < kLimit)) return static_cast<long long>(kLimit);
  return static_cast<long long>(v);
}

// Whether a kernel of half width R centred at (cx, cy) touches row rowY within rowX .. rowR-1.
inline bool reaches(long long cx, long long cy, int R, int rowX, int rowY, int rowR) {
  return std::llabs(cy - rowY) <= R && cx - rowR <= R && rowX - cx <= R;
}

// Value scattered for channel z: colour channels carry the bloom light, alone for "Lens Bloom".
inline float scatteredValue(const ktOrvelSettings& s, Channel z, float v, float bloomAmount) {
  if (z < DD::Image::Chan_Red || z > DD::Image::Chan_Blue) return v;
  const float light = std::max(0.0f, v - s.bloomThreshold) * bloomAmount;
  return s.outputType == kLensBloom ? light : light + v;
}

// Where a kernel of width wk (half width R) centred at (cx, cy) lands in row rowY, within
// rowX .. rowR-1: `count` columns from `start`, read from tap `skipped` of kernel row `row`.
struct TapSpan {
  int row, start, skipped, count;
};
inline bool tapSpan(long long cx, long long cy, int R, int wk, int rowX, int rowY, int rowR, TapSpan& out) {
  if (!reaches(cx, cy, R, rowX, rowY, rowR)) return false;
  const int left = static_cast<int>(cx) - R;
  out.row = R + (static_cast<int>(cy) - rowY);
  out.start = std::max(left, rowX);
  out.skipped = out.start - left;
  out.count = std::min(wk - out.skipped, rowR - out.start);
  return out.count >= 1;
}

// Adds `count` taps times `scale` into `row`.
template <class Sum>
inline void addTaps(const float* __restrict k, int count, Sum scale, Sum* __restrict row) {
  for (int i = 0; i < count; ++i) row[i] += Sum(k[i]) * scale;
}

// Adds one pass of channel z, centred at (cx, cy), into the slice's rows over the covered span.
// Sums of float rows add float products; double rows (the straightforward engine's) add the
// exact products of the taps and scales.
template <class Sum>
inline void scatterPass(const Pass& pass, Channel z, long long cx, long long cy, int rowX, int rowY, int rowR,
                        float v, Sum* colour, Sum* weights) {
  const ktChannelFloatBuffer& kernel = *pass.kernel;
  const int wk = kernel.width;
  TapSpan span;
  if (!tapSpan(cx, cy, kernel.halfWidth, wk, rowX, rowY, rowR, span)) return;

  // A channel the kernel was not built for has no plane to read.
  if (static_cast<size_t>(z) >= kernel.planes.size()) return;
  const std::vector<float>& plane = kernel.plane(z);
  if (plane.size() < static_cast<size_t>(wk) * static_cast<size_t>(wk)) return;

  // The hot loop: one kernel row segment into one colour and one weight row segment.
  const float* __restrict k = plane.data() + static_cast<size_t>(span.row) * wk + span.skipped;
  Sum* __restrict c = colour + span.start;
  Sum* __restrict w = weights + span.start;
  const Sum colourScale = v * pass.weight, weightScale = pass.weight;
  for (int i = 0; i < span.count; ++i) {
    c[i] += Sum(k[i]) * colourScale;
    w[i] += Sum(k[i]) * weightScale;
  }
}

// Spreads value v of channel z with its passes into one row, centred on (sx, sy) moved along the
// diagonal by the chromatic shift.
template <class Sum>
inline void spreadChannel(const ktOrvelSettings& s, const Pass* passes, int passCount, Channel z, int sx, int sy,
                          float size, float aberrationMatte, float v, int rowX, int rowY, int rowR, Sum* colour,
                          Sum* weights) {
  const bool shifted = s.kChrAbb != 0.0f;
  const float d = chromaticShift(s, z, size, aberrationMatte);
  const long long cx = shifted ? truncCoordinate(static_cast<float>(sx) + d) : sx;
  const long long cy = shifted ? truncCoordinate(d + static_cast<float>(sy)) : sy;
  for (int p = 0; p < passCount; ++p) scatterPass(passes[p], z, cx, cy, rowX, rowY, rowR, v, colour, weights);
}

// Blur diameter of a pixel: its coc scaled by the defocus matte, never below one pixel (a NaN
// stays NaN, which the scatter treats as the largest kernel).
inline float kernelSize(float coc, float defocusMatte) {
  const float size = coc * defocusMatte;
  return size < 1.0f ? 1.0f : size;
}

}  // namespace scatter
