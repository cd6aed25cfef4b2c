// A Row that can be returned by value (the host's Row cannot be copied): reads go to the row.
#pragma once

#include <memory>

#include "DDImage/Row.h"

namespace standin {

class OwnedRow {
 public:
  OwnedRow(int x, int r) : row_(std::make_unique<DD::Image::Row>(x, r)) {}
  DD::Image::Row& row() { return *row_; }
  const float* operator[](DD::Image::Channel z) const { return (*row_)[z]; }

 private:
  std::unique_ptr<DD::Image::Row> row_;
};

}  // namespace standin
