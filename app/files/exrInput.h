// Opening an OpenEXR file on one of its parts, with the checks every EXR reader makes: the path,
// the header against the memory limit before the EXR library allocates what it declares, the
// part asked for, full-resolution channels and windows within the supported coordinates.
#pragma once

#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfMultiPartInputFile.h>

#include <memory>
#include <string>
#include <vector>

#include "status.h"

// True when the file starts with OpenEXR's magic number; such files never go to other readers.
bool isExrFile(const std::string& path);

// An opened file and the index of the part chosen. A flat scanline zip part is decoded chunk by
// chunk (zipPartDecoder.h, `decodeZip`); a file with other zip parts is read from a copy in
// memory (deflatedExrReader.h), held here.
struct ExrPart {
  bool decodeZip = false;
  std::unique_ptr<Imf::IStream> copy;
  std::unique_ptr<Imf::MultiPartInputFile> file;
  int index = 0;
  const Imf::Header& header() const { return file->header(index); }
};

// Opens `path` on the part named or numbered (from 0) by `part`; an empty `part` takes the first
// and warns when there are more. Problems come back as a usage status naming the file.
Status openExrPart(const std::string& path, const std::string& part, double maxBytes, ExrPart& out,
                   std::vector<std::string>& warnings);

// The part's channel names in the order they are listed to users and given host ids: by layer
// (unlayered first), within a layer colour (R G B), position (X Y Z), alpha, depth (a Z without an
// X beside it), then the rest as the file stores them.
std::vector<std::string> presentedChannels(const Imf::Header& header);

// "PART.CHANNEL" for each depth channel (Z, or a name ending in .Z) of the named parts of an EXR
// file at `path`; empty for other files.
std::vector<std::string> depthInOtherParts(const std::string& path);

// The first line of a library message, or a plain reason when it gave none.
std::string firstLine(const std::string& message);
