#include "files/exrLayout.h"

#include <algorithm>
#include <string>

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

bool findExrHeaders(const std::vector<uint8_t>& b, ExrHeaders& out) {
  out = ExrHeaders();
  if (b.size() < 8) return false;
  out.multipart = (le32(b, 4) & 0x1000) != 0;
  size_t pos = 8;
  const auto text = [&](std::string& t) {
    const auto end = std::find(b.begin() + long(pos), b.end(), uint8_t(0));
    if (end == b.end()) return false;
    t.assign(b.begin() + long(pos), end);
    pos = size_t(end - b.begin()) + 1;
    return true;
  };
  // Each header: attributes (name, type, size, value) up to an empty name; several headers end
  // with an empty one.
  do {
    out.compressionAt.push_back(0);
    for (std::string name, type;;) {
      if (!text(name)) return false;
      if (name.empty()) break;
      if (!text(type) || b.size() - pos < 4) return false;
      const uint32_t size = le32(b, pos);
      pos += 4;
      if (size > b.size() - pos) return false;
      if (name == "compression" && size == 1) out.compressionAt.back() = pos;
      pos += size;
    }
    if (out.multipart && pos >= b.size()) return false;
  } while (out.multipart && b[pos] != 0);
  out.end = pos + (out.multipart ? 1 : 0);
  return true;
}
