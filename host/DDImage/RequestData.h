// One region and channel request a deep operator makes of an input.
#pragma once

#include "DDImage/Box.h"
#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

class Op;
class DeepOp;
class Iop;

class DDImage_API RequestData {
 public:
  RequestData(Iop* op, Box box, ChannelSet channels, int count);
  RequestData(DeepOp* op, Box box, ChannelSet channels, int count);
  void doRequest();

 private:
  Iop* iop_ = nullptr;
  DeepOp* deepOp_ = nullptr;
  Box box_;
  ChannelSet channels_;
  int count_;
};

}  // namespace Image
}  // namespace DD
