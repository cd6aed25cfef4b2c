// The frame, view and proxy settings an operator renders for.
#pragma once

#include "DDImage/DDImage_API.h"
#include "DDImage/ProxyContext.h"

namespace DD {
namespace Image {

class DDImage_API OutputContext : public ProxyContext {
 public:
  OutputContext() = default;
  double frame() const { return frame_; }
  void setFrame(double v) { frame_ = v; }
  int view() const { return view_; }
  void setView(int v) { view_ = v; }

 private:
  double frame_ = 1;
  int view_ = 1;
};

}  // namespace Image
}  // namespace DD
