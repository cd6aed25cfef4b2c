// EXR's ZIP and ZIPS chunk codec over libdeflate: a chunk's packed bytes are split into their
// even and odd bytes, each byte stored as its difference from the one before (plus 128), and the
// result compressed as one zlib stream, exactly as OpenEXR's own zip compressor lays it out, so
// that any OpenEXR reader decodes the chunks made here and the other way round. A chunk that does
// not shrink is stored as it is, as EXR prescribes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

struct libdeflate_compressor;
struct libdeflate_decompressor;

// The deflate level of written chunks (libdeflate's scale, 1 fastest .. 12 smallest). On the
// bench's 1080p float frame (RGBAZ, 2 cores, Debian 12), level 1 writes a file 0.13 % larger than
// OpenEXR's zlib at its default level 6, in 0.28 CPU-seconds against 0.94; levels 2 to 4 write
// files 0.15 % smaller, in about 0.31.
constexpr int kZipDeflateLevel = 1;

// One thread's codec; it keeps its scratch storage from chunk to chunk.
class ZipChunkCodec {
 public:
  ZipChunkCodec();
  ~ZipChunkCodec();
  ZipChunkCodec(const ZipChunkCodec&) = delete;
  ZipChunkCodec& operator=(const ZipChunkCodec&) = delete;

  // The chunk for `size` packed bytes at `raw`, in `out` (resized to it): compressed, or the
  // bytes themselves when compression does not make them smaller.
  void compress(const uint8_t* raw, size_t size, std::vector<uint8_t>& out);
  // Unpacks a chunk of `packedSize` bytes into the `rawSize` bytes at `raw`: false when the chunk
  // does not decode to exactly that many bytes. A chunk of `rawSize` bytes is stored as it is; a
  // compressed one may be larger (OpenEXR keeps an edge tile's compressed sample counts when they
  // are smaller than a whole tile's).
  bool decompress(const uint8_t* packed, size_t packedSize, uint8_t* raw, size_t rawSize);

 private:
  libdeflate_compressor* compressor_ = nullptr;
  libdeflate_decompressor* decompressor_ = nullptr;
  std::vector<uint8_t> scratch_;
};

// Runs work(codec, scratch, i) for every i below `count` on up to `threads` threads (this one
// among them), each with a codec and a scratch buffer of its own; rethrows the first failure
// once all have ended.
using ChunkWork = std::function<void(ZipChunkCodec& codec, std::vector<uint8_t>& scratch, size_t i)>;
void forEachChunk(size_t count, int threads, const ChunkWork& work);
