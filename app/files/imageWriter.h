// Writing a rendered image: EXR keeps every channel under its file name (32-bit float or half)
// with the box as data window and the format as display window, through the EXR library, its
// chunks compressed on its threads; PNG, JPEG and TIFF hold the format's RGB(A) with the sRGB
// transfer, for viewing, through the image module. Rows flip back to top-down.
#pragma once

#include <string>

#include "files/fileMapping.h"
#include "files/outputFile.h"
#include "standin/MemoryIop.h"
#include "status.h"

struct WriteOptions {
  bool half = false;        // EXR channels as 16-bit floats
  std::string compression;  // EXR compression by name (see exrSettings.h); empty: zip
};

// Writes under a temporary name beside `path`, then renames it into place.
Status writeImage(const standin::MemoryIop& image, const ChannelNames& names, const std::string& path,
                  const WriteOptions& options, std::vector<std::string>& warnings);
