// The context an operator renders in: the scale of blur sizes and the project format.
#pragma once

#include "DDImage/Format.h"

namespace DD {
namespace Image {

class OutputContext {
 public:
  // Scale factor for sizes in pixels (1 = full resolution).
  float scale() const { return scale_; }
  void scale(float s) { scale_ = s; }
  // The project's format, given to the default black input.
  const Format& format() const { return format_; }
  void format(const Format& f) { format_ = f; }

 private:
  float scale_ = 1.0f;
  Format format_{640, 480};
};

}  // namespace Image
}  // namespace DD
