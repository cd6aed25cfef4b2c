// EXR files with ZIP or ZIPS parts, read with their chunks decompressed through libdeflate
// (zipChunk.h) instead of OpenEXR's zlib. OpenEXR's core library reads the file's header and
// chunks; each zip chunk is decompressed here, and the core library writes the file again into
// memory with the same header and every such chunk stored at its full size, which EXR readers take
// as it stands (parts of one row or one tile a chunk become uncompressed ones). OpenEXR's C++
// library reads that copy, so all else of reading stays OpenEXR's.
#pragma once

#include <OpenEXR/ImfIO.h>

#include <memory>
#include <string>

#include "status.h"

// The copy of `path` to read instead of the file, in `stream`; left null when the file has no
// zip part, or is not an EXR the core library opens (the C++ library then judges it). A damaged
// zip chunk, or a copy beyond `maxBytes`, is a usage status naming the file. Chunks are
// decompressed on `threads` threads.
Status openDeflatedExr(const std::string& path, double maxBytes, int threads,
                       std::unique_ptr<Imf::IStream>& stream);
