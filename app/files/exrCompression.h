// OpenEXR's compression methods by the names its tools use, and the rows each compresses at once.
#pragma once

#include <OpenEXR/ImfCompression.h>

#include <string>

// The method named `name` (none, rle, zips, zip, piz, pxr24, b44, b44a, dwaa, dwab); false for others.
bool exrCompressionNamed(const std::string& name, Imf::Compression& out);

// The names, separated by ", ".
std::string exrCompressionNames();

// Scanlines per chunk of a scanline file compressed with `c`.
int exrRowsPerChunk(Imf::Compression c);
