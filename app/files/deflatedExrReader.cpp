#include "files/deflatedExrReader.h"

#include <OpenEXR/Iex.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "files/exrCoreStream.h"
#include "files/exrLayout.h"
#include "files/inputChecks.h"
#include "files/zipChunk.h"

namespace {

// An Imf input stream over bytes in memory.
class MemoryIStream : public Imf::IStream {
 public:
  explicit MemoryIStream(std::vector<uint8_t> bytes) : Imf::IStream("memory"), bytes_(std::move(bytes)) {}
  bool isMemoryMapped() const override { return true; }
  char* readMemoryMapped(int n) override {
    char* at = reinterpret_cast<char*>(bytes_.data()) + take(n);
    return at;
  }
  bool read(char c[], int n) override {
    std::memcpy(c, bytes_.data() + take(n), size_t(n));
    return at_ < bytes_.size();
  }
  uint64_t tellg() override { return at_; }
  void seekg(uint64_t pos) override { at_ = pos; }

 private:
  uint64_t take(int n) {
    if (n < 0 || at_ > bytes_.size() || bytes_.size() - at_ < uint64_t(n))
      throw Iex::InputExc("Unexpected end of file.");
    const uint64_t from = at_;
    at_ += uint64_t(n);
    return from;
  }
  std::vector<uint8_t> bytes_;
  uint64_t at_ = 0;
};

// Thrown when the copy would pass the memory limit, with the bytes it had come to.
struct MemoryExceeded {
  double bytes;
};

bool isZip(exr_compression_t c) { return c == EXR_COMPRESSION_ZIP || c == EXR_COMPRESSION_ZIPS; }

// The copy being made: the file's headers, its offset tables, then the chunks as they come.
struct CopyBytes {
  std::vector<uint8_t> bytes;
  bool multipart = false;
  std::vector<size_t> tableAt;  // by part, the offset of its table in the copy

  template <class T>
  void put(T v) {
    appendExr(bytes, v);
  }
  void put(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
  // Starts chunk `index` of `part` here.
  void startChunk(int part, int index) {
    const uint64_t offset = bytes.size();
    std::memcpy(bytes.data() + tableAt[size_t(part)] + 8 * size_t(index), &offset, 8);
    if (multipart) put(int32_t(part));
  }
};

// Copies every chunk of part p of `in` into the copy, the zip chunks decompressed.
class PartCopy {
 public:
  PartCopy(const ExrCoreContext& in, CopyBytes& out, int part, double maxBytes, double& total, int threads)
      : in_(in), out_(out), part_(part), maxBytes_(maxBytes), total_(total), threads_(threads) {
    exr_compression_t compression;
    in.check(exr_get_compression(in.get(), part, &compression));
    zip_ = isZip(compression);
    in.check(exr_get_storage(in.get(), part, &storage_));
    deep_ = storage_ == EXR_STORAGE_DEEP_SCANLINE || storage_ == EXR_STORAGE_DEEP_TILED;
    tiled_ = storage_ == EXR_STORAGE_TILED || storage_ == EXR_STORAGE_DEEP_TILED;
    in.check(exr_get_chunk_count(in.get(), part, &chunks_));
    if (deep_ && tiled_) {
      uint32_t sizeX = 0, sizeY = 0;
      exr_tile_level_mode_t levels;
      exr_tile_round_mode_t rounding;
      in.check(exr_get_tile_descriptor(in.get(), part, &sizeX, &sizeY, &levels, &rounding));
      fullTileTable_ = 4 * size_t(sizeX) * size_t(sizeY);
    }
  }

  void copy() {
    if (tiled_)
      copyTiles();
    else
      copyScanlines();
    flush();
  }

 private:
  void copyScanlines() {
    exr_attr_box2i_t data;
    in_.check(exr_get_data_window(in_.get(), part_, &data));
    const int rows = in_.scanlinesPerChunk(part_);
    const int64_t chunks = (int64_t(data.max.y) - data.min.y + rows) / rows;
    for (int64_t c = 0; c < chunks; ++c) {
      exr_chunk_info_t info;
      in_.check(exr_read_scanline_chunk_info(in_.get(), part_, int(data.min.y + c * rows), &info));
      copyChunk(info);
    }
  }

  void copyTiles() {
    int levelsX = 0, levelsY = 0;
    in_.check(exr_get_tile_levels(in_.get(), part_, &levelsX, &levelsY));
    uint32_t sizeX = 0, sizeY = 0;
    exr_tile_level_mode_t levels;
    exr_tile_round_mode_t rounding;
    in_.check(exr_get_tile_descriptor(in_.get(), part_, &sizeX, &sizeY, &levels, &rounding));
    const bool ripmap = levels == EXR_TILE_RIPMAP_LEVELS;
    for (int ly = 0; ly < levelsY; ++ly)
      for (int lx = 0; lx < levelsX; ++lx) {
        if (!ripmap && lx != ly) continue;
        int tileW = 0, tileH = 0, levelW = 0, levelH = 0;
        in_.check(exr_get_tile_sizes(in_.get(), part_, lx, ly, &tileW, &tileH));
        in_.check(exr_get_level_sizes(in_.get(), part_, lx, ly, &levelW, &levelH));
        if (tileW < 1 || tileH < 1) throw std::runtime_error("its tiles are not as EXR lays them");
        for (int ty = 0; ty < (levelH + tileH - 1) / tileH; ++ty)
          for (int tx = 0; tx < (levelW + tileW - 1) / tileW; ++tx) {
            exr_chunk_info_t info;
            in_.check(exr_read_tile_chunk_info(in_.get(), part_, tx, ty, lx, ly, &info));
            copyChunk(info);
          }
      }
  }

  // Room for `bytes` more of the copy, within the memory limit.
  void reserve(double bytes) {
    total_ += bytes;
    if (total_ > maxBytes_) throw MemoryExceeded{total_};
  }

  // Chunks are read in batches, decompressed on the threads, then written in their order.
  static constexpr size_t kBatch = 64;
  struct Pending {
    exr_chunk_info_t info;
    std::vector<uint8_t> packed, table, raw, rawTable;
  };

  void copyChunk(const exr_chunk_info_t& info) {
    reserve(double(info.packed_size) + double(info.sample_count_table_size));
    if (used_ == batch_.size()) batch_.emplace_back();
    Pending& p = batch_[used_++];
    p.info = info;
    p.packed.resize(size_t(info.packed_size));
    p.table.resize(deep_ ? size_t(info.sample_count_table_size) : 0);
    if (deep_)
      in_.check(exr_read_deep_chunk(in_.get(), part_, &info, p.packed.data(), p.table.data()));
    else
      in_.check(exr_read_chunk(in_.get(), part_, &info, p.packed.data()));
    if (zip_) {
      const double tableBytes = deep_ ? 4.0 * double(info.width) * double(info.height) : 0.0;
      reserve(double(info.unpacked_size) + tableBytes);
      p.raw.resize(size_t(info.unpacked_size));
      // An uncompressed deep tile's counts fill a whole tile, an edge tile's padded with zeros.
      p.rawTable.assign(std::max(size_t(tableBytes), fullTileTable_), 0);
    }
    if (used_ == kBatch) flush();
  }

  void flush() {
    if (zip_)
      forEachChunk(used_, threads_, [&](ZipChunkCodec& codec, std::vector<uint8_t>&, size_t i) {
        Pending& p = batch_[i];
        unpack(codec, p.packed, p.raw, p.info);
        // A deep tile's counts that did not shrink are stored as they stand, a whole tile's.
        if (deep_ && tiled_ && p.table.size() == fullTileTable_)
          p.rawTable = p.table;
        else if (deep_)
          unpack(codec, p.table, p.rawTable, p.info, 4 * size_t(p.info.width) * size_t(p.info.height));
      });
    for (size_t i = 0; i < used_; ++i) write(batch_[i]);
    used_ = 0;
  }

  // Decompresses `packed` into the first `size` bytes of `raw` (all of it by default).
  static void unpack(ZipChunkCodec& codec, const std::vector<uint8_t>& packed, std::vector<uint8_t>& raw,
                     const exr_chunk_info_t& info, size_t size = size_t(-1)) {
    if (codec.decompress(packed.data(), packed.size(), raw.data(), std::min(size, raw.size()))) return;
    throw std::runtime_error("a zip chunk " + chunkPlace(info) + " is damaged");
  }

  void write(const Pending& p) {
    const exr_chunk_info_t& info = p.info;
    if (info.idx < 0 || info.idx >= chunks_) throw std::runtime_error("a chunk lies outside its part");
    out_.startChunk(part_, info.idx);
    if (tiled_) {
      for (int v : {int(info.start_x), int(info.start_y), int(info.level_x), int(info.level_y)}) out_.put(int32_t(v));
    } else {
      out_.put(int32_t(info.start_y));
    }
    const std::vector<uint8_t>& data = zip_ ? p.raw : p.packed;
    if (deep_) {
      const std::vector<uint8_t>& table = zip_ ? p.rawTable : p.table;
      out_.put(uint64_t(table.size())), out_.put(uint64_t(data.size())), out_.put(uint64_t(info.unpacked_size));
      out_.put(table);
    } else {
      out_.put(int32_t(data.size()));
    }
    out_.put(data);
  }

  const ExrCoreContext& in_;
  CopyBytes& out_;
  const int part_;
  int chunks_ = 0;
  size_t fullTileTable_ = 0;  // bytes of a whole tile's sample counts, for deep tiled parts
  const double maxBytes_;
  double& total_;
  const int threads_;
  bool zip_ = false, deep_ = false, tiled_ = false;
  exr_storage_t storage_ = EXR_STORAGE_SCANLINE;
  std::vector<Pending> batch_;
  size_t used_ = 0;
};

// The copy of `file` to read, or nothing when it has no zip part. A chunk of a zip part of one
// row or one tile holds what an uncompressed chunk does, and the part becomes uncompressed: EXR
// readers take the sample counts of a short deep chunk at their full size for compressed, even
// when they are not. A flat part of 16 rows a chunk keeps its compression, its chunks at their
// full size.
std::vector<uint8_t> decompressedCopy(const ExrCoreContext& in, const std::vector<uint8_t>& file,
                                      const ExrHeaders& headers, double maxBytes, int threads) {
  int parts = 0;
  in.check(exr_get_count(in.get(), &parts));
  if (int(headers.compressionAt.size()) != parts) throw std::runtime_error("its headers are not as EXR lays them");
  CopyBytes copy;
  copy.multipart = headers.multipart;
  copy.bytes.assign(file.begin(), file.begin() + long(headers.end));
  // The flat parts at their full size, before anything is copied: a forged header may declare
  // far more than the file holds.
  double flatBytes = double(file.size());
  for (int p = 0; p < parts; ++p) {
    uint64_t chunkBytes = 0;
    int32_t chunks = 0;
    if (exr_get_chunk_unpacked_size(in.get(), p, &chunkBytes) == EXR_ERR_SUCCESS &&
        exr_get_chunk_count(in.get(), p, &chunks) == EXR_ERR_SUCCESS)
      flatBytes += double(chunkBytes) * double(chunks);
  }
  if (flatBytes > maxBytes) throw MemoryExceeded{flatBytes};
  copy.bytes.reserve(size_t(flatBytes));
  for (int p = 0; p < parts; ++p) {
    exr_compression_t c;
    exr_storage_t storage;
    int32_t chunks = 0;
    in.check(exr_get_compression(in.get(), p, &c));
    in.check(exr_get_storage(in.get(), p, &storage));
    in.check(exr_get_chunk_count(in.get(), p, &chunks));
    if (isZip(c) && !(storage == EXR_STORAGE_SCANLINE && c == EXR_COMPRESSION_ZIP) && headers.compressionAt[size_t(p)])
      copy.bytes[headers.compressionAt[size_t(p)]] = uint8_t(EXR_COMPRESSION_NONE);
    copy.tableAt.push_back(copy.bytes.size());
    copy.bytes.resize(copy.bytes.size() + 8 * size_t(std::max(0, chunks)));
  }
  double total = double(copy.bytes.size());
  for (int p = 0; p < parts; ++p) PartCopy(in, copy, p, maxBytes, total, threads).copy();
  return std::move(copy.bytes);
}

}  // namespace

Status openDeflatedExr(const std::string& path, double maxBytes, int threads,
                       std::unique_ptr<Imf::IStream>& stream) {
  stream.reset();
  // The headers first, from as much of the file as they take: a file without zip parts is left
  // to the C++ library, as is one this reader cannot follow (whose messages the readers give).
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const size_t size = in ? size_t(std::max<std::streamoff>(0, in.tellg())) : 0;
  std::vector<uint8_t> file;
  ExrHeaders headers;
  for (size_t n = size_t(1) << 16; !findExrHeaders(file, headers); n *= 4) {
    if (file.size() == size) return Status::success();
    file.resize(std::min(n, size));
    if (!in.seekg(0).read(reinterpret_cast<char*>(file.data()), std::streamsize(file.size()))) return Status::success();
  }
  const bool anyZip = std::any_of(headers.compressionAt.begin(), headers.compressionAt.end(), [&](size_t at) {
    return at && isZip(exr_compression_t(file[at]));
  });
  if (!anyZip) return Status::success();
  if (double(size) > maxBytes) return checkMemory(double(size), maxBytes, path);
  const size_t prefix = file.size();
  file.resize(size);
  if (!in.seekg(std::streamoff(prefix)).read(reinterpret_cast<char*>(file.data() + prefix), std::streamsize(size - prefix)))
    return Status::success();
  ExrCoreContext core;
  try {
    ExrCoreContext::readMemory(core, file.data(), file.size());
  } catch (const std::exception&) {
    return Status::success();
  }
  try {
    stream = std::make_unique<MemoryIStream>(decompressedCopy(core, file, headers, maxBytes, threads));
  } catch (const MemoryExceeded& e) {
    return checkMemory(e.bytes, maxBytes, path);
  } catch (const std::exception& e) {
    const std::string why = e.what();
    return Status::usage("cannot read '" + path + "': " + why.substr(0, why.find('\n')));
  }
  return Status::success();
}
