// The host's hash of an operator's state.
#pragma once

#include <cstdint>

namespace DD {
namespace Image {

class Hash {
 public:
  void append(int v) {
    for (int i = 0; i < 4; ++i) {
      value_ ^= static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
      value_ *= 1099511628211ull;
    }
  }
  uint64_t value() const { return value_; }
  bool operator==(const Hash& o) const { return value_ == o.value_; }

 private:
  uint64_t value_ = 14695981039346656037ull;
};

}  // namespace Image
}  // namespace DD
