// The EXR library's settings for a job: compression methods and the decoding thread pool.
#pragma once

#include <OpenEXR/ImfCompression.h>

#include <string>

// OpenEXR's compression methods by the names its tools use, and the rows each compresses at once.

// The method named `name` (none, rle, zips, zip, piz, pxr24, b44, b44a, dwaa, dwab); false for others.
bool exrCompressionNamed(const std::string& name, Imf::Compression& out);

// The names, separated by ", ".
std::string exrCompressionNames();

// Scanlines per chunk of a scanline file compressed with `c`.
int exrRowsPerChunk(Imf::Compression c);

// The threads the EXR library decodes and compresses chunks on: a job's render threads.

// Sizes the EXR library's thread pool; 0 means one thread per processor.
void setExrThreads(unsigned threads);
