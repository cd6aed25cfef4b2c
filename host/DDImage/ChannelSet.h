// A set of channel ids below Chan_Last, iterated in ascending order, with an all-channels state.
#pragma once

#include <bitset>
#include <initializer_list>

#include "DDImage/Channel.h"

namespace DD {
namespace Image {

class ChannelSet {
 public:
  ChannelSet() = default;
  ChannelSet(Channel z) { *this += z; }
  ChannelSet(std::initializer_list<Channel> zs) {
    for (Channel z : zs) *this += z;
  }

  static ChannelSet allChannels() {
    ChannelSet s;
    s.bits_.set();
    s.bits_.reset(0);
    s.all_ = true;
    return s;
  }

  bool all() const { return all_; }
  bool empty() const { return bits_.none(); }
  unsigned size() const { return static_cast<unsigned>(bits_.count()); }
  bool contains(Channel z) const { return z > 0 && z < Chan_Last && bits_.test(z); }
  bool contains(const ChannelSet& o) const { return (o.bits_ & ~bits_).none(); }

  ChannelSet& operator+=(Channel z) {
    if (z > 0 && z < Chan_Last) bits_.set(z);
    return *this;
  }
  ChannelSet& operator+=(const ChannelSet& o) {
    bits_ |= o.bits_;
    all_ = all_ || o.all_;
    return *this;
  }
  ChannelSet& operator-=(Channel z) {
    if (z > 0 && z < Chan_Last) bits_.reset(z);
    all_ = false;
    return *this;
  }
  ChannelSet& operator-=(const ChannelSet& o) {
    bits_ &= ~o.bits_;
    all_ = all_ && o.empty();
    return *this;
  }
  ChannelSet& operator&=(const ChannelSet& o) {
    bits_ &= o.bits_;
    all_ = all_ && o.all_;
    return *this;
  }
  friend ChannelSet operator+(ChannelSet a, const ChannelSet& b) { return a += b; }
  friend ChannelSet operator&(ChannelSet a, const ChannelSet& b) { return a &= b; }
  bool operator==(const ChannelSet& o) const { return all_ == o.all_ && bits_ == o.bits_; }
  bool operator!=(const ChannelSet& o) const { return !(*this == o); }

  void clear() {
    bits_.reset();
    all_ = false;
  }

  // First channel, or Chan_Black when empty; next() returns Chan_Black after the last.
  Channel first() const { return next(Chan_Black); }
  Channel next(Channel z) const {
    const size_t i = bits_._Find_next(static_cast<size_t>(z < 0 ? 0 : z));
    return i < size_t(Chan_Last) ? static_cast<Channel>(i) : Chan_Black;
  }

  class iterator {
   public:
    iterator(const ChannelSet* s, Channel z) : set_(s), z_(z) {}
    Channel operator*() const { return z_; }
    iterator& operator++() {
      z_ = set_->next(z_);
      return *this;
    }
    bool operator!=(const iterator& o) const { return z_ != o.z_; }

   private:
    const ChannelSet* set_;
    Channel z_;
  };
  iterator begin() const { return iterator(this, first()); }
  iterator end() const { return iterator(this, Chan_Black); }

 private:
  std::bitset<Chan_Last> bits_;
  bool all_ = false;
};

using ChannelMask = const ChannelSet&;

const ChannelSet Mask_None;
const ChannelSet Mask_RGB{Chan_Red, Chan_Green, Chan_Blue};
const ChannelSet Mask_RGBA{Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha};
const ChannelSet Mask_Alpha{Chan_Alpha};
const ChannelSet Mask_Z{Chan_Z};
const ChannelSet Mask_Deep{Chan_DeepFront, Chan_DeepBack};


}  // namespace Image
}  // namespace DD
