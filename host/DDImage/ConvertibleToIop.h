// Interface for non-image operators that can be viewed as an image.
#pragma once

#include "DDImage/Iop.h"
#include "DDImage/Op.h"

namespace DD {
namespace Image {

class DDImage_API ConvertibleToIop {
 public:
  virtual ~ConvertibleToIop();
  virtual const char* conversionHelperNodeClass() const = 0;
  virtual const Format* convertibleFormat() const = 0;
};

}  // namespace Image
}  // namespace DD
