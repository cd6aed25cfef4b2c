// Flat scanline EXR files of ZIP or ZIPS compression, with their chunks compressed through
// libdeflate (zipChunk.h) instead of OpenEXR's zlib, at a fraction of its CPU time. OpenEXR's C++
// library packs the pixels and writes the header into an uncompressed file in memory; its core
// library finds the rows there; the file written keeps that header byte for byte, its
// compression set to zip, and follows it with the offset table and the compressed chunks, the
// plainest parts of EXR's layout.
#pragma once

#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>

#include <string>

// Whether writeDeflatedExr() serves `header`: ZIP or ZIPS, scanline, rows in increasing order.
bool writesDeflated(const Imf::Header& header);

// Writes the data window's rows of `frame` under `header` to `path` on `threads` threads; throws
// std::exception with the reason on failure.
void writeDeflatedExr(const Imf::Header& header, const Imf::FrameBuffer& frame, const std::string& path,
                      int threads);
