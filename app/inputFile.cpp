#include "inputFile.h"

#include "exrHeaderCheck.h"
#include "inputPath.h"

std::string firstLine(const std::string& message) {
  const std::string line = message.substr(0, message.find('\n'));
  return line.empty() ? "not an image this program can read" : line;
}

namespace {

// The index of the part named `part` (a name, or an index from 0); -1 when there is none, with
// "INDEX NAME" of every part in `parts`.
int findPart(OIIO::ImageInput& in, const std::string& part, std::string& parts) {
  const bool isIndex = part.find_first_not_of("0123456789") == std::string::npos && part.size() < 6;
  int found = -1;
  for (int i = 0; in.seek_subimage(i, 0); ++i) {
    const std::string name = in.spec().get_string_attribute("oiio:subimagename");
    parts += (i ? ", " : "") + std::to_string(i) + (name.empty() ? "" : " " + name);
    if (found < 0 && (isIndex ? std::stoi(part) == i : name == part)) found = i;
  }
  return found;
}

}  // namespace

Status openInputFile(const std::string& path, double maxBytes, std::unique_ptr<OIIO::ImageInput>& in,
                     std::vector<std::string>& warnings, const std::string& part) {
  if (Status s = checkInputPath(path); !s.ok()) return s;
  if (Status s = checkExrHeader(path, maxBytes); !s.ok()) return s;
  in = OIIO::ImageInput::open(path);
  if (!in) return Status::usage("cannot read '" + path + "': " + firstLine(OIIO::geterror()));
  int index = 0;
  if (part.empty() && in->seek_subimage(1, 0))
    warnings.push_back("'" + path +
                       "' has several parts; only the first is read (choose one with --part NAME|INDEX)");
  std::string parts;
  if (!part.empty() && (index = findPart(*in, part, parts)) < 0)
    return Status::usage("'" + path + "' has no part '" + part + "' (its parts: " + parts + ")");
  in->seek_subimage(index, 0);
  OIIO::geterror();
  return Status::success();
}
