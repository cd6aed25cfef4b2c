// Flat scanline parts of ZIP or ZIPS compression, decoded chunk by chunk straight into float
// planes: OpenEXR's core library reads each chunk from the file, libdeflate decompresses it
// (zipChunk.h), and its rows are converted into the planes. No copy of the file is made, and no
// EXR frame buffer: a chunk at a time per thread is all the memory it takes beyond the planes.
#pragma once

#include <OpenEXR/ImfHeader.h>

#include <map>
#include <string>

// Whether decodeZipPart() reads a part of `header`: flat scanline, ZIP or ZIPS, every channel
// half or float at full resolution.
bool decodesZipPart(const Imf::Header& header);

// Decodes part `part` (of `header`) of the EXR file at `path` into `planes`, by channel name;
// channels without a plane are skipped. A plane holds the data window's rows bottom-up: file row
// y goes to plane row (max.y - y). Chunks are decoded on `threads` threads. Throws
// std::runtime_error naming a damaged chunk, or with the EXR library's message.
void decodeZipPart(const std::string& path, int part, const Imf::Header& header,
                   const std::map<std::string, float*>& planes, int threads);
