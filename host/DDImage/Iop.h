// The host's image operator: an info, row requests and row production.
#pragma once

#include <memory>

#include "DDImage/Info.h"
#include "DDImage/Op.h"
#include "DDImage/Row.h"

namespace DD {
namespace Image {

class Iop : public Op {
 public:
  explicit Iop(Node* node);
  ~Iop() override;

  const IopInfo& info() const { return info_; }
  const Format& format() const { return info_.format(); }
  const Format& full_size_format() const { return info_.full_size_format(); }
  const ChannelSet& channels() const { return info_.channels(); }
  int x() const { return info_.x(); }
  int y() const { return info_.y(); }
  int r() const { return info_.r(); }
  int t() const { return info_.t(); }

  Iop* input(int n) const { return dynamic_cast<Iop*>(Op::input(n)); }
  Iop& input0() const { return *input(0); }
  Op* default_input(int n) const override;
  bool test_input(int n, Op* op) const override;

  // Asks for the region x, y, r, t of `channels`, `count` times; calls _request.
  void request(int x, int y, int r, int t, const ChannelSet& channels, int count);
  const Box& requestedBox() const { return requested_; }
  const ChannelSet& requestedChannels() const { return requestedChannels_; }

  // Row production: outside the box the nearest edge pixel is repeated.
  void get(int y, int x, int r, const ChannelSet& channels, Row& row);
  // One pixel, with the same edge rule.
  virtual float at(int x, int y, Channel z);

  virtual void engine(int y, int x, int r, const ChannelSet& channels, Row& row) = 0;

 protected:
  void _validate(bool for_real) override;
  virtual void _request(int x, int y, int r, int t, const ChannelSet& channels, int count);
  void copy_info();
  void copy_info(int n);

  IopInfo info_;

 private:
  Box requested_;
  ChannelSet requestedChannels_;
  mutable std::unique_ptr<Iop> defaultInput_;
};

}  // namespace Image
}  // namespace DD
