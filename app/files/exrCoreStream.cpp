#include "files/exrCoreStream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

struct ExrCoreCallbacks {
  static ExrCoreContext& owner(void* userdata) { return *static_cast<ExrCoreContext*>(userdata); }

  // Silent: the library calls it holding the context's lock, so it can reach no state of ours.
  static void silent(exr_const_context_t, exr_result_t, const char*) {}

  static int64_t read(exr_const_context_t, void* userdata, void* buffer, uint64_t size, uint64_t offset,
                      exr_stream_error_func_ptr_t) {
    const ExrCoreContext& c = owner(userdata);
    if (offset >= c.size_) return 0;
    const uint64_t n = std::min<uint64_t>(size, c.size_ - offset);
    std::memcpy(buffer, c.data_ + offset, size_t(n));
    return int64_t(n);
  }

  static int64_t size(exr_const_context_t, void* userdata) { return int64_t(owner(userdata).size_); }

  static exr_context_initializer_t initializer(ExrCoreContext& c) {
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.user_data = &c;
    init.error_handler_fn = &silent;
    init.flags = EXR_CONTEXT_FLAG_SILENT_HEADER_PARSE;
    return init;
  }
};

ExrCoreContext::~ExrCoreContext() {
  if (ctxt_) exr_finish(&ctxt_);
}

void ExrCoreContext::check(exr_result_t result) const {
  if (result == EXR_ERR_SUCCESS) return;
  throw std::runtime_error(exr_get_default_error_message(result));
}

int ExrCoreContext::scanlinesPerChunk(int part) const {
  int rows = 1;
  check(exr_get_scanlines_per_chunk(ctxt_, part, &rows));
  if (rows < 1) throw std::runtime_error("its rows a chunk are not as EXR lays them");
  return rows;
}

std::string chunkPlace(const exr_chunk_info_t& info) {
  const bool rows = info.type == EXR_STORAGE_SCANLINE || info.type == EXR_STORAGE_DEEP_SCANLINE;
  return rows ? "(rows from " + std::to_string(info.start_y) + ")"
              : "(tile " + std::to_string(info.start_x) + ", " + std::to_string(info.start_y) + ")";
}

void ExrCoreContext::start(exr_result_t result) {
  if (result != EXR_ERR_SUCCESS) ctxt_ = nullptr;
  check(result);
}

void ExrCoreContext::readMemory(ExrCoreContext& c, const uint8_t* data, size_t size) {
  c.data_ = data, c.size_ = size;
  exr_context_initializer_t init = ExrCoreCallbacks::initializer(c);
  init.read_fn = &ExrCoreCallbacks::read;
  init.size_fn = &ExrCoreCallbacks::size;
  c.start(exr_start_read(&c.ctxt_, "memory", &init));
}

void ExrCoreContext::readFile(ExrCoreContext& c, const std::string& path) {
  const exr_context_initializer_t init = ExrCoreCallbacks::initializer(c);
  c.start(exr_start_read(&c.ctxt_, path.c_str(), &init));
}

