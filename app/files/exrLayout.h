// The byte layout of OpenEXR files where the zip paths lay chunks out themselves: the headers,
// which they copy as OpenEXR wrote them, and the chunk offset tables that follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The headers of an EXR file as bytes: where they end (and the offset tables begin), and where
// each part's compression value lies (0 where it has none).
struct ExrHeaders {
  size_t end = 0;
  bool multipart = false;
  std::vector<size_t> compressionAt;
};

// False when `b` does not start with headers laid out as EXR lays them (or holds only some).
bool findExrHeaders(const std::vector<uint8_t>& b, ExrHeaders& out);

// Appends `v` as EXR stores it: little-endian, as on every machine orvel runs on.
template <class T>
void appendExr(std::vector<uint8_t>& bytes, T v) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&v);
  bytes.insert(bytes.end(), p, p + sizeof v);
}
