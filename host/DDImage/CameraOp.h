// A camera: focal length and film back in millimetres, focus distance in scene units, f-stop.
#pragma once

#include "DDImage/Op.h"

namespace DD {
namespace Image {

class CameraOp : public Op {
 public:
  explicit CameraOp(Node* node = nullptr) : Op(node) {}
  const char* Class() const override { return "Camera"; }

  double focal_length() const { return focalLength_; }
  double focal_point() const { return focalPoint_; }
  double fStop() const { return fStop_; }
  double film_width() const { return filmWidth_; }
  double film_height() const { return filmHeight_; }

  void focal_length(double v) { focalLength_ = v; }
  void focal_point(double v) { focalPoint_ = v; }
  void fStop(double v) { fStop_ = v; }
  void film_width(double v) { filmWidth_ = v; }
  void film_height(double v) { filmHeight_ = v; }

 private:
  double focalLength_ = 50.0;
  double focalPoint_ = 2.0;
  double fStop_ = 16.0;
  double filmWidth_ = 24.576;
  double filmHeight_ = 18.672;
};

}  // namespace Image
}  // namespace DD
