// The deep sample walk (combineSamples) on arbitrary sample lists. Its output must equal, float
// for float, a plain recursive transcription of the walk that also records which sample each
// piece comes from; on those pieces, for sound input (sorted, finite, back not before front):
// every sample is consumed in one or two pieces, weights lie in 0 .. 1 and add up to at most 1,
// pieces stay inside their sample, and pieces that start where their sample starts come out in
// order of depth (a remainder resumes behind the next farther sample only, and may not).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "DDImage/DeepPixel.h"
#include "fuzz_input.h"
#include "ktCombineSamples.h"

using namespace DD::Image;

namespace {

struct Piece {
  size_t sample;
  float front, back, weight;
  bool remainder;  // the part of a sample behind the farther samples it reached into
};

// The walk over ordered indices (0 farthest). A comparison with a NaN answers "no split, no
// remainder": the sample is emitted whole.
float walkFrom(const DeepPixel& p, std::vector<Piece>& out, size_t& index) {
  const size_t i = index;
  const float f = p.getOrderedSample(i, Chan_DeepFront), b = p.getOrderedSample(i, Chan_DeepBack), t = b - f;
  const float g = i > 0 ? p.getOrderedSample(i - 1, Chan_DeepFront) : 0.0f;
  if (!(t >= 1e-6f) || i == 0 || !(b > g)) {
    out.push_back({i, f, b, 1.0f, false});
    return b;
  }
  out.push_back({i, f, g, (g - f) / t, false});
  --index;
  const float r = walkFrom(p, out, index);
  if (b > r) out.push_back({i, r, b, (b - r) / t, true});
  return b;
}

std::vector<fuzz::Writer> seeds() {
  // Flags: bit 0 stored farthest first, 1 Z, 2 green and blue, 3 sort before walking. Per
  // sample: front in 0 .. 20, thickness in 0 .. 10, alpha and red in 0 .. 1.
  std::vector<fuzz::Writer> out(4);
  const auto sample = [](fuzz::Writer& w, float front, float thickness, float alpha, float red) {
    w.step(front, 0, 20).step(thickness, 0, 10).step(alpha, 0, 1).step(red, 0, 1);
  };
  sample(out[0].byte(0x09).byte(2), 3, 3, 1, 0.5f);  // two overlapping samples
  sample(out[0], 1, 7, 0.5f, 1);
  sample(out[1].byte(0x0f).byte(3), 1, 8, 0.5f, 0.2f);  // a chain of three with Z, sorted here
  sample(out[1], 2, 3, 1, 0.7f);
  sample(out[1], 4, 1, 0.3f, 1);
  sample(out[2].byte(0x01).byte(3), 5, 0, 1, 1);  // points and a NaN front
  out[2].exact(std::nanf("")).step(1, 0, 10).step(1, 0, 1).step(1, 0, 1);
  sample(out[2], 2, 0, 0.5f, 0.5f);
  sample(out[3].byte(0x08).byte(1), 10, 2, 1, 1);  // one sample stored nearest first
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
  ChannelSet channels = ChannelSet(Chan_Red) + Chan_Alpha + Chan_DeepFront + Chan_DeepBack;
  if (flags & 2) channels += Chan_Z;
  if (flags & 4) channels += (ChannelSet(Chan_Green) + Chan_Blue);
  const ChannelMap map(channels);
  const size_t stride = size_t(map.size()), n = std::min<size_t>(in.byte(), 64);
  std::vector<std::vector<float>> samples(n, std::vector<float>(stride, 0.0f));
  for (std::vector<float>& s : samples) {
    s[map.chanNo(Chan_DeepFront)] = in.value(0.0f, 20.0f);
    s[map.chanNo(Chan_DeepBack)] = s[map.chanNo(Chan_DeepFront)] + in.value(0.0f, 10.0f);
    s[map.chanNo(Chan_Alpha)] = in.value(0.0f, 1.0f);
    s[map.chanNo(Chan_Red)] = in.value(0.0f, 1.0f);
    for (Channel z : {Chan_Z, Chan_Green, Chan_Blue})
      if (map.chanNo(z) >= 0) s[map.chanNo(z)] = in.value(0.0f, z == Chan_Z ? 20.0f : 1.0f);
  }
  const bool farthestFirst = flags & 1;
  if (flags & 8) {  // sorted so that ordered access sees fronts farthest first, NaN fronts last
    const int f = map.chanNo(Chan_DeepFront);
    std::stable_sort(
        samples.begin(), samples.end(), [f](const std::vector<float>& a, const std::vector<float>& b) {
          return std::isnan(a[f]) || std::isnan(b[f]) ? !std::isnan(a[f]) && std::isnan(b[f]) : a[f] > b[f];
        });
    if (!farthestFirst) std::reverse(samples.begin(), samples.end());
  }
  std::vector<float> flat;
  for (const std::vector<float>& s : samples) flat.insert(flat.end(), s.begin(), s.end());
  const DeepPixel pixel(map, flat.data(), n * map.size(),
                        farthestFirst ? DeepPixel::eZDescending : DeepPixel::eZAscending);
  DeepOutPixel out;
  combineSamples(channels, pixel, out);

  std::vector<Piece> pieces;
  for (size_t index = n; index-- > 0;) walkFrom(pixel, pieces, index);
  std::vector<float> expected;
  for (const Piece& p : pieces)
    for (Channel z : channels)
      expected.push_back(z == Chan_Z || z == Chan_DeepFront ? p.front
                         : z == Chan_DeepBack               ? p.back
                                                            : pixel.getOrderedSample(p.sample, z) * p.weight);
  FUZZ_CHECK(out.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    FUZZ_CHECK(std::memcmp(&out.data()[i], &expected[i], 4) == 0 ||
               (std::isnan(out.data()[i]) && std::isnan(expected[i])));

  bool sound = true;
  for (size_t i = 0; i < n; ++i) {
    const float f = pixel.getOrderedSample(i, Chan_DeepFront), b = pixel.getOrderedSample(i, Chan_DeepBack);
    sound = sound && std::isfinite(f) && std::isfinite(b) && b >= f &&
            (i == 0 || pixel.getOrderedSample(i - 1, Chan_DeepFront) >= f);
  }
  std::vector<int> count(n, 0);
  std::vector<float> share(n, 0.0f);
  float leading = -fuzz::kInfinity;
  for (const Piece& p : pieces) {
    FUZZ_CHECK(p.sample < n && ++count[p.sample] <= 2);
    if (!sound) continue;
    FUZZ_CHECK(p.weight >= 0.0f && p.weight <= 1.0f && p.front <= p.back);
    FUZZ_CHECK(p.front >= pixel.getOrderedSample(p.sample, Chan_DeepFront) &&
               p.back <= pixel.getOrderedSample(p.sample, Chan_DeepBack));
    FUZZ_CHECK((share[p.sample] += p.weight) <= 1.0f + 1e-5f);
    if (p.remainder) continue;
    FUZZ_CHECK(p.front >= leading);
    leading = p.front;
  }
  for (int c : count) FUZZ_CHECK(c >= 1);
  return 0;
}
