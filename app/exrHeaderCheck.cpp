#include "exrHeaderCheck.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "memoryLimit.h"

namespace {

constexpr uint32_t kMagic = 20000630;
constexpr uint32_t kTiledFlag = 0x200, kMultiPartFlag = 0x1000;
constexpr size_t kLongestName = 255;

struct Reader {
  std::ifstream in;
  long long size = 0;

  bool u32(uint32_t& v) {
    unsigned char b[4];
    if (!in.read(reinterpret_cast<char*>(b), 4)) return false;
    v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
  }
  // A zero-terminated name; false past the end or beyond the longest name.
  bool name(std::string& s) {
    s.clear();
    for (char c; in.get(c);) {
      if (c == '\0') return true;
      if (s.size() == kLongestName) return false;
      s += c;
    }
    return false;
  }
  long long remaining() { return size - static_cast<long long>(in.tellg()); }
};

// The chunks of one part: its data window and tile size, read from its attributes.
struct PartShape {
  int32_t window[4] = {0, 0, -1, -1};
  uint32_t tile[2] = {0, 0};
  bool tiled = false;

  double chunks() const {
    const double w = double(window[2]) - window[0] + 1, h = double(window[3]) - window[1] + 1;
    if (w <= 0 || h <= 0) return 0;
    if (!tiled || tile[0] == 0 || tile[1] == 0) return h;
    // Level 0; mip and rip levels add at most as many again for each axis.
    return 4.0 * std::ceil(w / tile[0]) * std::ceil(h / tile[1]);
  }
};

void readShape(const std::string& name, const std::string& value, PartShape& shape) {
  if (name == "dataWindow" && value.size() == 16) std::memcpy(shape.window, value.data(), 16);
  if (name == "tiles" && value.size() == 9) {
    std::memcpy(shape.tile, value.data(), 8);
    shape.tiled = true;
  }
}

// Walks one header's attributes; false when one cannot be read or does not fit in the file.
// `empty` is set when the header has no attribute (the end of a multi-part list).
bool walkHeader(Reader& r, PartShape& shape, bool& empty) {
  empty = true;
  for (std::string name, type;;) {
    if (!r.name(name)) return false;
    if (name.empty()) return true;
    empty = false;
    uint32_t size = 0;
    if (!r.name(type) || !r.u32(size) || (long long)size > r.remaining()) return false;
    std::string value;
    if (size <= 16) {
      value.resize(size);
      if (!r.in.read(&value[0], size)) return false;
    } else {
      r.in.seekg(size, std::ios::cur);
    }
    readShape(name, value, shape);
  }
}

}  // namespace

Status checkExrHeader(const std::string& path, double maxBytes) {
  Reader r;
  r.in.open(path, std::ios::binary | std::ios::ate);
  if (!r.in) return Status::success();
  r.size = r.in.tellg();
  r.in.seekg(0);
  uint32_t magic = 0, version = 0;
  if (!r.u32(magic) || magic != kMagic || !r.u32(version)) return Status::success();
  const Status broken =
      Status::usage("'" + path + "' is not a valid EXR file: its header does not fit in the file");
  double chunks = 0;
  for (int part = 0;; ++part) {
    PartShape shape;
    shape.tiled = (version & kTiledFlag) != 0 && !(version & kMultiPartFlag);
    bool empty = false;
    if (!walkHeader(r, shape, empty)) return broken;
    chunks += shape.chunks();
    if (!(version & kMultiPartFlag) || empty) break;
  }
  return checkMemory(chunks * sizeof(uint64_t), maxBytes, path);
}
