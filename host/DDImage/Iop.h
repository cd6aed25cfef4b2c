// The image operator: an info filled in _validate(), regions asked of inputs with request()
// from _request(), and rows produced by engine().
#pragma once

#include <memory>

#include "DDImage/ChannelSet.h"
#include "DDImage/Format.h"
#include "DDImage/IopInfo.h"
#include "DDImage/Op.h"

namespace DD {
namespace Image {

class Row;

class DDImage_API IopInfoOwner {
 public:
  typedef IopInfo Info;

 protected:
  Info info_;

 public:
  const Info& info() const { return info_; }
  int x() const { return info_.x(); }
  int y() const { return info_.y(); }
  int r() const { return info_.r(); }
  int t() const { return info_.t(); }
  int w() const { return info_.w(); }
  int h() const { return info_.h(); }
  const Format& format() const { return info_.format(); }
  const Format& full_size_format() const { return info_.full_size_format(); }
  ChannelMask channels() const { return info_.channels(); }
};

class DDImage_API Iop : public Op, public IopInfoOwner {
 public:
  virtual void engine(int y, int x, int r, ChannelMask, Row&) = 0;

 protected:
  Iop(Node* node);
  void _validate(bool for_real) override;
  // Asks the inputs for what a request of this operator needs; the default passes it to input 0.
  virtual void _request(int x, int y, int r, int t, ChannelMask, int count);
  void copy_info(int input);
  void copy_info();

 public:
  ~Iop() override;

  bool test_input(int, Op*) const override;
  Op* default_input(int) const override;
  Iop* input(int n) const;
  Iop& input0() const;

  // Channels needed from input n to output `mask` (edits mask in place).
  virtual void in_channels(int, ChannelSet&) const;

  // Requests merge: the box grows to cover each one, the channels add up.
  void request(int x, int y, int r, int t, ChannelMask channels, int count);
  void request(DD::Image::Box box, ChannelMask channels, int count);
  const Box& requestedBox() const;
  ChannelMask requested_channels() const;
  int requested_count() const;

  // Rows of the box; outside it the nearest edge pixel repeats.
  virtual void get(int y, int x, int r, ChannelMask, Row&);
  float at(int x, int y, Channel);

 private:
  friend class OpHost;
  Box requested_;
  ChannelSet requestedChannels_;
  int requestedCount_ = 0;
  Format projectFormat_{640, 480};
  mutable std::unique_ptr<Iop> defaultInput_;
};

}  // namespace Image
}  // namespace DD
