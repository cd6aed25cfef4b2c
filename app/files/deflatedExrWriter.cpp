#include "files/deflatedExrWriter.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfOutputFile.h>
#include <OpenEXR/ImfPartType.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

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

// The header as OpenEXR writes it: magic number, version, attributes. OpenEXR writes them, and the
// offset table, as soon as it opens a file; no pixels are written here.
std::vector<uint8_t> headerBytes(const Imf::Header& header) {
  std::vector<uint8_t> bytes;
  {
    MemoryOStream stream(bytes);
    Imf::OutputFile out(stream, header, 1);
  }
  ExrHeaders headers;
  if (!findExrHeaders(bytes, headers) || headers.multipart || !headers.compressionAt[0])
    throw std::runtime_error("the EXR library wrote a header this writer does not follow");
  bytes.resize(headers.end);
  return bytes;
}

// Where a chunk's bytes come from: per channel in the file's order, its slice and bytes a row.
struct ChannelSource {
  const char* base;
  size_t xStride, yStride, size;
};

// The packed rows [y, y + rows) as EXR stores them uncompressed: each row, channel after channel.
void packRows(const std::vector<ChannelSource>& channels, int x0, size_t width, int y, int rows,
              std::vector<uint8_t>& out) {
  out.clear();
  for (int r = y; r < y + rows; ++r)
    for (const ChannelSource& c : channels) {
      const char* row = c.base + intptr_t(r) * intptr_t(c.yStride) + intptr_t(x0) * intptr_t(c.xStride);
      const size_t at = out.size();
      out.resize(at + width * c.size);
      if (c.xStride == c.size) {
        std::memcpy(out.data() + at, row, width * c.size);
      } else {
        for (size_t x = 0; x < width; ++x) std::memcpy(out.data() + at + x * c.size, row + x * c.xStride, c.size);
      }
    }
}

// Chunks written to the file in their order as the threads finish them: a thread that completes
// the next chunk writes it and any finished after it, unless another is writing.
class ChunkSink {
 public:
  ChunkSink(std::ofstream& out, size_t chunks) : out_(out), sizes_(chunks) {}

  // Hands over chunk c, compressed in `bytes` (taken), and writes what is ready.
  void finished(size_t c, int y, std::vector<uint8_t>& bytes) {
    {
      std::lock_guard<std::mutex> lock(ready_);
      pending_[c] = Pending{y, std::move(bytes)};
    }
    std::unique_lock<std::mutex> writing(writing_, std::try_to_lock);
    if (writing) drain();
  }

  // Writes what is left once every chunk is finished; the chunks' sizes, in order.
  const std::vector<uint64_t>& close() {
    std::lock_guard<std::mutex> writing(writing_);
    drain();
    return sizes_;
  }

 private:
  struct Pending {
    int y;
    std::vector<uint8_t> bytes;
  };
  void drain() {
    for (;;) {
      Pending p;
      {
        std::lock_guard<std::mutex> lock(ready_);
        const auto next = pending_.find(next_);
        if (next == pending_.end()) return;
        p = std::move(next->second);
        pending_.erase(next);
      }
      std::vector<uint8_t> leader;
      appendExr(leader, int32_t(p.y));
      appendExr(leader, int32_t(p.bytes.size()));
      out_.write(reinterpret_cast<const char*>(leader.data()), 8);
      out_.write(reinterpret_cast<const char*>(p.bytes.data()), std::streamsize(p.bytes.size()));
      sizes_[next_++] = 8 + p.bytes.size();
    }
  }
  std::ofstream& out_;
  std::mutex ready_, writing_;
  std::map<size_t, Pending> pending_;
  std::vector<uint64_t> sizes_;
  size_t next_ = 0;
};

}  // namespace

bool writesDeflated(const Imf::Header& header, const Imf::FrameBuffer& frame) {
  const Imf::Compression c = header.compression();
  if ((c != Imf::ZIP_COMPRESSION && c != Imf::ZIPS_COMPRESSION) || header.hasTileDescription() ||
      (header.hasType() && header.type() != Imf::SCANLINEIMAGE) || header.lineOrder() != Imf::INCREASING_Y)
    return false;
  for (auto ch = header.channels().begin(); ch != header.channels().end(); ++ch) {
    const Imf::Slice* slice = frame.findSlice(ch.name());
    if (!slice || slice->type != ch.channel().type || ch.channel().xSampling != 1 || ch.channel().ySampling != 1 ||
        slice->xSampling != 1 || slice->ySampling != 1)
      return false;
  }
  return true;
}

void writeDeflatedExr(const Imf::Header& header, const Imf::FrameBuffer& frame, const std::string& path,
                      int threads) {
  std::vector<ChannelSource> channels;
  for (auto ch = header.channels().begin(); ch != header.channels().end(); ++ch) {
    const Imf::Slice& s = *frame.findSlice(ch.name());
    channels.push_back(ChannelSource{s.base, s.xStride, s.yStride, s.type == Imf::HALF ? size_t(2) : size_t(4)});
  }
  const Imath::Box2i& d = header.dataWindow();
  const int y0 = d.min.y, height = d.max.y - y0 + 1;
  const size_t width = size_t(int64_t(d.max.x) - d.min.x + 1);
  const int rowsPerChunk = header.compression() == Imf::ZIP_COMPRESSION ? 16 : 1;
  const size_t chunks = size_t((height + rowsPerChunk - 1) / rowsPerChunk);

  // The header, room for the offset table, then the chunks as they come: each its first row, its
  // size and its bytes. The table is filled in last.
  const std::vector<uint8_t> head = headerBytes(header);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
  const std::vector<uint8_t> noTable(8 * chunks, 0);
  out.write(reinterpret_cast<const char*>(noTable.data()), std::streamsize(noTable.size()));
  ChunkSink sink(out, chunks);
  forEachChunk(chunks, threads, [&](ZipChunkCodec& codec, std::vector<uint8_t>& packed, size_t c) {
    const int y = y0 + int(c) * rowsPerChunk;
    packRows(channels, d.min.x, width, y, std::min(rowsPerChunk, y0 + height - y), packed);
    std::vector<uint8_t> compressed;
    codec.compress(packed.data(), packed.size(), compressed);
    sink.finished(c, y, compressed);
  });
  std::vector<uint8_t> table;
  uint64_t offset = head.size() + 8 * chunks;
  for (uint64_t size : sink.close()) {
    appendExr(table, offset);
    offset += size;
  }
  out.seekp(std::streamoff(head.size()));
  out.write(reinterpret_cast<const char*>(table.data()), std::streamsize(table.size()));
  out.close();
  if (!out) throw std::runtime_error(std::strerror(errno));
}
