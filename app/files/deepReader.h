// Reading a deep OpenEXR file (scanline or tiled) into an in-memory deep operator for the node's
// Deep Input: R G B A to the colour channels, Z to deep front, ZBack to deep back (back = front
// when the file has point samples), other channels kept by name; every value as a float; rows
// flipped to the host's upward order as for flat files.
#pragma once

#include <OpenEXR/ImfHeader.h>

#include <memory>
#include <string>
#include <vector>

#include "standin/MemoryDeepOp.h"
#include "status.h"

struct LoadedDeep {
  std::unique_ptr<standin::MemoryDeepOp> image;
  std::vector<std::string> fileChannels;      // the file's channel names, in file order
  std::shared_ptr<const Imf::Header> header;  // the part's header (the first layer's for layers)
};

// Reads the part of a deep file that `part` names or numbers (from 0), the first when it is
// empty. Files that would take more than `maxBytes` are refused: the pixel table before it is
// allocated, the samples strip by strip before each strip's samples are. Problems (not deep, no
// Z, truncated or inconsistent data) come back as a usage status naming the file.
Status readDeepImage(const std::string& path, double maxBytes, LoadedDeep& out,
                     std::vector<std::string>& warnings, const std::string& part = "");
