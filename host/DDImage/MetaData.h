// Key/value metadata passed down the node graph.
#pragma once

#include <map>
#include <string>

namespace DD {
namespace Image {
namespace MetaData {

class Bundle {
 public:
  bool empty() const { return values_.empty(); }
  size_t size() const { return values_.size(); }
  void clear() { values_.clear(); }

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace MetaData
}  // namespace Image
}  // namespace DD
