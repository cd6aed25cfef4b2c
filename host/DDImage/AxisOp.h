// Base of 3D scene objects (cameras, lights, axes), reduced to what a 2D node recognises.
#pragma once

#include "DDImage/Op.h"

namespace DD {
namespace Image {

class DDImage_API AxisOp : public Op {
 public:
  AxisOp(Node* node);
  ~AxisOp() override;
};

}  // namespace Image
}  // namespace DD
