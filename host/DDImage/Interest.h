// Keeps an input's requested region available while it lives.
#pragma once

#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

class Iop;

class Interest {
 public:
  Interest(Iop& iop, const ChannelSet& channels, bool multiThreaded = false, void* unused = nullptr)
      : iop_(iop), channels_(channels) {
    (void)multiThreaded;
    (void)unused;
  }
  void unlock() {}
  Iop& iop() const { return iop_; }
  const ChannelSet& channels() const { return channels_; }

 private:
  Iop& iop_;
  ChannelSet channels_;
};

}  // namespace Image
}  // namespace DD
