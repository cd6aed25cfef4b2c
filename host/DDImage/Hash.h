// A 64-bit checksum an operator builds from whatever its output depends on.
#pragma once

#include <string>

#include "DDImage/DDImage_API.h"

namespace DD {
namespace Image {

class DDImage_API Hash {
 public:
  Hash() = default;
  Hash(const Hash& h) = default;
  const Hash& operator=(const Hash& h) {
    value_ = h.value_;
    return *this;
  }
  void reset() { value_ = kStart; }
  bool operator==(const Hash& h) const { return value_ == h.value_; }
  bool operator!=(const Hash& h) const { return value_ != h.value_; }
  U64 value() const { return value_; }
  U64 getHash() const { return value_; }

  void append(const void* data, size_t length);
  void append(const char* text) { append(text, text ? std::char_traits<char>::length(text) : 0); }
  void append(const std::string& s) { append(s.data(), s.size()); }
  void append(bool v) { append(int(v)); }
  void append(int v) { append(&v, sizeof v); }
  void append(unsigned v) { append(&v, sizeof v); }
  void append(float v) { append(&v, sizeof v); }
  void append(double v) { append(&v, sizeof v); }
  void append(U64 v) { append(&v, sizeof v); }

 private:
  static constexpr U64 kStart = 14695981039346656037ull;
  void append(const void* data);  // left undefined, so that a pointer does not hash as bool
  U64 value_ = kStart;
};

// Byte-wise FNV-1a.
inline void Hash::append(const void* data, size_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < length; ++i) {
    value_ ^= p[i];
    value_ *= 1099511628211ull;
  }
}

}  // namespace Image
}  // namespace DD
