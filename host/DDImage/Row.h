// One scanline of float buffers indexed by channel, then by absolute x. Not copyable.
// row[z] is read-only; writable(z) gives a writable buffer.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

class Iop;

class DDImage_API Row {
 public:
  typedef float* WritablePtr;
  typedef const float* ReadablePtr;
  int getLeft() const { return x_; }
  int getRight() const { return r_; }
  Row(int X, int R);
  ~Row();

  // An absent channel reads as zeros.
  ReadablePtr operator[](Channel z) const;
  // Creates the channel, zeroed, on first use.
  WritablePtr writable(Channel z);
  void copy(const Row&, ChannelMask, int x, int r);
  // Same as iop.get(y, x, r, channels, *this).
  void get(Iop&, int y, int x, int r, ChannelMask);
  void erase(ChannelMask);
  void erase(Channel);

 private:
  Row(const Row&);
  Row& operator=(const Row&);
  int x_, r_;
  std::array<int16_t, Chan_Last + 1> slot_;
  std::vector<std::vector<float>> planes_;
  mutable std::vector<float> zeros_;
};

}  // namespace Image
}  // namespace DD
