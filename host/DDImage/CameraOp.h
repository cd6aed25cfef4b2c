// A camera: focal length and film back in millimetres, focus distance in scene units, f-stop.
#pragma once

#include "DDImage/AxisOp.h"

namespace DD {
namespace Image {

class DDImage_API CameraOp : public AxisOp {
 public:
  CameraOp(Node* node);
  double horizontalAperture() const { return horizontalAperture_; }
  void setHorizontalAperture(double w) { horizontalAperture_ = w; }
  double verticalAperture() const { return verticalAperture_; }
  void setVerticalAperture(double h) { verticalAperture_ = h; }
  double focalLength() const { return focalLength_; }
  void setFocalLength(double f) { focalLength_ = f; }
  double fStop() const { return fStop_; }
  void setfStop(double f) { fStop_ = f; }
  double focusDistance() const { return focusDistance_; }
  void setFocusDistance(double f) { focusDistance_ = f; }

  [[deprecated("implement Class() on the subclass")]] const char* Class() const override;
  [[deprecated("implement node_help() on the subclass")]] const char* node_help() const override;

 private:
  double focalLength_ = 50.0;
  double focusDistance_ = 2.0;
  double fStop_ = 16.0;
  double horizontalAperture_ = 24.576;
  double verticalAperture_ = 18.672;
};

}  // namespace Image
}  // namespace DD
