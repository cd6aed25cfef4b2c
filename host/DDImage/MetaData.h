// Key/value metadata passed down the node graph (the stand-in never carries any).
#pragma once

#include <map>
#include <string>

#include "DDImage/DDImage_API.h"

namespace Foundry {
namespace Property {
class Base;
}
}  // namespace Foundry

namespace DD {
namespace Image {
namespace MetaData {

class DDImage_API Bundle {
  class DDImage_API CompareKey {
   public:
    bool operator()(const std::string& a, const std::string& b) const { return a < b; }
  };

 public:
  typedef Foundry::Property::Base* PropertyPtr;
  typedef std::map<std::string, PropertyPtr, CompareKey> data_t;
  typedef data_t::const_iterator const_iterator;

  Bundle() {}
  size_t size() const { return data_.size(); }
  const_iterator begin() const { return data_.begin(); }
  const_iterator end() const { return data_.end(); }

 private:
  mutable data_t data_;
};

}  // namespace MetaData
}  // namespace Image
}  // namespace DD
