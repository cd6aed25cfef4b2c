#include "inputFile.h"

#include "exrHeaderCheck.h"
#include "inputPath.h"

std::string firstLine(const std::string& message) {
  const std::string line = message.substr(0, message.find('\n'));
  return line.empty() ? "not an image this program can read" : line;
}

Status openInputFile(const std::string& path, double maxBytes, std::unique_ptr<OIIO::ImageInput>& in,
                     std::vector<std::string>& warnings) {
  if (Status s = checkInputPath(path); !s.ok()) return s;
  if (Status s = checkExrHeader(path, maxBytes); !s.ok()) return s;
  in = OIIO::ImageInput::open(path);
  if (!in) return Status::usage("cannot read '" + path + "': " + firstLine(OIIO::geterror()));
  if (in->seek_subimage(1, 0)) warnings.push_back("'" + path + "' has several parts; only the first is read");
  in->seek_subimage(0, 0);
  OIIO::geterror();
  return Status::success();
}
