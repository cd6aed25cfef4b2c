// The deep sample walk (combineSamples) on arbitrary sample lists. Its output must equal, float
// for float, a plain recursive transcription of the walk that also records which sample each
// piece comes from; on those annotated pieces the target checks that every sample is consumed
// once (one or two pieces), that weights lie in 0 .. 1 and add up to at most 1 for sound input,
// that pieces stay inside their sample's depth range, and that pieces come out nearest first as
// far as the walk orders them (see the last check).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "DDImage/DeepPixel.h"
#include "fuzzInput.h"
#include "ktCombineSamples.h"

using namespace DD::Image;

namespace {

constexpr size_t kMaxSamples = 64;
constexpr float kPointThickness = 1e-6f;
const ChannelSet kColour = ChannelSet(Chan_Red) + Chan_Green + Chan_Blue;

struct Piece {
  size_t sample;
  float front, back, weight;
  bool remainder;  // the part of a sample behind the farther samples it reached into
};

float frontOf(const DeepPixel& p, size_t i) { return p.getOrderedSample(i, Chan_DeepFront); }
float backOf(const DeepPixel& p, size_t i) { return p.getOrderedSample(i, Chan_DeepBack); }

// The walk as a recursion over ordered indices (0 farthest). A comparison with a NaN answers
// "no split, no remainder": the sample is emitted whole.
float referenceAdd(const DeepPixel& p, std::vector<Piece>& out, size_t& index) {
  const size_t i = index;
  const float f = frontOf(p, i);
  const float b = backOf(p, i);
  const float t = b - f;
  if (!(t >= kPointThickness) || i == 0) {
    out.push_back({i, f, b, 1.0f, false});
    return b;
  }
  const float g = frontOf(p, i - 1);
  if (!(b > g)) {
    out.push_back({i, f, b, 1.0f, false});
    return b;
  }
  out.push_back({i, f, g, (g - f) / t, false});
  --index;
  const float r = referenceAdd(p, out, index);
  if (b > r) out.push_back({i, r, b, (b - r) / t, true});
  return b;
}

std::vector<Piece> referenceWalk(const DeepPixel& p) {
  std::vector<Piece> out;
  const size_t n = p.getSampleCount();
  if (n == 0) return out;
  size_t index = n - 1;
  for (;;) {
    referenceAdd(p, out, index);
    if (index == 0) return out;
    --index;
  }
}

// The floats a piece holds, channel by channel in ascending id.
void layOutPiece(const DeepPixel& p, const ChannelSet& channels, const Piece& piece,
                 std::vector<float>& out) {
  for (Channel z : channels) {
    if (z == Chan_Z || z == Chan_DeepFront)
      out.push_back(piece.front);
    else if (z == Chan_DeepBack)
      out.push_back(piece.back);
    else
      out.push_back(p.getOrderedSample(piece.sample, z) * piece.weight);
  }
}

bool sameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  uint32_t x, y;
  std::memcpy(&x, &a, 4);
  std::memcpy(&y, &b, 4);
  return x == y;
}

// Farthest first by front depth, NaN fronts last, so that the ordered access sees sorted input.
void sortFarthestFirst(std::vector<float>& data, size_t stride, int frontColumn, size_t n) {
  std::vector<std::vector<float>> samples(n);
  for (size_t i = 0; i < n; ++i)
    samples[i].assign(data.begin() + i * stride, data.begin() + (i + 1) * stride);
  std::stable_sort(samples.begin(), samples.end(),
                   [&](const std::vector<float>& a, const std::vector<float>& b) {
                     const float fa = a[frontColumn], fb = b[frontColumn];
                     if (std::isnan(fa) || std::isnan(fb)) return !std::isnan(fa) && std::isnan(fb);
                     return fa > fb;
                   });
  for (size_t i = 0; i < n; ++i) std::copy(samples[i].begin(), samples[i].end(), data.begin() + i * stride);
}

// The ordered samples and the pieces, for the report of a violated property.
void dump(const DeepPixel& p, const std::vector<Piece>& pieces) {
  for (size_t i = 0; i < p.getSampleCount(); ++i)
    std::fprintf(stderr, "sample %zu: front %.9g back %.9g\n", i, double(frontOf(p, i)),
                 double(backOf(p, i)));
  for (const Piece& q : pieces)
    std::fprintf(stderr, "piece of %zu: front %.9g back %.9g weight %.9g%s\n", q.sample, double(q.front),
                 double(q.back), double(q.weight), q.remainder ? " (remainder)" : "");
}

std::vector<fuzz::Writer> seeds() {
  std::vector<fuzz::Writer> out;
  // Flags: bit 0 stored farthest first, 1 Z, 2 green and blue, 3 sort before walking.
  // Per sample: front in 0 .. 20, thickness in 0 .. 10, alpha and red in 0 .. 1.
  auto sample = [](fuzz::Writer& w, float front, float thickness, float alpha, float red) {
    w.step(front, 0, 20).step(thickness, 0, 10).step(alpha, 0, 1).step(red, 0, 1);
  };
  {
    fuzz::Writer w;  // two overlapping samples, farthest first
    w.byte(0x09).byte(2);
    sample(w, 3, 3, 1, 0.5f);
    sample(w, 1, 7, 0.5f, 1);
    out.push_back(w);
  }
  {
    fuzz::Writer w;  // a chain of three with Z, sorted by the target
    w.byte(0x0f).byte(3);
    sample(w, 1, 8, 0.5f, 0.2f);
    sample(w, 2, 3, 1, 0.7f);
    sample(w, 4, 1, 0.3f, 1);
    out.push_back(w);
  }
  {
    fuzz::Writer w;  // points and a NaN front
    w.byte(0x01).byte(3);
    sample(w, 5, 0, 1, 1);
    w.exact(std::numeric_limits<float>::quiet_NaN()).step(1, 0, 10).step(1, 0, 1).step(1, 0, 1);
    sample(w, 2, 0, 0.5f, 0.5f);
    out.push_back(w);
  }
  {
    fuzz::Writer w;  // one sample, stored nearest first
    w.byte(0x08).byte(1);
    sample(w, 10, 2, 1, 1);
    out.push_back(w);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::writeSeedsIfAsked(argc, argv, seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const uint8_t flags = in.byte();
  const bool farthestFirst = (flags & 1) != 0;
  const bool sortFirst = (flags & 8) != 0;
  ChannelSet channels = ChannelSet(Chan_Red) + Chan_Alpha + Chan_DeepFront + Chan_DeepBack;
  if (flags & 2) channels += Chan_Z;
  if (flags & 4) channels += kColour;
  const ChannelMap map(channels);
  const size_t stride = size_t(map.size());
  const size_t n = std::min<size_t>(in.byte(), kMaxSamples);

  std::vector<float> samples(n * stride, 0.0f);
  for (size_t i = 0; i < n; ++i) {
    float* s = samples.data() + i * stride;
    const float front = in.value(0.0f, 20.0f);
    const float thickness = in.value(0.0f, 10.0f);
    s[map.chanNo(Chan_DeepFront)] = front;
    s[map.chanNo(Chan_DeepBack)] = front + thickness;
    s[map.chanNo(Chan_Alpha)] = in.value(0.0f, 1.0f);
    s[map.chanNo(Chan_Red)] = in.value(0.0f, 1.0f);
    if (map.chanNo(Chan_Z) >= 0) s[map.chanNo(Chan_Z)] = in.value(0.0f, 20.0f);
    for (Channel z : kColour)
      if (map.chanNo(z) >= 0) s[map.chanNo(z)] = in.value(0.0f, 1.0f);
  }
  if (sortFirst) {
    sortFarthestFirst(samples, stride, map.chanNo(Chan_DeepFront), n);
    // Stored nearest first, the same order reads back reversed.
    if (!farthestFirst)
      for (size_t i = 0; i < n / 2; ++i)
        std::swap_ranges(samples.begin() + i * stride, samples.begin() + (i + 1) * stride,
                         samples.begin() + (n - 1 - i) * stride);
  }
  const DeepPixel pixel(map, samples.data(), n * map.size(),
                        farthestFirst ? DeepPixel::eZDescending : DeepPixel::eZAscending);

  DeepOutPixel out;
  combineSamples(channels, pixel, out);

  // The walk equals its recursive transcription.
  const std::vector<Piece> pieces = referenceWalk(pixel);
  std::vector<float> expected;
  for (const Piece& p : pieces) layOutPiece(pixel, channels, p, expected);
  if (std::getenv("ORVEL_FUZZ_DUMP")) dump(pixel, pieces);
  FUZZ_CHECK(out.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i) FUZZ_CHECK(sameFloat(out.data()[i], expected[i]));

  // Every sample consumed once: whole, or cut into at most two pieces.
  std::vector<int> piecesOf(n, 0);
  for (const Piece& p : pieces) {
    FUZZ_CHECK(p.sample < n);
    ++piecesOf[p.sample];
  }
  for (size_t i = 0; i < n; ++i) FUZZ_CHECK(piecesOf[i] >= 1 && piecesOf[i] <= 2);
  FUZZ_CHECK(pieces.size() <= 2 * n);

  // Sorted: no NaN depth, fronts farthest first. Sound: sorted, finite, back not before front.
  bool sorted = true, sound = true;
  for (size_t i = 0; i < n; ++i) {
    const float f = frontOf(pixel, i), b = backOf(pixel, i);
    if (std::isnan(f) || std::isnan(b)) sorted = false;
    if (!std::isfinite(f) || !std::isfinite(b) || b < f) sound = false;
    if (i > 0 && !(frontOf(pixel, i - 1) >= f)) sorted = false;
  }
  sound = sound && sorted;
  if (sound) {
    std::vector<float> share(n, 0.0f);
    for (const Piece& p : pieces) {
      FUZZ_CHECK(p.weight >= 0.0f && p.weight <= 1.0f);
      FUZZ_CHECK(p.front >= frontOf(pixel, p.sample) && p.back <= backOf(pixel, p.sample));
      FUZZ_CHECK(p.front <= p.back);
      share[p.sample] += p.weight;
    }
    for (size_t i = 0; i < n; ++i) FUZZ_CHECK(share[i] <= 1.0f + 1e-5f);
  }
  // Nearest first, as far as the walk orders pieces: those that start where their sample starts
  // come out in order of depth, so without remainders every front follows the last. A remainder
  // resumes behind the next farther sample only, after the farther pieces of its chain, and may
  // start in front of them.
  if (sound) {
    float leading = -fuzz::kInfinity;
    for (const Piece& p : pieces) {
      if (p.remainder) continue;
      FUZZ_CHECK(p.front >= leading);
      leading = p.front;
    }
  }
  return 0;
}
