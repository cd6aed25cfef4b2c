// The proxy-scale part of an OutputContext: the factors are read with scale_x() / scale_y().
#pragma once

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API ProxyContext {
 protected:
  ProxyContext() = default;

 public:
  float scale_x() const { return scale_[0]; }
  float scale_y() const { return scale_[1]; }
  void setProxyscale(float scale) { setProxyscale(scale, scale); }
  void setProxyscale(float sx, float sy) {
    scale_[0] = sx;
    scale_[1] = sy;
  }

 private:
  float scale_[2] = {1.0f, 1.0f};
};

}  // namespace Image
}  // namespace DD
