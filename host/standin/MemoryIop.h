// Image operators a host supplies: an image held in memory, and a black image.
#pragma once

#include <vector>

#include "DDImage/Iop.h"
#include "DDImage/Row.h"

namespace standin {

// An image held in memory: one float plane per channel over `box`, rows counted upward.
class MemoryIop : public DD::Image::Iop {
 public:
  MemoryIop(const DD::Image::Format& format, const DD::Image::Box& box,
            const DD::Image::ChannelSet& channels);
  const char* Class() const override { return "MemoryImage"; }
  const char* node_help() const override { return "An image held in memory."; }

  // Row-major plane of channel z over the box (row 0 is the box's bottom row); null if absent.
  float* plane(DD::Image::Channel z);
  const float* plane(DD::Image::Channel z) const;
  void set(int x, int y, DD::Image::Channel z, float v);
  // Fills channel z with one value everywhere.
  void fill(DD::Image::Channel z, float v);
  void engine(int y, int x, int r, DD::Image::ChannelMask channels, DD::Image::Row& row) override;

 protected:
  void _validate(bool) override {}

 private:
  std::vector<std::vector<float>> planes_;
};

// Zeros in every channel over a format: the host's default input.
class BlackIop : public DD::Image::Iop {
 public:
  explicit BlackIop(const DD::Image::Format& format);
  const char* Class() const override { return "Black"; }
  const char* node_help() const override { return "Black over the project format."; }
  void engine(int y, int x, int r, DD::Image::ChannelMask channels, DD::Image::Row& row) override;

 protected:
  void _validate(bool) override {}
};

}  // namespace standin
