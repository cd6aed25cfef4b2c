#include "files/outputFile.h"

#include <unistd.h>

#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string lowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

fs::path folderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

}  // namespace

Status outputKindOf(const std::string& path, OutputKind& kind) {
  const std::string ext = lowerExtension(path);
  if (ext == ".exr")
    kind = OutputKind::Exr;
  else if (ext == ".png")
    kind = OutputKind::Png;
  else if (ext == ".jpg" || ext == ".jpeg")
    kind = OutputKind::Jpeg;
  else if (ext == ".tif" || ext == ".tiff")
    kind = OutputKind::Tiff;
  else
    return Status::usage("cannot write '" + path + "': unknown output type '" + ext +
                         "' (use .exr, .png, .jpg or .tif)");
  return Status::success();
}

Status checkOutputPath(const std::string& path) {
  std::error_code ec;
  const fs::path folder = folderOf(path);
  if (fs::is_directory(path, ec)) return Status::usage("cannot write '" + path + "': it is a folder");
  if (!fs::is_directory(folder, ec))
    return Status::usage("cannot write '" + path + "': no folder '" + folder.string() + "'");
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return Status::usage("cannot write '" + path + "': folder '" + folder.string() + "' is not writable");
  return Status::success();
}

std::string temporaryPathFor(const std::string& path) {
  const fs::path p(path);
  const std::string name =
      "." + p.filename().string() + ".orvel-" + std::to_string(::getpid()) + p.extension().string();
  return (folderOf(path) / name).string();
}

Status commitOutput(const std::string& temporary, const std::string& path) {
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (!ec) return Status::success();
  const std::string reason = ec.message();
  fs::remove(temporary, ec);
  return Status::usage("cannot write '" + path + "': " + reason);
}
