#include "files/deflatedExrWriter.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfPartType.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "files/exrCoreStream.h"
#include "files/exrLayout.h"
#include "files/zipChunk.h"

namespace {

// An Imf output stream into memory.
class MemoryOStream : public Imf::OStream {
 public:
  explicit MemoryOStream(std::vector<uint8_t>& bytes) : Imf::OStream("memory"), bytes_(bytes) {}
  void write(const char c[], int n) override {
    if (bytes_.size() < at_ + size_t(n)) bytes_.resize(at_ + size_t(n));
    std::memcpy(bytes_.data() + at_, c, size_t(n));
    at_ += size_t(n);
  }
  uint64_t tellp() override { return at_; }
  void seekp(uint64_t pos) override { at_ = size_t(pos); }

 private:
  std::vector<uint8_t>& bytes_;
  size_t at_ = 0;
};

// The file as OpenEXR writes it uncompressed: one row a chunk.
std::vector<uint8_t> uncompressedFile(const Imf::Header& header, const Imf::FrameBuffer& frame, int threads) {
  Imf::Header plain = header;
  plain.compression() = Imf::NO_COMPRESSION;
  std::vector<uint8_t> bytes;
  const Imath::Box2i& d = header.dataWindow();
  size_t pixelBytes = 0;
  for (auto c = header.channels().begin(); c != header.channels().end(); ++c)
    pixelBytes += c.channel().type == Imf::HALF ? 2 : 4;
  bytes.reserve(pixelBytes * size_t(d.max.x - d.min.x + 1) * size_t(d.max.y - d.min.y + 1) + (1 << 16));
  MemoryOStream stream(bytes);
  Imf::OutputFile out(stream, plain, threads);
  out.setFrameBuffer(frame);
  out.writePixels(header.dataWindow().max.y - header.dataWindow().min.y + 1);
  return bytes;
}

}  // namespace

bool writesDeflated(const Imf::Header& header) {
  const Imf::Compression c = header.compression();
  return (c == Imf::ZIP_COMPRESSION || c == Imf::ZIPS_COMPRESSION) && !header.hasTileDescription() &&
         !(header.hasType() && header.type() != Imf::SCANLINEIMAGE) && header.lineOrder() == Imf::INCREASING_Y;
}

void writeDeflatedExr(const Imf::Header& header, const Imf::FrameBuffer& frame, const std::string& path,
                      int threads) {
  const std::vector<uint8_t> file = uncompressedFile(header, frame, threads);
  ExrHeaders headers;
  if (!findExrHeaders(file, headers) || headers.multipart || !headers.compressionAt[0])
    throw std::runtime_error("the EXR library wrote a header this writer does not follow");
  ExrCoreContext plain;
  ExrCoreContext::readMemory(plain, file.data(), file.size());
  const int y0 = header.dataWindow().min.y, height = header.dataWindow().max.y - y0 + 1;
  std::vector<exr_chunk_info_t> rows(static_cast<size_t>(height));
  for (int r = 0; r < height; ++r)
    plain.check(exr_read_scanline_chunk_info(plain.get(), 0, y0 + r, &rows[size_t(r)]));

  // The packed rows of an uncompressed file follow one another in a chunk of several rows.
  const size_t rowsPerChunk = header.compression() == Imf::ZIP_COMPRESSION ? 16 : 1;
  std::vector<std::vector<uint8_t>> chunks((rows.size() + rowsPerChunk - 1) / rowsPerChunk);
  forEachChunk(chunks.size(), threads, [&](ZipChunkCodec& codec, std::vector<uint8_t>& packed, size_t c) {
    packed.clear();
    for (size_t r = c * rowsPerChunk; r < std::min(rows.size(), (c + 1) * rowsPerChunk); ++r)
      packed.insert(packed.end(), file.data() + rows[r].data_offset,
                    file.data() + rows[r].data_offset + rows[r].packed_size);
    codec.compress(packed.data(), packed.size(), chunks[c]);
  });

  // OpenEXR's header as it wrote it, its compression now zip; the offset table; then each chunk:
  // its first row, its size and its bytes.
  std::vector<uint8_t> head(file.begin(), file.begin() + long(headers.end));
  head[headers.compressionAt[0]] = uint8_t(rowsPerChunk > 1 ? EXR_COMPRESSION_ZIP : EXR_COMPRESSION_ZIPS);
  uint64_t offset = head.size() + 8 * chunks.size();
  for (const std::vector<uint8_t>& chunk : chunks) {
    appendExr(head, offset);
    offset += 8 + chunk.size();
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
  for (size_t c = 0; c < chunks.size(); ++c) {
    std::vector<uint8_t> leader;
    appendExr(leader, int32_t(y0 + int(c * rowsPerChunk)));
    appendExr(leader, int32_t(chunks[c].size()));
    out.write(reinterpret_cast<const char*>(leader.data()), 8);
    out.write(reinterpret_cast<const char*>(chunks[c].data()), std::streamsize(chunks[c].size()));
  }
  out.close();
  if (!out) throw std::runtime_error(std::strerror(errno));
}
