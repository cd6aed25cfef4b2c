#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "ktKernelDump.h"

using DD::Image::Chan_Blue;
using DD::Image::Chan_Green;

namespace {

std::string tempPath(const char* name) { return testing::TempDir() + name; }

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

float littleEndianFloat(const std::string& bytes, size_t at) {
  std::uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= std::uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  float v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}

}  // namespace

TEST(KernelDump, WritesAGreyscalePfmBottomRowFirst) {
  ktChannelFloatBuffer b;
  b.init(Chan_Green, 3, 2);
  const float values[6] = {0.5f, -1.25f, 3.0f, 1e-7f, 0.0f, 42.0f};
  std::copy(values, values + 6, b.planes[Chan_Green].begin());
  const std::string path = tempPath("orvel_kernel_dump.pfm");
  ASSERT_TRUE(writeKernelPlanePfm(b, Chan_Green, path));

  const std::string file = readFile(path);
  const std::string header = "Pf\n3 2\n-1.0\n";
  ASSERT_EQ(file.size(), header.size() + 6 * 4);
  EXPECT_EQ(file.substr(0, header.size()), header);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(littleEndianFloat(file, header.size() + 4 * i), values[i]) << i;
  std::remove(path.c_str());
}

TEST(KernelDump, RefusesUnsizedPlanesAndBadPaths) {
  ktChannelFloatBuffer b;
  b.init(Chan_Green, 2, 2);
  EXPECT_FALSE(writeKernelPlanePfm(b, Chan_Blue, tempPath("orvel_kernel_blue.pfm")));
  EXPECT_FALSE(writeKernelPlanePfm(b, Chan_Green, tempPath("no_such_dir/k.pfm")));
  EXPECT_FALSE(writeKernelPlanePfm(ktChannelFloatBuffer(), Chan_Green, tempPath("orvel_kernel_empty.pfm")));
}
