#include "files/inputChecks.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

Status checkInputPath(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) return Status::usage("no such file '" + path + "'");
  if (fs::is_directory(st)) return Status::usage("'" + path + "' is a folder, not an image");
  return Status::success();
}

namespace {

constexpr double kGigabyte = 1024.0 * 1024.0 * 1024.0;

std::string gigabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g GB", bytes / kGigabyte);
  return text;
}

}  // namespace

double defaultMemoryLimit() {
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 8.0 * kGigabyte;
  return 0.5 * double(pages) * double(pageSize);
}

Status checkMemory(double bytes, double limit, const std::string& path) {
  if (bytes <= limit) return Status::success();
  return Status::usage("'" + path + "' would need " + gigabytes(bytes) + " of memory, more than the " +
                       gigabytes(limit) + " allowed (--max-memory GB)");
}
