// The frame range every operator's info carries.
#pragma once

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API GeneralInfo {
 public:
  int first_frame() const { return first_; }
  int last_frame() const { return last_; }
  void first_frame(int v) { first_ = v; }
  void last_frame(int v) { last_ = v; }

 private:
  int first_ = 1;
  int last_ = 1;
};

}  // namespace Image
}  // namespace DD
