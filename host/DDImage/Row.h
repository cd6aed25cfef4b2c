// One row of float samples per channel over columns x .. r-1, addressed by absolute column.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

class Iop;

class Row {
 public:
  Row(int x, int r);

  int getLeft() const { return x_; }
  int getRight() const { return r_; }

  // Fills columns x .. r-1 of row y of `iop` for `channels`.
  void get(Iop& iop, int y, int x, int r, const ChannelSet& channels);

  // Read pointer for channel z, indexed by absolute column; an absent channel reads as zeros.
  const float* operator[](Channel z) const;
  // Write pointer for channel z, indexed by absolute column; creates the channel (zeroed).
  float* writable(Channel z);
  bool has(Channel z) const { return z > 0 && z < Chan_Last && slot_[z] >= 0; }

  // Copies columns x .. r-1 of `channels` from `src`.
  void copy(const Row& src, const ChannelSet& channels, int x, int r);
  // Sets `channels` to 0 over the whole row.
  void erase(const ChannelSet& channels);
  void erase(Channel z);

 private:
  int x_, r_;
  std::array<int16_t, Chan_Last> slot_;
  std::vector<std::vector<float>> planes_;
  mutable std::vector<float> zeros_;
};

}  // namespace Image
}  // namespace DD
