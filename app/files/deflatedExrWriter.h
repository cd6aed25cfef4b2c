// Flat scanline EXR files of ZIP or ZIPS compression, with their chunks compressed through
// libdeflate (zipChunk.h) instead of OpenEXR's zlib, at a fraction of its CPU time. OpenEXR's C++
// library writes the header; the file keeps it byte for byte and follows it with the offset table
// and the chunks, the plainest parts of EXR's layout. Each thread packs a chunk's rows from the
// frame buffer and compresses them, and the chunks go to the file in their order as they finish.
#pragma once

#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>

#include <string>

// Whether writeDeflatedExr() serves `header` and `frame`: ZIP or ZIPS, scanline, rows in increasing
// order, every channel at full resolution with a slice of its own type.
bool writesDeflated(const Imf::Header& header, const Imf::FrameBuffer& frame);

// Writes the data window's rows of `frame` under `header` to `path` on `threads` threads; throws
// std::exception with the reason on failure.
void writeDeflatedExr(const Imf::Header& header, const Imf::FrameBuffer& frame, const std::string& path,
                      int threads);
