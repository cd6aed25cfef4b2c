#include "files/exrHeaderCheck.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <utility>

#include "files/inputChecks.h"

namespace {

constexpr uint32_t kMagic = 20000630;
constexpr uint32_t kTiledFlag = 0x200, kLongNamesFlag = 0x400, kMultiPartFlag = 0x1000;

struct Reader {
  std::ifstream in;
  long long size = 0;
  // Names longer than this the EXR library reads differently (it stops at the limit), so
  // that it and this check would see different attributes: 31, or 255 with long names.
  size_t longestName = 31;

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
      if (s.size() == longestName) return false;
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

// Bytes the EXR library reads for a value of a fixed-size type, whatever size the file declares;
// 0 for the types it reads by the declared size.
long long fixedSize(const std::string& type) {
  static const std::pair<const char*, int> sizes[] = {{"box2i", 16},
                                                      {"box2f", 16},
                                                      {"v2i", 8},
                                                      {"v2f", 8},
                                                      {"v2d", 16},
                                                      {"v3i", 12},
                                                      {"v3f", 12},
                                                      {"v3d", 24},
                                                      {"int", 4},
                                                      {"float", 4},
                                                      {"double", 8},
                                                      {"compression", 1},
                                                      {"lineOrder", 1},
                                                      {"envmap", 1},
                                                      {"deepImageState", 1},
                                                      {"tiledesc", 9},
                                                      {"chromaticities", 32},
                                                      {"keycode", 28},
                                                      {"timecode", 8},
                                                      {"rational", 8},
                                                      {"m33f", 36},
                                                      {"m44f", 64},
                                                      {"m33d", 72},
                                                      {"m44d", 128}};
  for (const auto& s : sizes)
    if (type == s.first) return s.second;
  return 0;
}

// Skips a channel list the way the library reads it: entries up to an empty name. Pixel types
// other than uint, half and float are refused: the image library aborts on them.
bool skipChannelList(Reader& r) {
  for (std::string name;;) {
    if (!r.name(name)) return false;
    if (name.empty()) return true;
    uint32_t pixelType = 0;
    if (!r.u32(pixelType) || pixelType > 2 || !r.in.seekg(12, std::ios::cur) || r.remaining() < 0)
      return false;
  }
}

// Skips a preview image: its width and height, then four bytes a pixel the library allocates.
bool skipPreview(Reader& r) {
  uint32_t w = 0, h = 0;
  if (!r.u32(w) || !r.u32(h) || 4.0 * w * h > double(r.remaining())) return false;
  return bool(r.in.seekg(4LL * w * h, std::ios::cur));
}

// Reads or skips one value as the library does; false when it does not fit in the file.
bool readValue(Reader& r, const std::string& type, uint32_t size, std::string& value) {
  if (type == "chlist") return skipChannelList(r);
  if (type == "preview") return skipPreview(r);
  const long long length = fixedSize(type) ? fixedSize(type) : (long long)size;
  if (length > r.remaining()) return false;
  if (length > 16) return bool(r.in.seekg(length, std::ios::cur));
  value.resize(size_t(length));
  return length == 0 || bool(r.in.read(&value[0], length));
}

// Walks one header's attributes; false when one cannot be read or does not fit in the file.
// `empty` is set when the header has no attribute (the end of a multi-part list).
bool walkHeader(Reader& r, PartShape& shape, bool& empty) {
  empty = true;
  for (std::string name, type, value;;) {
    if (!r.name(name)) return false;
    if (name.empty()) return true;
    empty = false;
    uint32_t size = 0;
    if (!r.name(type) || !r.u32(size) || !readValue(r, type, size, value)) return false;
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
  if (version & kLongNamesFlag) r.longestName = 255;
  const Status broken = Status::usage(
      "'" + path + "' is not a valid EXR file: its header is damaged or declares more than the file holds");
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
