// Keeps an input's requested lines available while it lives.
#pragma once

#include "DDImage/Iop.h"

namespace DD {
namespace Image {

class InterestRatchet;

class DDImage_API Interest : public Box {
 public:
  Interest(Iop&, ChannelMask, bool mt = false, InterestRatchet* ir = nullptr, float fracCPU = 1.0f);
  Interest(const Interest&) = delete;
  Interest& operator=(const Interest&) = delete;
  ~Interest();
  ChannelMask channels() const;
  void unlock();

 private:
  ChannelSet channels_;
};

}  // namespace Image
}  // namespace DD
