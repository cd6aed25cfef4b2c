#include "files/zipChunk.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <atomic>
#include <thread>
#include <new>

namespace {

// Even bytes first, then odd ones; each stored as its difference from the one before, plus 128.
void predict(const uint8_t* raw, size_t size, uint8_t* out) {
  uint8_t* even = out;
  uint8_t* odd = out + (size + 1) / 2;
  for (size_t i = 0; i + 1 < size; i += 2) *even++ = raw[i], *odd++ = raw[i + 1];
  if (size % 2) *even = raw[size - 1];
  for (size_t i = size; i-- > 1;) out[i] = uint8_t(out[i] - out[i - 1] + 128);
}

// The inverse of predict().
void unpredict(uint8_t* split, size_t size, uint8_t* raw) {
  for (size_t i = 1; i < size; ++i) split[i] = uint8_t(split[i - 1] + split[i] - 128);
  const uint8_t* even = split;
  const uint8_t* odd = split + (size + 1) / 2;
  for (size_t i = 0; i + 1 < size; i += 2) raw[i] = *even++, raw[i + 1] = *odd++;
  if (size % 2) raw[size - 1] = *even;
}

}  // namespace

ZipChunkCodec::ZipChunkCodec()
    : compressor_(libdeflate_alloc_compressor(kZipDeflateLevel)),
      decompressor_(libdeflate_alloc_decompressor()) {
  if (!compressor_ || !decompressor_) throw std::bad_alloc();
}

ZipChunkCodec::~ZipChunkCodec() {
  libdeflate_free_compressor(compressor_);
  libdeflate_free_decompressor(decompressor_);
}

void ZipChunkCodec::compress(const uint8_t* raw, size_t size, std::vector<uint8_t>& out) {
  if (scratch_.size() < size) scratch_.resize(size);
  predict(raw, size, scratch_.data());
  out.resize(size);
  // Room for one byte less than the chunk: a stream that does not fit is not worth storing.
  const size_t packed = size > 1 ? libdeflate_zlib_compress(compressor_, scratch_.data(), size, out.data(), size - 1) : 0;
  if (packed == 0) {
    if (size) std::memcpy(out.data(), raw, size);
  } else {
    out.resize(packed);
  }
}

bool ZipChunkCodec::decompress(const uint8_t* packed, size_t packedSize, uint8_t* raw, size_t rawSize) {
  if (packedSize == rawSize) {
    if (rawSize) std::memcpy(raw, packed, rawSize);  // an empty chunk may come with no buffer
    return true;
  }
  if (scratch_.size() < rawSize) scratch_.resize(rawSize);
  size_t actual = 0;
  if (libdeflate_zlib_decompress(decompressor_, packed, packedSize, scratch_.data(), rawSize, &actual) !=
          LIBDEFLATE_SUCCESS ||
      actual != rawSize)
    return false;
  unpredict(scratch_.data(), rawSize, raw);
  return true;
}

void forEachChunk(size_t count, int threads, const ChunkWork& work) {
  const size_t workers = std::max<size_t>(1, std::min(count, size_t(std::max(1, threads))));
  std::vector<std::exception_ptr> failures(workers);
  std::atomic<size_t> next{0};
  const auto run = [&](size_t t) {
    try {
      ZipChunkCodec codec;
      std::vector<uint8_t> scratch;
      // Chunks go to whichever thread is free, in order: their costs differ with their content.
      for (size_t i = next++; i < count; i = next++) work(codec, scratch, i);
    } catch (...) {
      failures[t] = std::current_exception();
    }
  };
  std::vector<std::thread> pool;
  for (size_t t = 1; t < workers; ++t) pool.emplace_back(run, t);
  run(0);
  for (std::thread& t : pool) t.join();
  for (const std::exception_ptr& f : failures)
    if (f) std::rethrow_exception(f);
}
