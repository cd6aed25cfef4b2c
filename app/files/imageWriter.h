// Writing a rendered image: EXR keeps every channel under its file name, each of the pixel type
// its source channel had unless all are asked as half or as float, with the box as data window,
// the format as display window and the source file's other attributes (see exrOutputHeader.h),
// through the EXR library, its chunks compressed on its threads; PNG, JPEG and TIFF hold the format's RGB(A)
// with the sRGB transfer, for viewing, through the image module. Rows flip back to top-down.
#pragma once

#include <string>

#include "files/exrOutputHeader.h"
#include "files/fileMapping.h"
#include "files/outputFile.h"
#include "standin/MemoryIop.h"
#include "status.h"

struct WriteOptions {
  PixelChoice pixels = PixelChoice::Kept;  // EXR channels as their source's, or all half or float
  std::string compression;                 // EXR compression by name (see exrSettings.h); empty: zip
  const Imf::Header* source = nullptr;     // the header of the file rendered from; none: float channels
  std::vector<std::string> depth;          // channels kept float under PixelChoice::Half
};

// Writes under a temporary name beside `path`, then renames it into place.
Status writeImage(const standin::MemoryIop& image, const ChannelNames& names, const std::string& path,
                  const WriteOptions& options, std::vector<std::string>& warnings);
