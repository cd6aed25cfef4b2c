// Pseudo-random scenes the node tests render around the focal plane 10, and knobs set on a node.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "DDImage/Knob.h"
#include "DDImage/Op.h"
#include "standin/MemoryDeepOp.h"
#include "standin/MemoryIop.h"

using namespace DD::Image;
using namespace standin;

// Deep pixels of zero to four samples: points and thick overlapping ones, opaque and semi-transparent, in
// front of, at and behind the focal plane (10), some pixels empty; `nonFinite`: some NaN or infinite green.
inline std::unique_ptr<MemoryDeepOp> deepScene(const Format& f, const Box& box, unsigned seed, bool nonFinite = false) {
  const ChannelSet layout = ChannelSet(Mask_RGBA) + Mask_Deep;
  auto op = std::make_unique<MemoryDeepOp>(f, box, layout);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> samples;
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) {
      const int count = int(u(rng) * 5.0f);
      samples.clear();
      for (int i = 0; i < count; ++i) {
        const float alpha = u(rng) < 0.3f ? 1.0f : 0.2f + 0.6f * u(rng);
        const float front = 3.0f + 20.0f * u(rng);
        const float back = u(rng) < 0.5f ? front : front + 6.0f * u(rng);
        const bool odd = nonFinite && (x * 13 + y * 5 + i) % 37 == 0;
        const float green = (x + y) % 3 ? std::numeric_limits<float>::infinity() : std::nanf("");
        for (float v : {u(rng) * alpha, odd ? green : u(rng) * alpha, 4 * u(rng) * alpha, alpha, front, back})
          samples.push_back(v);
      }
      op->setPixel(x, y, samples.data(), size_t(count));
    }
  return op;
}

// Noise in 0 .. 1 in `channels` over `box`, depth 4 .. 30 in Z.
inline std::unique_ptr<MemoryIop> noiseImage(const Format& f, const Box& box, const ChannelSet& channels,
                                             unsigned seed) {
  auto img = std::make_unique<MemoryIop>(f, box, channels);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (Channel z : channels)
    for (int y = box.y(); y < box.t(); ++y)
      for (int x = box.x(); x < box.r(); ++x) img->set(x, y, z, z == Chan_Z ? 4.0f + 26.0f * u(rng) : u(rng));
  return img;
}

// Each (name, script text) pair set on `node` as the host sets a knob a user typed: from its
// script text, then the node told of the change.
template <class Pairs>
void setKnobs(Op& node, const Pairs& knobs) {
  for (const auto& [name, value] : knobs) {
    Knob* knob = node.knob(std::string(name).c_str());
    EXPECT_TRUE(knob && knob->from_script(std::string(value).c_str())) << name;
    node.knob_changed(knob);
  }
}
