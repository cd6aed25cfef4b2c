// Image operators a host supplies: an image held in memory, and a black image.
#pragma once

#include <vector>

#include "DDImage/Iop.h"

namespace DD {
namespace Image {

// An image held in memory: one float plane per channel over `box`, rows counted upward.
class MemoryIop : public Iop {
 public:
  MemoryIop(const Format& format, const Box& box, const ChannelSet& channels);
  const char* Class() const override { return "MemoryImage"; }

  // Row-major plane of channel z over the box (row 0 is the box's bottom row); null if absent.
  float* plane(Channel z);
  const float* plane(Channel z) const;
  void set(int x, int y, Channel z, float v);
  // Fills channel z with one value everywhere.
  void fill(Channel z, float v);

  float at(int x, int y, Channel z) override;
  void engine(int y, int x, int r, const ChannelSet& channels, Row& row) override;

 protected:
  void _validate(bool) override {}

 private:
  std::vector<std::vector<float>> planes_;
};

// Zeros in every channel over a format: the host's default input.
class BlackIop : public Iop {
 public:
  explicit BlackIop(const Format& format);
  const char* Class() const override { return "Black"; }
  void engine(int y, int x, int r, const ChannelSet& channels, Row& row) override;

 protected:
  void _validate(bool) override {}
};

}  // namespace Image
}  // namespace DD
