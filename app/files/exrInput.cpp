#include "files/exrInput.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfThreading.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "files/deflatedExrReader.h"
#include "files/exrHeaderCheck.h"
#include "files/inputChecks.h"
#include "files/zipPartDecoder.h"

namespace {

bool sameLetters(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Suffixes listed first within a layer, in this order; the second "Z" is depth.
const char* const kLeading[] = {"R", "Red",   "G",  "Green", "B",  "Blue", "X",  "Y",  "Z", "real",  "imag",
                                "A", "Alpha", "AR", "RA",    "AG", "GA",   "AB", "BA", "Z", "Depth", "Zback"};
constexpr int kPositionZ = 8, kDepthZ = 19, kOthers = 1000;

struct Listed {
  std::string name, layer, suffix;
  int rank = kOthers;
  int order = 0;
};

int rankOf(const std::string& suffix, bool layerHasX) {
  for (int i = 0; i < int(sizeof kLeading / sizeof *kLeading); ++i)
    if (sameLetters(suffix, kLeading[i])) return i == kPositionZ && !layerHasX ? kDepthZ : i;
  return kOthers;
}

std::string describePart(const Imf::Header& h, int index) {
  return std::to_string(index) + (h.hasName() ? " " + h.name() : "");
}

Status choosePart(const std::string& path, const Imf::MultiPartInputFile& file, const std::string& part,
                  int& index, std::vector<std::string>& warnings) {
  const int parts = file.parts();
  if (part.empty()) {
    if (parts > 1)
      warnings.push_back("'" + path +
                         "' has several parts; only the first is read (choose one with --part NAME|INDEX)");
    index = 0;
    return Status::success();
  }
  const bool number = std::all_of(part.begin(), part.end(), [](char c) { return std::isdigit(c); });
  std::string names;
  for (int i = 0; i < parts; ++i) {
    const Imf::Header& h = file.header(i);
    if ((number && part.size() < 10 && std::stoi(part) == i) || (h.hasName() && h.name() == part)) {
      index = i;
      return Status::success();
    }
    names += (i ? ", " : "") + describePart(h, i);
  }
  return Status::usage("'" + path + "' has no part '" + part + "' (its parts: " + names + ")");
}

Status checkPartHeader(const std::string& path, const Imf::Header& h) {
  const Imath::Box2i& data = h.dataWindow();
  const Imath::Box2i& display = h.displayWindow();
  const auto far = [](long long v) { return v < -(1LL << 30) || v > (1LL << 30); };
  for (long long v : {data.min.x, data.min.y, data.max.x, data.max.y, display.min.x, display.min.y,
                      display.max.x, display.max.y})
    if (far(v)) return Status::usage("'" + path + "' has windows beyond the supported coordinates");
  if (data.isEmpty()) return Status::usage("'" + path + "' holds no pixels");
  if (display.isEmpty()) return Status::usage("'" + path + "' has an empty display window");
  if (h.channels().begin() == h.channels().end()) return Status::usage("'" + path + "' holds no pixels");
  for (auto c = h.channels().begin(); c != h.channels().end(); ++c)
    if (c.channel().xSampling != 1 || c.channel().ySampling != 1)
      return Status::usage("'" + path + "': channel '" + c.name() + "' is subsampled (" +
                           std::to_string(c.channel().xSampling) + " x " +
                           std::to_string(c.channel().ySampling) +
                           "); orvel reads full-resolution channels only");
  return Status::success();
}

}  // namespace

std::string firstLine(const std::string& message) {
  const std::string line = message.substr(0, message.find('\n'));
  return line.empty() ? "not an image this program can read" : line;
}

bool isExrFile(const std::string& path) {
  unsigned char magic[4] = {};
  std::ifstream in(path, std::ios::binary);
  return in.read(reinterpret_cast<char*>(magic), 4) && magic[0] == 0x76 && magic[1] == 0x2f &&
         magic[2] == 0x31 && magic[3] == 0x01;
}

Status openExrPart(const std::string& path, const std::string& part, double maxBytes, ExrPart& out,
                   std::vector<std::string>& warnings) {
  if (Status s = checkInputPath(path); !s.ok()) return s;
  if (Status s = checkExrHeader(path, maxBytes); !s.ok()) return s;
  ExrPart opened;
  try {
    opened.file = std::make_unique<Imf::MultiPartInputFile>(path.c_str(), Imf::globalThreadCount());
  } catch (const std::exception& e) {
    return Status::usage("cannot read '" + path + "': " + firstLine(e.what()));
  }
  if (Status s = choosePart(path, *opened.file, part, opened.index, warnings); !s.ok()) return s;
  if (Status s = checkPartHeader(path, opened.header()); !s.ok()) return s;
  opened.decodeZip = decodesZipPart(opened.header());
  if (!opened.decodeZip) {
    // Other zip parts are read from a copy with their chunks decompressed.
    if (Status s = openDeflatedExr(path, maxBytes, Imf::globalThreadCount(), opened.copy); !s.ok()) return s;
    try {
      if (opened.copy) opened.file = std::make_unique<Imf::MultiPartInputFile>(*opened.copy, Imf::globalThreadCount());
    } catch (const std::exception& e) {
      return Status::usage("cannot read '" + path + "': " + firstLine(e.what()));
    }
  }
  out = std::move(opened);
  return Status::success();
}

std::vector<std::string> depthInOtherParts(const std::string& path) {
  std::vector<std::string> found;
  if (!isExrFile(path)) return found;
  try {
    Imf::MultiPartInputFile file(path.c_str());
    for (int i = 0; file.parts() > 1 && i < file.parts(); ++i) {
      const Imf::Header& h = file.header(i);
      for (auto c = h.channels().begin(); h.hasName() && c != h.channels().end(); ++c) {
        const std::string name = c.name();
        if (name == "Z" || (name.size() > 2 && name.compare(name.size() - 2, 2, ".Z") == 0))
          found.push_back(h.name() + "." + name);
      }
    }
  } catch (const std::exception&) {
  }
  return found;
}

std::vector<std::string> presentedChannels(const Imf::Header& header) {
  std::vector<Listed> listed;
  for (auto c = header.channels().begin(); c != header.channels().end(); ++c) {
    Listed l;
    l.name = c.name();
    const size_t dot = l.name.rfind('.');
    l.layer = dot == std::string::npos ? "" : l.name.substr(0, dot + 1);
    l.suffix = dot == std::string::npos ? l.name : l.name.substr(dot + 1);
    l.order = int(listed.size());
    listed.push_back(l);
  }
  for (Listed& l : listed) {
    const bool layerHasX = std::any_of(listed.begin(), listed.end(), [&](const Listed& o) {
      return o.layer == l.layer && sameLetters(o.suffix, "X");
    });
    l.rank = rankOf(l.suffix, layerHasX);
  }
  std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
    if (a.layer != b.layer) return a.layer < b.layer;
    if (a.rank != b.rank) return a.rank < b.rank;
    return a.order < b.order;
  });
  std::vector<std::string> names;
  for (const Listed& l : listed) names.push_back(l.name);
  return names;
}
