// The fuzz targets' input format: typed fields read front to back from the fuzzer's bytes (zeros
// once they run out, so every byte string is a valid input), and the writer that lays out seed
// inputs the same way.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

namespace fuzz {

// Floats worth trying anywhere: signed zeros, the edges of float, non-finite values, and
// numbers near the knobs' limits.
constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kLargest = std::numeric_limits<float>::max();
inline const float* specialValues() {
  // clang-format off
  static const float table[32] = {
      0.0f,      -0.0f,      1.0f,     -1.0f,   0.5f,   1e-6f,    -1e-6f,    1e-30f,
      1e-38f,    1e-45f,     1e6f,     -1e6f,   1e30f,  -1e30f,   kLargest,  -kLargest,
      kInfinity, -kInfinity, kNaN,     -kNaN,   255.0f, 256.0f,   257.0f,    2.0f,
      3.0f,      1e9f,       65535.0f, 32768.0f, 0.999f, 1.001f,  100.0f,    1e-3f};
  // clang-format on
  return table;
}

// Mode bytes of a float field: below kSpecial a step in the field's range, then one of the
// special values, then a raw bit pattern from the next four bytes.
constexpr uint8_t kSpecial = 192;
constexpr uint8_t kRaw = 224;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool exhausted() const { return pos_ >= size_; }
  size_t remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }

  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool flag() { return (byte() & 1) != 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(byte()) << (8 * i);
    return v;
  }
  float rawFloat() {
    const uint32_t bits = u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  // A float field: mostly inside lo .. hi, sometimes a special value or any bit pattern.
  float value(float lo, float hi) { return decode(byte(), lo, hi); }
  // The same with a mode byte already read.
  float decode(uint8_t mode, float lo, float hi) {
    if (mode < kSpecial) return lo + (hi - lo) * (float(mode) / float(kSpecial - 1));
    if (mode < kRaw) return specialValues()[mode - kSpecial];
    return rawFloat();
  }
  // Any 32-bit integer.
  int32_t anyInt() { return static_cast<int32_t>(u32()); }
  std::string rest() {
    std::string s(reinterpret_cast<const char*>(data_ + pos_), remaining());
    pos_ = size_;
    return s;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Lays out a seed input field by field, in the order the target reads them.
class Writer {
 public:
  Writer& byte(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  Writer& bytes(std::initializer_list<uint8_t> vs) {
    bytes_.insert(bytes_.end(), vs.begin(), vs.end());
    return *this;
  }
  Writer& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  // A float field holding exactly v, as a raw bit pattern.
  Writer& exact(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bytes_.push_back(kRaw);
    return u32(bits);
  }
  // A float field at the step nearest to v within lo .. hi.
  Writer& step(float v, float lo, float hi) {
    const float t = (v - lo) / (hi - lo) * float(kSpecial - 1);
    return byte(uint8_t(std::lround(std::fmin(std::fmax(t, 0.0f), float(kSpecial - 1)))));
  }
  Writer& text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  const std::vector<uint8_t>& data() const { return bytes_; }

  bool save(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
    return std::fclose(f) == 0 && ok;
  }

 private:
  std::vector<uint8_t> bytes_;
};

// A property the target checks; a violation stops the fuzzer with the failing input.
#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

// Handles `--write-seeds DIR` on the target's command line: each seed is written to DIR and
// the process exits. Called from LLVMFuzzerInitialize, before libFuzzer reads its own flags.
template <typename SeedFn>
void writeSeedsIfAsked(int* argc, char*** argv, SeedFn seeds) {
  for (int i = 1; i + 1 < *argc; ++i) {
    if (std::strcmp((*argv)[i], "--write-seeds") != 0) continue;
    const std::string dir = (*argv)[i + 1];
    int n = 0;
    bool ok = true;
    for (const Writer& w : seeds()) {
      char name[32];
      std::snprintf(name, sizeof name, "/seed-%03d", n++);
      ok = w.save(dir + name) && ok;
    }
    std::fprintf(stderr, "%d seeds written to %s\n", n, dir.c_str());
    std::exit(ok ? 0 : 1);
  }
}

}  // namespace fuzz
