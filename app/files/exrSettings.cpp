#include "files/exrSettings.h"

#include <OpenEXR/ImfThreading.h>

#include "DDImage/Thread.h"

namespace {

struct Method {
  const char* name;
  Imf::Compression compression;
  int rows;
};

const Method kMethods[] = {
    {"none", Imf::NO_COMPRESSION, 1},    {"rle", Imf::RLE_COMPRESSION, 1},
    {"zips", Imf::ZIPS_COMPRESSION, 1},  {"zip", Imf::ZIP_COMPRESSION, 16},
    {"piz", Imf::PIZ_COMPRESSION, 32},   {"pxr24", Imf::PXR24_COMPRESSION, 16},
    {"b44", Imf::B44_COMPRESSION, 32},   {"b44a", Imf::B44A_COMPRESSION, 32},
    {"dwaa", Imf::DWAA_COMPRESSION, 32}, {"dwab", Imf::DWAB_COMPRESSION, 256},
};

}  // namespace

bool exrCompressionNamed(const std::string& name, Imf::Compression& out) {
  for (const Method& m : kMethods)
    if (name == m.name) {
      out = m.compression;
      return true;
    }
  return false;
}

std::string exrCompressionNames() {
  std::string names;
  for (const Method& m : kMethods) names += (names.empty() ? "" : ", ") + std::string(m.name);
  return names;
}

int exrRowsPerChunk(Imf::Compression c) {
  for (const Method& m : kMethods)
    if (c == m.compression) return m.rows;
  return 256;  // the most any method takes
}

void setExrThreads(unsigned threads) {
  Imf::setGlobalThreadCount(int(threads ? threads : DD::Image::Thread::numCPUs));
}
