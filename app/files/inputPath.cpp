#include "files/inputPath.h"

#include <filesystem>

namespace fs = std::filesystem;

Status checkInputPath(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) return Status::usage("no such file '" + path + "'");
  if (fs::is_directory(st)) return Status::usage("'" + path + "' is a folder, not an image");
  return Status::success();
}
