// Reading an image file into an in-memory image operator: decoded once, rows flipped to the
// host's upward order, every channel under its host id. OpenEXR files are read through the EXR
// library; other formats through the image module, loaded for them.
#pragma once

#include <OpenEXR/ImfHeader.h>

#include <memory>
#include <string>
#include <vector>

#include "files/fileMapping.h"
#include "standin/MemoryIop.h"
#include "status.h"

struct LoadedImage {
  std::unique_ptr<standin::MemoryIop> image;
  ChannelNames names;                         // the file's name of each host channel
  std::vector<std::string> fileChannels;      // the file's channel names, in file order
  std::shared_ptr<const Imf::Header> header;  // the part's header, for EXR files
};

// Reads one part of a flat image file: for EXR files the one `part` names or numbers (from 0),
// the first when it is empty; for other files the first. Integer files tagged sRGB (PNG, JPEG)
// have their colour channels linearised. Files that would take more than `maxBytes` once decoded
// are refused before their pixels are read. Problems come back as a usage status naming the file.
Status readImage(const std::string& path, double maxBytes, LoadedImage& out,
                 std::vector<std::string>& warnings, const std::string& part = "");
