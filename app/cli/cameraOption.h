// The --camera option: "focal=50,focal_point=1000,fstop=2,haperture=24.89,vaperture=18.67",
// any subset, applied to a camera whose other values stay at their defaults.
#pragma once

#include <string>

#include "status.h"

namespace DD {
namespace Image {
class CameraOp;
}
}  // namespace DD

// Sets the named values on `camera`; on a bad key or value leaves it unchanged.
Status applyCameraOption(const std::string& text, DD::Image::CameraOp& camera);
