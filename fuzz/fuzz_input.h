// The fuzz targets' shared harness: typed fields read front to back from the fuzzer's bytes
// (zeros once they run out, so every byte string is a valid input), the writer that lays out
// seeds the same way, a property check, and `--write-seeds DIR`.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace fuzz {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// A float field's mode byte: below kSpecial a step in the field's range, then one of the special
// values (signed zeros, float's edges, non-finite values, numbers near knob limits), then a raw
// bit pattern from the next four bytes.
constexpr uint8_t kSpecial = 192, kRaw = 224;
// clang-format off
constexpr float kSpecialValues[32] = {
    0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 1e-6f, -1e-6f, 1e-30f, 1e-38f, 1e-45f, 1e6f, -1e6f, 1e30f, -1e30f,
    std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(), kInfinity, -kInfinity,
    std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(), 255.0f, 256.0f, 257.0f,
    2.0f, 3.0f, 1e9f, 65535.0f, 32768.0f, 0.999f, 1.001f, 100.0f, 1e-3f};
// clang-format on

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool flag() { return (byte() & 1) != 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(byte()) << (8 * i);
    return v;
  }
  int32_t anyInt() { return int32_t(u32()); }
  // A float field: mostly inside lo .. hi, sometimes a special value or any bit pattern.
  float value(float lo, float hi) { return decode(byte(), lo, hi); }
  float decode(uint8_t mode, float lo, float hi) {
    if (mode < kSpecial) return lo + (hi - lo) * (float(mode) / float(kSpecial - 1));
    if (mode < kRaw) return kSpecialValues[mode - kSpecial];
    const uint32_t bits = u32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  std::string rest() {
    const size_t at = std::min(pos_, size_);
    pos_ = size_;
    return std::string(reinterpret_cast<const char*>(data_ + at), size_ - at);
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_ = 0;
};

// Lays out a seed field by field, in the order the target reads them.
class Writer {
 public:
  Writer& byte(uint8_t v) { return text(std::string(1, char(v))); }
  Writer& text(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  // A float field holding exactly v, as a raw bit pattern.
  Writer& exact(float v) {
    uint8_t bits[4];
    std::memcpy(bits, &v, 4);
    return byte(kRaw).text(std::string(reinterpret_cast<char*>(bits), 4));
  }
  // A float field at the step nearest to v within lo .. hi.
  Writer& step(float v, float lo, float hi) {
    return byte(
        uint8_t(std::lround(std::fmin(std::fmax((v - lo) / (hi - lo), 0.0f), 1.0f) * float(kSpecial - 1))));
  }
  bool save(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(bytes_.data(), 1, bytes_.size(), f) == bytes_.size();
    return f && std::fclose(f) == 0 && ok;
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

// Handles `--write-seeds DIR` (from LLVMFuzzerInitialize, before libFuzzer reads its flags):
// every seed is written to DIR and the process exits.
template <typename SeedFn>
void writeSeedsIfAsked(int* argc, char*** argv, SeedFn seeds) {
  for (int i = 1; i + 1 < *argc; ++i) {
    if (std::strcmp((*argv)[i], "--write-seeds") != 0) continue;
    const std::string dir = (*argv)[i + 1];
    int n = 0;
    bool ok = true;
    for (const Writer& w : seeds()) ok = w.save(dir + "/seed-" + std::to_string(n++)) && ok;
    std::fprintf(stderr, "%d seeds written to %s\n", n, dir.c_str());
    std::exit(ok ? 0 : 1);
  }
}

}  // namespace fuzz
