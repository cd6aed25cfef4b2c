#include "DDImage/ChannelSet.h"

#include <ostream>

namespace DD {
namespace Image {

ChannelSet::ChannelSet(ChannelSetInit v) { *this = v; }

ChannelSet::ChannelSet(Channel v) { *this += v; }

ChannelSet::ChannelSet(const Channel* array, int n) {
  for (int i = 0; i < n; ++i) *this += array[i];
}

const ChannelSet& ChannelSet::operator=(const ChannelSet& source) {
  bits_ = source.bits_;
  all_ = source.all_;
  return *this;
}

const ChannelSet& ChannelSet::operator=(ChannelSet&& source) {
  return *this = static_cast<const ChannelSet&>(source);
}

// Mask_All is the all-channels state; other masks name the first 32 channels bit by bit.
const ChannelSet& ChannelSet::operator=(ChannelSetInit source) {
  clear();
  if (source == Mask_All) {
    bits_.set();
    bits_.reset(0);
    all_ = true;
    return *this;
  }
  for (int c = 1; c <= 32; ++c)
    if (unsigned(source) & (1u << (c - 1))) bits_.set(c);
  return *this;
}

const ChannelSet& ChannelSet::operator=(Channel z) {
  clear();
  *this += z;
  return *this;
}

void ChannelSet::clear() {
  bits_.reset();
  all_ = false;
}

void ChannelSet::operator+=(const ChannelSet& source) {
  bits_ |= source.bits_;
  all_ = all_ || source.all_;
}

void ChannelSet::operator+=(Channel z) {
  if (z > 0 && int(z) <= Chan_Last) bits_.set(z);
}

void ChannelSet::operator-=(const ChannelSet& source) {
  bits_ &= ~source.bits_;
  all_ = all_ && source.empty();
}

void ChannelSet::operator-=(Channel z) {
  if (z > 0 && int(z) <= Chan_Last) bits_.reset(z);
  all_ = false;
}

void ChannelSet::operator&=(const ChannelSet& source) {
  bits_ &= source.bits_;
  all_ = all_ && source.all_;
}

Channel ChannelSet::next(Channel k) const {
  const size_t i = bits_._Find_next(static_cast<size_t>(k < 0 ? 0 : k));
  return i <= size_t(Chan_Last) ? static_cast<Channel>(i) : Chan_Black;
}

Channel ChannelSet::last() const {
  for (int c = Chan_Last; c > 0; --c)
    if (bits_.test(c)) return static_cast<Channel>(c);
  return Chan_Black;
}

std::ostream& operator<<(std::ostream& o, const ChannelSet& s) {
  o << '{';
  const char* separator = "";
  for (Channel z : s) {
    o << separator << (getName(z) ? getName(z) : "?");
    separator = " ";
  }
  return o << '}';
}

}  // namespace Image
}  // namespace DD
