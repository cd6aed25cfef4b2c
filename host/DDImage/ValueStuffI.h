// The numeric get/set interface every knob offers.
#pragma once

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API ValueStuffI {
 protected:
  virtual ~ValueStuffI();

 public:
  // Index -1 addresses every element of a multi-value knob; returns true if the value changed.
  bool set_value(double v, int channel = -1);
  double get_value(int channel = 0) const;
};

}  // namespace Image
}  // namespace DD
