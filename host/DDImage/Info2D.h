// The region of definition (a Box), the formats and the frame range.
#pragma once

#include <memory>

#include "DDImage/Box.h"
#include "DDImage/Format.h"
#include "DDImage/GeneralInfo.h"

namespace DD {
namespace Image {

class DDImage_API Info2D : public GeneralInfo, public Box {
 public:
  Info2D() = default;
  const Format& format() const { return *format_; }
  void format(const Format& v) { format_ = std::make_shared<const Format>(v); }
  const Format& full_size_format() const { return *fullSizeFormat_; }
  void full_size_format(const Format& v) { fullSizeFormat_ = std::make_shared<const Format>(v); }
  const DD::Image::Box& box() const { return *this; }
  DD::Image::Box& box() { return *this; }
  void setBox(const DD::Image::Box& box) { Box::set(box); }

 private:
  // The host holds formats by pointer; the stand-in shares copies, so infos outlive their ops.
  std::shared_ptr<const Format> format_ = std::make_shared<const Format>();
  std::shared_ptr<const Format> fullSizeFormat_ = format_;
};

}  // namespace Image
}  // namespace DD
