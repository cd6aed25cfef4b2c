#include "files/zipPartDecoder.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfPartType.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "files/exrCoreStream.h"
#include "files/zipChunk.h"

namespace {

// Where a chunk's rows go: per channel in the file's order, its bytes a row and its plane.
struct ChannelRow {
  bool half;
  size_t bytes;
  float* plane;  // null: skipped
};

// One row of a channel, as EXR stores it (little-endian, as on every machine orvel runs on).
void convertRow(const uint8_t* from, const ChannelRow& c, size_t width, float* to) {
  if (!c.half) {
    std::memcpy(to, from, width * sizeof(float));
    return;
  }
  for (size_t x = 0; x < width; ++x) {
    uint16_t bits;
    std::memcpy(&bits, from + 2 * x, 2);
    half h;
    h.setBits(bits);
    to[x] = float(h);
  }
}

}  // namespace

bool decodesZipPart(const Imf::Header& header) {
  const Imf::Compression c = header.compression();
  if ((c != Imf::ZIP_COMPRESSION && c != Imf::ZIPS_COMPRESSION) || header.hasTileDescription() ||
      (header.hasType() && header.type() != Imf::SCANLINEIMAGE))
    return false;
  for (auto ch = header.channels().begin(); ch != header.channels().end(); ++ch) {
    const Imf::Channel& channel = ch.channel();
    if ((channel.type != Imf::HALF && channel.type != Imf::FLOAT) || channel.xSampling != 1 ||
        channel.ySampling != 1)
      return false;
  }
  return true;
}

void decodeZipPart(const std::string& path, int part, const Imf::Header& header,
                   const std::map<std::string, float*>& planes, int threads) {
  const Imath::Box2i& d = header.dataWindow();
  const size_t width = size_t(int64_t(d.max.x) - d.min.x + 1);
  std::vector<ChannelRow> rows;
  size_t lineBytes = 0;
  for (auto ch = header.channels().begin(); ch != header.channels().end(); ++ch) {
    const auto plane = planes.find(ch.name());
    const bool isHalf = ch.channel().type == Imf::HALF;
    rows.push_back(ChannelRow{isHalf, width * (isHalf ? 2 : 4), plane == planes.end() ? nullptr : plane->second});
    lineBytes += rows.back().bytes;
  }
  ExrCoreContext file;
  ExrCoreContext::readFile(file, path);
  const int rowsPerChunk = file.scanlinesPerChunk(part);
  const int64_t chunks = (int64_t(d.max.y) - d.min.y + rowsPerChunk) / rowsPerChunk;
  // The chunk table is read on the first request, before the threads ask for chunks.
  exr_chunk_info_t first;
  file.check(exr_read_scanline_chunk_info(file.get(), part, d.min.y, &first));
  // Each thread's scratch holds the chunk as stored, then as decompressed.
  forEachChunk(size_t(chunks), threads, [&](ZipChunkCodec& codec, std::vector<uint8_t>& scratch, size_t c) {
    exr_chunk_info_t info;
    file.check(exr_read_scanline_chunk_info(file.get(), part, int(d.min.y + int64_t(c) * rowsPerChunk), &info));
    if (info.height < 0 || info.start_y < d.min.y || int64_t(info.start_y) + info.height - 1 > d.max.y ||
        info.unpacked_size != uint64_t(info.height) * lineBytes)
      throw std::runtime_error("a chunk " + chunkPlace(info) + " is not as EXR lays it");
    const size_t packedSize = size_t(info.packed_size);
    scratch.resize(packedSize + size_t(info.unpacked_size));
    file.check(exr_read_chunk(file.get(), part, &info, scratch.data()));
    uint8_t* raw = scratch.data() + packedSize;
    if (!codec.decompress(scratch.data(), packedSize, raw, size_t(info.unpacked_size)))
      throw std::runtime_error("a zip chunk " + chunkPlace(info) + " is damaged");
    const uint8_t* at = raw;
    for (int line = 0; line < info.height; ++line) {
      const size_t planeRow = size_t(int64_t(d.max.y) - (int64_t(info.start_y) + line));
      for (const ChannelRow& r : rows) {
        if (r.plane) convertRow(at, r, width, r.plane + planeRow * width);
        at += r.bytes;
      }
    }
  });
}
