// Bytes as an image file, read by orvel's flat and deep readers into the host's input operators.
// Every input gives an image or a usage status, never a crash, and a deep image read serves its
// samples. Seeds: small flat and deep EXR files written through OpenEXR (scanline and tiled, float and half,
// with and without ZBack), all zip or zips, so that their chunks go through the libdeflate
// decompressor; the bytes are also given to it as one chunk.
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfDeepFrameBuffer.h>
#include <OpenEXR/ImfDeepScanLineOutputFile.h>
#include <OpenEXR/ImfDeepTiledOutputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DDImage/DeepPlane.h"
#include "files/deepReader.h"
#include "files/imageReader.h"
#include "files/zipChunk.h"
#include "fuzz_input.h"

namespace {

// Enough for every seed, small enough that a forged header is refused long before the
// fuzzer's memory limit.
constexpr double kMaxBytes = 64.0 * 1024 * 1024;

const std::string kScratch = "/tmp/exr_reader_fuzz-" + std::to_string(::getpid()) + ".exr";

// The file `write(path)` makes, as a seed.
template <typename Write>
fuzz::Writer seedFile(Write write) {
  write(kScratch.c_str());
  std::ostringstream bytes;
  bytes << std::ifstream(kScratch, std::ios::binary).rdbuf();
  std::remove(kScratch.c_str());
  return fuzz::Writer().text(bytes.str());
}

// Values of one channel, stored in the file's pixel type, `count` of them.
struct Values {
  Imf::PixelType type;
  std::vector<char> bytes;
  Values(Imf::PixelType t, const std::vector<float>& v)
      : type(t), bytes(v.size() * (t == Imf::HALF ? 2 : 4)) {
    for (size_t i = 0; i < v.size(); ++i) {
      if (t == Imf::HALF) reinterpret_cast<half*>(bytes.data())[i] = half(v[i]);
      if (t == Imf::FLOAT) reinterpret_cast<float*>(bytes.data())[i] = v[i];
      if (t == Imf::UINT) reinterpret_cast<unsigned*>(bytes.data())[i] = unsigned(v[i]);
    }
  }
  size_t size() const { return type == Imf::HALF ? 2 : 4; }
};

// R G B A Z over a data window beyond the display window, scanline float or tiled half.
fuzz::Writer flatSeed(bool tiled) {
  const Imath::Box2i data({-1, 0}, {3, 2}), display({0, 0}, {3, 3});
  Imf::Header header(display, data);
  const char* names[] = {"R", "G", "B", "A", "Z"};
  const Imf::PixelType type = tiled ? Imf::HALF : Imf::FLOAT;
  std::vector<Values> values;
  for (int c = 0; c < 5; ++c) {
    header.channels().insert(names[c], Imf::Channel(type));
    std::vector<float> v(15);
    for (int i = 0; i < 15; ++i) v[i] = c == 4 ? 50.0f + float(i * 5 + c) : 0.1f * float((i * 5 + c) % 7);
    values.emplace_back(type, v);
  }
  Imf::FrameBuffer frame;
  for (int c = 0; c < 5; ++c)
    frame.insert(names[c], Imf::Slice(type, values[c].bytes.data() + values[c].size(), values[c].size(),
                                      values[c].size() * 5));  // pixel (-1, 0) first
  if (tiled) header.setTileDescription(Imf::TileDescription(2, 2));
  return seedFile([&](const char* path) {
    if (tiled) {
      Imf::TiledOutputFile out(path, header);
      out.setFrameBuffer(frame);
      out.writeTiles(0, out.numXTiles() - 1, 0, out.numYTiles() - 1);
    } else {
      Imf::OutputFile out(path, header);
      out.setFrameBuffer(frame);
      out.writePixels(3);
    }
  });
}

// A 4 x 3 deep image of p % 3 samples in pixel p: R G B A Z, a uint id, and ZBack in variants
// 1 (scanline half) and 2 (tiled float); variant 0 is scanline float.
fuzz::Writer deepSeed(int variant) {
  const Imf::PixelType type = variant == 1 ? Imf::HALF : Imf::FLOAT;
  std::vector<std::string> names{"R", "G", "B", "A", "Z", "id"};
  if (variant) names.push_back("ZBack");
  Imf::Header header(4, 3);
  header.compression() = Imf::ZIPS_COMPRESSION;
  std::vector<unsigned> counts(12);
  for (int p = 0; p < 12; ++p) counts[p] = unsigned(p % 3);
  std::vector<Values> values;
  std::vector<std::vector<char*>> pointers(names.size(), std::vector<char*>(12));
  Imf::DeepFrameBuffer frame;
  frame.insertSampleCountSlice(Imf::Slice(Imf::UINT, reinterpret_cast<char*>(counts.data()), 4, 16));
  values.reserve(names.size());
  for (size_t c = 0; c < names.size(); ++c) {
    const Imf::PixelType t = names[c] == "id" ? Imf::UINT : type;
    header.channels().insert(names[c], Imf::Channel(t));
    std::vector<float> v;
    for (int p = 0; p < 12; ++p)
      for (int s = 0; s < p % 3; ++s)
        v.push_back(c >= 4 && c != 5 ? 40.0f + 10.0f * float(s + c - 4) : 0.25f * float(c + s));
    values.emplace_back(t, v);
    for (size_t p = 0, at = 0; p < 12; at += counts[p++])
      pointers[c][p] = values[c].bytes.data() + at * values[c].size();
    frame.insert(names[c], Imf::DeepSlice(t, reinterpret_cast<char*>(pointers[c].data()), sizeof(char*),
                                          4 * sizeof(char*), values[c].size()));
  }
  return seedFile([&](const char* path) {
    if (variant == 2) {
      header.setTileDescription(Imf::TileDescription(2, 2));
      header.setType(Imf::DEEPTILE);
      Imf::DeepTiledOutputFile out(path, header);
      out.setFrameBuffer(frame);
      out.writeTiles(0, out.numXTiles() - 1, 0, out.numYTiles() - 1);
    } else {
      header.setType(Imf::DEEPSCANLINE);
      Imf::DeepScanLineOutputFile out(path, header);
      out.setFrameBuffer(frame);
      out.writePixels(3);
    }
  });
}

std::vector<fuzz::Writer> seeds() {
  return {flatSeed(false), flatSeed(true), deepSeed(0), deepSeed(1), deepSeed(2)};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::writeSeedsIfAsked(argc, argv, seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::ofstream(kScratch, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  std::vector<uint8_t> raw(size * 3 + 1);
  ZipChunkCodec().decompress(data, size, raw.data(), raw.size());
  std::vector<std::string> warnings;
  LoadedImage flat;
  const Status flatRead = readImage(kScratch, kMaxBytes, flat, warnings);
  FUZZ_CHECK(flatRead.ok() == (flat.image != nullptr) && (flatRead.ok() || flatRead.code == kExitUsage));
  LoadedDeep deep;
  const Status deepRead = readDeepImage(kScratch, kMaxBytes, deep, warnings);
  FUZZ_CHECK(deepRead.ok() == (deep.image != nullptr) && (deepRead.ok() || deepRead.code == kExitUsage));
  if (!deep.image) return 0;
  // Every sample, as the node asks for them.
  DD::Image::DeepPlane plane;
  const DD::Image::DeepInfo& info = deep.image->deepInfo();
  FUZZ_CHECK(deep.image->deepEngine(info.box(), info.channels(), plane) && plane.box() == info.box());
  volatile float sum = 0;
  for (int y = plane.box().y(); y < plane.box().t(); ++y)
    for (int x = plane.box().x(); x < plane.box().r(); ++x) {
      const DD::Image::DeepPixel pixel = plane.getPixel(y, x);
      for (size_t i = 0; i < pixel.getSampleCount(); ++i)
        sum = sum + pixel.getOrderedSample(i, DD::Image::Chan_DeepFront);
    }
  return 0;
}
