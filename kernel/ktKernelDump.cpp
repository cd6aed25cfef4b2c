#include "ktKernelDump.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// Appends v as four little-endian bytes, whatever the machine's byte order.
void appendLittleEndian(std::vector<char>& bytes, float v) {
  std::uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(char((u >> shift) & 0xffu));
}

}  // namespace

bool writeKernelPlanePfm(const ktChannelFloatBuffer& buffer, DD::Image::Channel z, const std::string& path) {
  if (buffer.width <= 0 || buffer.height <= 0 || z < 0 || size_t(z) >= buffer.planes.size()) return false;
  const std::vector<float>& plane = buffer.plane(z);
  const size_t count = size_t(buffer.width) * size_t(buffer.height);
  if (plane.size() < count) return false;

  std::vector<char> bytes;
  bytes.reserve(count * 4);
  for (int y = buffer.height - 1; y >= 0; --y)
    for (int x = 0; x < buffer.width; ++x) appendLittleEndian(bytes, plane[size_t(y) * buffer.width + x]);

  std::ofstream file(path, std::ios::binary);
  if (!file) return false;
  file << "Pf\n" << buffer.width << ' ' << buffer.height << "\n-1.0\n";
  file.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(file);
}
