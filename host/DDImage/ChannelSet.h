// A set of channel numbers (never Chan_Black) with an "all channels" state, iterated in
// ascending order. +=, -= and &= return void; a & b answers "do they overlap?"; the set-valued
// intersection is intersection().
#pragma once

#include <bitset>
#include <iosfwd>

#include "DDImage/Channel.h"
#include "DDImage/Hash.h"

namespace DD {
namespace Image {

// Highest channel number (arrays indexed by channel need Chan_Last + 1 entries).
const int Chan_Last = 1023;

class DDImage_API ChannelSet {
 public:
  ChannelSet() = default;
  ChannelSet(const ChannelSet& source) = default;
  ChannelSet(ChannelSet&& source) = default;
  ChannelSet(ChannelSetInit v);
  ChannelSet(Channel v);
  ChannelSet(const Channel* array, int n);
  ~ChannelSet() = default;

  const ChannelSet& operator=(const ChannelSet& source);
  const ChannelSet& operator=(ChannelSetInit source);
  const ChannelSet& operator=(Channel z);
  const ChannelSet& operator=(ChannelSet&& source);

  void clear();
  operator bool() const { return !empty(); }
  bool empty() const { return bits_.none(); }
  bool all() const { return all_; }

  bool operator==(const ChannelSet& source) const { return all_ == source.all_ && bits_ == source.bits_; }
  bool operator!=(const ChannelSet& source) const { return !(*this == source); }
  bool operator==(ChannelSetInit v) const { return *this == ChannelSet(v); }
  bool operator!=(ChannelSetInit v) const { return !(*this == v); }
  bool operator==(Channel z) const { return *this == ChannelSet(z); }
  bool operator!=(Channel z) const { return !(*this == z); }

  void operator+=(const ChannelSet& source);
  void operator+=(ChannelSetInit source) { *this += ChannelSet(source); }
  void operator+=(Channel z);
  void insert(Channel z) { *this += z; }

  void operator-=(const ChannelSet& source);
  void operator-=(ChannelSetInit source) { *this -= ChannelSet(source); }
  void operator-=(Channel z);
  void erase(Channel z) { *this -= z; }

  void operator&=(const ChannelSet& source);
  void operator&=(ChannelSetInit source) { *this &= ChannelSet(source); }
  void operator&=(Channel z) { *this &= ChannelSet(z); }

  template <class Type>
  ChannelSet operator+(Type z) const {
    ChannelSet result(*this);
    result += z;
    return result;
  }
  template <class Type>
  ChannelSet operator-(Type z) const {
    ChannelSet result(*this);
    result -= z;
    return result;
  }
  template <class Type>
  ChannelSet intersection(Type z) const {
    ChannelSet result(*this);
    result &= z;
    return result;
  }

  // True when the two overlap (not a set).
  bool operator&(const ChannelSet& c) const { return (bits_ & c.bits_).any(); }
  bool operator&(ChannelSetInit c) const { return *this & ChannelSet(c); }
  bool operator&(Channel z) const { return contains(z); }

  bool contains(const ChannelSet& source) const { return (source.bits_ & ~bits_).none(); }
  bool contains(ChannelSetInit source) const { return contains(ChannelSet(source)); }
  bool contains(Channel z) const { return z > 0 && int(z) <= Chan_Last && bits_.test(z); }

  unsigned size() const { return static_cast<unsigned>(bits_.count()); }
  // First channel, or Chan_Black when empty; next() returns Chan_Black after the last.
  Channel first() const { return next(Chan_Black); }
  Channel next(Channel k) const;
  Channel last() const;

 private:
  std::bitset<Chan_Last + 1> bits_;
  bool all_ = false;
};

// Iterates the channels of a set in ascending order.
#ifdef foreach
#undef foreach
#endif
#define foreach(VAR, CHANNELS) for (DD::Image::Channel VAR = CHANNELS.first(); VAR; VAR = CHANNELS.next(VAR))

DDImage_API std::ostream& operator<<(std::ostream&, const ChannelSet&);

typedef const ChannelSet& ChannelMask;

class ChannelSetIterator {
 public:
  ChannelSetIterator(const ChannelSet& channels, bool end = false)
      : channels_(channels), current_(end ? Chan_Black : channels.first()) {}
  Channel& operator++() {
    current_ = channels_.next(current_);
    return current_;
  }
  bool operator!=(const ChannelSetIterator& other) { return current_ != other.current_; }
  Channel& operator*() { return current_; }

 private:
  const ChannelSet& channels_;
  Channel current_;
};

inline ChannelSetIterator begin(const ChannelSet& channels) { return ChannelSetIterator(channels, false); }
inline ChannelSetIterator end(const ChannelSet& channels) { return ChannelSetIterator(channels, true); }

}  // namespace Image
}  // namespace DD
