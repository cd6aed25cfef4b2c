// Fuzz target: bytes as an image file, read by orvel's flat and deep readers into the host's
// input operators. Every input must give an image or a usage status, never a crash, and a
// deep image read must serve its samples. `--write-seeds DIR` writes small valid flat and deep
// EXR files (scanline and tiled, float and half, with and without ZBack) as the seed corpus.
#include <OpenImageIO/deepdata.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DDImage/DeepPlane.h"
#include "deepReader.h"
#include "imageReader.h"

namespace {

// Enough for every seed, small enough that a forged header is refused long before the
// fuzzer's memory limit.
constexpr double kMaxBytes = 64.0 * 1024 * 1024;

std::string scratchPath(const char* extension) {
  return "/tmp/fuzz_exr_reader-" + std::to_string(::getpid()) + extension;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void flatSeed(const std::string& path, int tile, OIIO::TypeDesc type) {
  OIIO::ImageSpec spec(5, 3, 5, type);
  spec.channelnames = {"R", "G", "B", "A", "Z"};
  spec.x = -1;
  spec.full_width = 4;
  spec.full_height = 4;
  if (tile) spec.tile_width = spec.tile_height = tile;
  std::vector<float> pixels(5 * 3 * 5);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 5 == 4 ? 50.0f + float(i) : 0.1f * float(i % 7);
  auto out = OIIO::ImageOutput::create(path);
  if (out && out->open(path, spec)) out->write_image(OIIO::TypeDesc::FLOAT, pixels.data());
  if (out) out->close();
}

void deepSeed(const std::string& path, int tile, bool back, OIIO::TypeDesc type) {
  std::vector<std::string> names{"R", "G", "B", "A", "Z", "id"};
  if (back) names.push_back("ZBack");
  OIIO::ImageSpec spec(4, 3, int(names.size()), type);
  spec.channelnames = names;
  spec.channelformats.assign(names.size(), type);
  spec.channelformats[5] = OIIO::TypeDesc::UINT;
  spec.deep = true;
  if (tile) spec.tile_width = spec.tile_height = tile;
  OIIO::DeepData data;
  data.init(spec);
  for (int p = 0; p < 12; ++p) data.set_samples(p, p % 3);
  for (int p = 0; p < 12; ++p)
    for (int s = 0; s < p % 3; ++s)
      for (int c = 0; c < int(names.size()); ++c)
        data.set_deep_value(p, c, s,
                            c >= 4 && c != 5 ? 40.0f + 10.0f * float(s + c - 4) : 0.25f * float(c + s));
  auto out = OIIO::ImageOutput::create(path);
  if (out && out->open(path, spec)) out->write_deep_image(data);
  if (out) out->close();
}

void writeSeeds(const std::string& dir) {
  const std::string file = scratchPath(".exr");
  int n = 0;
  const auto keep = [&] {
    char name[32];
    std::snprintf(name, sizeof name, "/seed-%03d", n++);
    const std::string bytes = readFile(file);
    writeFile(dir + name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  };
  flatSeed(file, 0, OIIO::TypeDesc::FLOAT), keep();
  flatSeed(file, 2, OIIO::TypeDesc::HALF), keep();
  deepSeed(file, 0, false, OIIO::TypeDesc::FLOAT), keep();
  deepSeed(file, 0, true, OIIO::TypeDesc::HALF), keep();
  deepSeed(file, 2, true, OIIO::TypeDesc::FLOAT), keep();
  std::remove(file.c_str());
  std::fprintf(stderr, "%d seeds written to %s\n", n, dir.c_str());
}

// Asks the deep operator for every sample, as the node does.
void serveSamples(standin::MemoryDeepOp& deep) {
  DD::Image::DeepPlane plane;
  const DD::Image::DeepInfo& info = deep.deepInfo();
  if (!deep.deepEngine(info.box(), info.channels(), plane) || !(plane.box() == info.box())) std::abort();
  float sum = 0;
  for (int y = plane.box().y(); y < plane.box().t(); ++y)
    for (int x = plane.box().x(); x < plane.box().r(); ++x) {
      const DD::Image::DeepPixel pixel = plane.getPixel(y, x);
      for (size_t i = 0; i < pixel.getSampleCount(); ++i)
        sum += pixel.getOrderedSample(i, DD::Image::Chan_DeepFront);
    }
  volatile float keep = sum;
  (void)keep;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i + 1 < *argc; ++i)
    if (std::strcmp((*argv)[i], "--write-seeds") == 0) {
      writeSeeds((*argv)[i + 1]);
      std::exit(0);
    }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = scratchPath(".exr");
  writeFile(path, data, size);
  std::vector<std::string> warnings;
  LoadedImage flat;
  const Status flatRead = readImage(path, kMaxBytes, flat, warnings);
  if (flatRead.ok() != (flat.image != nullptr) || (!flatRead.ok() && flatRead.code != kExitUsage))
    std::abort();
  LoadedDeep deep;
  const Status deepRead = readDeepImage(path, kMaxBytes, deep, warnings);
  if (deepRead.ok() != (deep.image != nullptr) || (!deepRead.ok() && deepRead.code != kExitUsage))
    std::abort();
  if (deep.image) serveSamples(*deep.image);
  return 0;
}
