// Zip EXR files through libdeflate: what the writer makes, OpenEXR's own reader reads back bit for
// bit; what OpenEXR writes with zlib, the reader reads back bit for bit, for every storage (deep
// parts know zips alone); a damaged chunk is refused with a clear message.
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfDeepFrameBuffer.h>
#include <OpenEXR/ImfDeepScanLineInputPart.h>
#include <OpenEXR/ImfDeepScanLineOutputFile.h>
#include <OpenEXR/ImfDeepTiledInputPart.h>
#include <OpenEXR/ImfDeepTiledOutputFile.h>
#include <OpenEXR/ImfInputFile.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfPartType.h>
#include <OpenEXR/ImfTiledOutputFile.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "files/deflatedExrReader.h"
#include "files/deflatedExrWriter.h"
#include "files/exrCoreStream.h"
#include "files/fileMapping.h"
#include "files/imageReader.h"

namespace {

enum Storage { kScanline, kTiled, kDeepScanline, kDeepTiled };

struct Case {
  const char* name;
  Storage storage;
  Imf::PixelType type;
  Imf::Compression compression;
  int width;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::string kPath = (std::filesystem::temp_directory_path() / ("zip-" + std::to_string(getpid()) + ".exr")).string();
const char* const kNames[] = {"A", "B", "G", "R", "Z"};
constexpr int kHeight = 35;  // three ZIP chunks, the last short

// Samples by channel (their bytes as stored) and counts by pixel: p % 3 samples in a deep pixel.
// Mostly a smooth ramp, which compresses, with NaNs, infinities and denormals among it.
struct Image {
  std::vector<unsigned> counts;
  std::vector<std::vector<char>> bytes;
  bool operator==(const Image& o) const { return counts == o.counts && bytes == o.bytes; }
};

Image source(const Case& c) {
  Image im;
  const bool deep = c.storage >= kDeepScanline;
  const size_t size = c.type == Imf::HALF ? 2 : 4;
  for (int p = 0; p < c.width * kHeight; ++p) im.counts.push_back(deep ? unsigned(p % 3) : 1u);
  for (int ch = 0; ch < 5; ++ch) {
    std::vector<char>& out = im.bytes.emplace_back();
    for (unsigned s = 0, n = 0; s < im.counts.size(); ++s)
      for (unsigned k = 0; k < im.counts[s]; ++k, ++n) {
        const float v = 0.01f * float(s % 50) + float(ch + k);
        const uint32_t special[] = {0x7fc01234u, 0xff800000u, 0x00000003u};
        uint32_t f;
        std::memcpy(&f, &v, 4);
        if (n % 41 < 3) f = special[n % 41];
        const uint16_t h = n % 41 < 3 ? uint16_t(0x7e12 + n % 41 * 0x100) : half(v).bits();
        char b[4];
        size == 2 ? std::memcpy(b, &h, 2) : std::memcpy(b, &f, 4);
        out.insert(out.end(), b, b + size);
      }
  }
  return im;
}

// The frame buffers over an image laid out by `counts` (flat: one sample a pixel).
struct Frames {
  Imf::FrameBuffer flat;
  Imf::DeepFrameBuffer deep;
  std::vector<std::vector<char*>> pointers;
  Frames(Image& im, const Case& c) {
    const size_t size = c.type == Imf::HALF ? 2 : 4, width = size_t(c.width);
    deep.insertSampleCountSlice(Imf::Slice(Imf::UINT, reinterpret_cast<char*>(im.counts.data()), 4, 4 * width));
    for (int ch = 0; ch < 5; ++ch) {
      flat.insert(kNames[ch], Imf::Slice(c.type, im.bytes[size_t(ch)].data(), size, size * width));
      std::vector<char*>& p = pointers.emplace_back();
      for (size_t i = 0, at = 0; i < im.counts.size(); at += im.counts[i++]) p.push_back(im.bytes[size_t(ch)].data() + at * size);
      deep.insert(kNames[ch], Imf::DeepSlice(c.type, reinterpret_cast<char*>(p.data()), sizeof(char*),
                                              sizeof(char*) * width, size));
    }
  }
};

Imf::Header headerFor(const Case& c) {
  Imf::Header h(c.width, kHeight);
  h.compression() = c.compression;
  for (const char* n : kNames) h.channels().insert(n, Imf::Channel(c.type));
  if (c.storage == kTiled || c.storage == kDeepTiled) h.setTileDescription(Imf::TileDescription(16, 8));
  const std::string types[] = {Imf::SCANLINEIMAGE, Imf::TILEDIMAGE, Imf::DEEPSCANLINE, Imf::DEEPTILE};
  h.setType(types[c.storage]);
  return h;
}

void writeStock(const Case& c, Image im) {
  Frames f(im, c);
  const Imf::Header h = headerFor(c);
  if (c.storage == kScanline) {
    Imf::OutputFile out(kPath.c_str(), h);
    out.setFrameBuffer(f.flat), out.writePixels(kHeight);
  } else if (c.storage == kTiled) {
    Imf::TiledOutputFile out(kPath.c_str(), h);
    out.setFrameBuffer(f.flat), out.writeTiles(0, out.numXTiles() - 1, 0, out.numYTiles() - 1);
  } else if (c.storage == kDeepScanline) {
    Imf::DeepScanLineOutputFile out(kPath.c_str(), h);
    out.setFrameBuffer(f.deep), out.writePixels(kHeight);
  } else {
    Imf::DeepTiledOutputFile out(kPath.c_str(), h);
    out.setFrameBuffer(f.deep), out.writeTiles(0, out.numXTiles() - 1, 0, out.numYTiles() - 1);
  }
}

Image read(Imf::MultiPartInputFile& file, const Case& c) {
  Image im = source(c);  // the layout; every byte is overwritten
  for (auto& b : im.bytes) std::fill(b.begin(), b.end(), char(0x55));
  Frames f(im, c);
  if (c.storage <= kTiled) {
    Imf::InputPart in(file, 0);
    in.setFrameBuffer(f.flat), in.readPixels(0, kHeight - 1);
  } else if (c.storage == kDeepScanline) {
    Imf::DeepScanLineInputPart in(file, 0);
    in.setFrameBuffer(f.deep), in.readPixelSampleCounts(0, kHeight - 1), in.readPixels(0, kHeight - 1);
  } else {
    Imf::DeepTiledInputPart in(file, 0);
    in.setFrameBuffer(f.deep);
    in.readPixelSampleCounts(0, in.numXTiles() - 1, 0, in.numYTiles() - 1);
    in.readTiles(0, in.numXTiles() - 1, 0, in.numYTiles() - 1);
  }
  return im;
}

// orvel's reader (which decodes flat zip chunks itself) gives the floats OpenEXR's reader gives.
bool decodedAsStockReads(const Case& c) {
  LoadedImage loaded;
  std::vector<std::string> warnings;
  if (!readImage(kPath, 1e9, loaded, warnings).ok()) return false;
  const size_t width = size_t(c.width), pixels = width * kHeight;
  Imf::FrameBuffer frame;
  std::vector<std::vector<float>> stock(5, std::vector<float>(pixels));
  for (int ch = 0; ch < 5; ++ch)
    frame.insert(kNames[ch], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(stock[size_t(ch)].data()), 4, 4 * width));
  Imf::InputFile in(kPath.c_str());
  in.setFrameBuffer(frame), in.readPixels(0, kHeight - 1);
  for (int ch = 0; ch < 5; ++ch) {
    const float* plane = loaded.image->plane(hostChannel(kNames[ch]));
    for (size_t row = 0; plane && row < kHeight; ++row)  // the planes' rows count up
      if (std::memcmp(plane + (kHeight - 1 - row) * width, stock[size_t(ch)].data() + row * width, 4 * width)) return false;
    if (!plane) return false;
  }
  return true;
}

class ZipFiles : public ::testing::TestWithParam<Case> {
 protected:
  void TearDown() override { std::filesystem::remove(kPath); }
};

TEST_P(ZipFiles, ReadBackBitForBitBothWays) {
  const Case& c = GetParam();
  writeStock(c, source(c));
  std::unique_ptr<Imf::IStream> copy;
  ASSERT_TRUE(openDeflatedExr(kPath, 1e9, 2, copy).ok());
  ASSERT_TRUE(copy) << "the file was not read through the zip path";
  Imf::MultiPartInputFile fromCopy(*copy);
  EXPECT_TRUE(read(fromCopy, c) == source(c)) << "stock writer, new reader";
  if (c.storage != kScanline) return;  // the writer writes flat scanline files, as orvel does
  EXPECT_TRUE(decodedAsStockReads(c)) << "stock writer, orvel's chunk decoder";

  Image im = source(c);
  writeDeflatedExr(headerFor(c), Frames(im, c).flat, kPath, 2);
  exr_chunk_info_t first;
  ExrCoreContext written;
  ExrCoreContext::readFile(written, kPath);
  written.check(exr_read_scanline_chunk_info(written.get(), 0, 0, &first));
  EXPECT_LT(first.packed_size, first.unpacked_size) << "the chunk is not compressed";
  Imf::MultiPartInputFile stock(kPath.c_str());
  EXPECT_TRUE(read(stock, c) == im) << "new writer, stock reader";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Storages, ZipFiles, ::testing::Values(
    Case{"ScanlineFloatZip", kScanline, Imf::FLOAT, Imf::ZIP_COMPRESSION, 37},
    Case{"ScanlineHalfZips", kScanline, Imf::HALF, Imf::ZIPS_COMPRESSION, 37},
    Case{"ScanlineHalfZipOneWide", kScanline, Imf::HALF, Imf::ZIP_COMPRESSION, 1},
    Case{"ScanlineFloatZipsOdd", kScanline, Imf::FLOAT, Imf::ZIPS_COMPRESSION, 5},
    Case{"TiledHalfZip", kTiled, Imf::HALF, Imf::ZIP_COMPRESSION, 37},
    Case{"TiledFloatZips", kTiled, Imf::FLOAT, Imf::ZIPS_COMPRESSION, 21},
    Case{"DeepScanlineFloat", kDeepScanline, Imf::FLOAT, Imf::ZIPS_COMPRESSION, 37},
    Case{"DeepScanlineHalf", kDeepScanline, Imf::HALF, Imf::ZIPS_COMPRESSION, 19},
    Case{"DeepTiledHalf", kDeepTiled, Imf::HALF, Imf::ZIPS_COMPRESSION, 37},
    Case{"DeepTiledFloat", kDeepTiled, Imf::FLOAT, Imf::ZIPS_COMPRESSION, 23}),
    [](const auto& info) { return info.param.name; });
// clang-format on

// A flipped byte in the middle of the first chunk's stream: its checksum fails.
TEST(ZipFiles, ADamagedChunkIsRefusedWithAClearMessage) {
  const Case c{"", kScanline, Imf::FLOAT, Imf::ZIP_COMPRESSION, 37};
  writeStock(c, source(c));
  exr_chunk_info_t chunk;
  {
    ExrCoreContext file;
    ExrCoreContext::readFile(file, kPath);
    file.check(exr_read_scanline_chunk_info(file.get(), 0, 0, &chunk));
  }
  std::fstream f(kPath, std::ios::in | std::ios::out | std::ios::binary);
  const std::streamoff at = std::streamoff(chunk.data_offset + chunk.packed_size / 2);
  const char byte = char(f.seekg(at).get());
  f.seekp(at).put(char(~byte)).flush();
  f.close();
  LoadedImage loaded;
  std::vector<std::string> warnings;
  const Status s = readImage(kPath, 1e9, loaded, warnings);
  std::filesystem::remove(kPath);
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(s.message, "cannot read the pixels of '" + kPath + "': a zip chunk (rows from 0) is damaged");
}

}  // namespace
