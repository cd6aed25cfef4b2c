// Shared pieces of the flat defocus tests: hand-made kernel banks, a render context over them,
// and accumulation rows addressed by absolute column.
#pragma once

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "ktChannelFloatBuffer.h"
#include "ktOrvelSettings.h"
#include "ktRenderContext.h"
#include "ktSliceRows.h"

namespace defocus_test {

// Side of bank entry k, written out: entries 0, 1, 2 are one pixel, then the odd sizes repeat.
inline int sideOf(int k) { return k < 3 ? 1 : (k % 2 == 1 ? k : k - 1); }

// Tap value of bank entry k at kernel row `row`, column `col` (side `side`).
using TapFn = std::function<float(int k, int side, int row, int col)>;

inline std::vector<ktChannelFloatBuffer> makeBank(int entries, const DD::Image::ChannelSet& channels,
                                                  const TapFn& tap) {
  std::vector<ktChannelFloatBuffer> bank(entries);
  for (int k = 0; k < entries; ++k) {
    const int side = sideOf(k);
    bank[k].init(channels, side, side);
    for (DD::Image::Channel z : channels)
      for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col) bank[k].planes[z][row * side + col] = tap(k, side, row, col);
  }
  return bank;
}

// Normalised box kernels: every tap 1 / side^2.
inline float boxTap(int, int side, int, int) { return 1.0f / static_cast<float>(side * side); }

// Normalised kernels whose taps grow with the row and the column, so that a flipped or shifted
// kernel is visible: tap(row, col) = (1 + row + 2 col) / sum.
inline float rampTap(int, int side, int row, int col) {
  double sum = 0.0;
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) sum += 1 + j + 2 * i;
  return static_cast<float>((1 + row + 2 * col) / sum);
}

// Settings with everything that changes pixels switched off, and a context scale of 1.
inline ktOrvelSettings plainSettings() {
  ktOrvelSettings s;
  s.contextScale = 1.0f;
  s.bloom = 0.0f;
  s.kChrAbb = 0.0f;
  s.outputType = kDefocusedImage;
  s.activeChannels = DD::Image::Mask_RGBA;
  return s;
}

// Everything a render context points at, owned in one place.
struct Render {
  ktOrvelSettings settings = plainSettings();
  std::vector<ktChannelFloatBuffer> bank;
  std::vector<float> sliceDepths;
  int padding = 0;
  DD::Image::Format format{24, 16};
  bool hasBloomMatte = false, hasDefocusMatte = false, hasChromicAberrationMatte = false;
  DD::Image::ChannelSet matteChannels;

  ktRenderContext context() const {
    ktRenderContext c;
    c.settings = &settings;
    c.kernels = &bank;
    c.sliceDepths = &sliceDepths;
    c.padding = padding;
    c.kernelSizeLimit = static_cast<int>(bank.size()) - 5;
    c.format = format;
    c.hasBloomMatte = hasBloomMatte;
    c.hasDefocusMatte = hasDefocusMatte;
    c.hasChromicAberrationMatte = hasChromicAberrationMatte;
    c.matteChannels = matteChannels;
    return c;
  }
};

// Colour and weight rows for `slices` slices and the given channels over columns x .. r-1,
// filled with `initial`.
struct Rows {
  Rows(int slices, const DD::Image::ChannelSet& channels, int x, int r, float initial = 0.0f) : x(x), r(r) {
    colour.assign(slices, {});
    weight.assign(slices, {});
    store.reserve(2 * slices * channels.size());
    for (int s = 0; s < slices; ++s) {
      colour[s].fill(nullptr);
      weight[s].fill(nullptr);
      for (DD::Image::Channel z : channels) {
        store.emplace_back(r - x, initial);
        colour[s][z] = store.back().data() - x;
        store.emplace_back(r - x, initial);
        weight[s][z] = store.back().data() - x;
      }
    }
  }
  int x, r;
  ktSliceRows colour, weight;
  std::vector<std::vector<float>> store;
};

// Test names from free text.
inline std::string caseName(std::string n) {
  for (char& ch : n)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return n;
}

}  // namespace defocus_test
