// OpenEXR's core C API in the shape the zip paths use it: contexts that read an EXR held in
// memory or a file, finish themselves, print nothing, and turn the library's failures into
// exceptions carrying its message for the code (caught by the writer and the readers like the
// C++ API's).
#pragma once

#include <OpenEXR/openexr.h>

#include <cstdint>
#include <string>

// Where a chunk lies, for messages: "(rows from Y)" or "(tile X, Y)".
std::string chunkPlace(const exr_chunk_info_t& info);

class ExrCoreContext {
 public:
  // Reads the EXR of `size` bytes at `data`, which must outlive the context.
  static void readMemory(ExrCoreContext& c, const uint8_t* data, size_t size);
  // Reads the file at `path`.
  static void readFile(ExrCoreContext& c, const std::string& path);

  ExrCoreContext() = default;
  ~ExrCoreContext();
  ExrCoreContext(const ExrCoreContext&) = delete;
  ExrCoreContext& operator=(const ExrCoreContext&) = delete;

  exr_context_t get() const { return ctxt_; }
  // Throws std::runtime_error with the library's message unless `result` is EXR_ERR_SUCCESS.
  void check(exr_result_t result) const;
  // Rows a chunk of scanline part `part`; throws when the header gives none.
  int scanlinesPerChunk(int part) const;

 private:
  void start(exr_result_t result);
  exr_context_t ctxt_ = nullptr;
  const uint8_t* data_ = nullptr;  // memory read
  size_t size_ = 0;
  friend struct ExrCoreCallbacks;
};
