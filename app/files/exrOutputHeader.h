// What a rendered EXR says about itself: the attributes of the file it was rendered from that
// still describe its pixels, and each channel's pixel type.
#pragma once

#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfPixelType.h>

#include <string>
#include <vector>

// Attributes the output rewrites: "dataWindow" (the render's box), "displayWindow" (the format,
// the source's own), "channels", "compression", "lineOrder" (increasing y) and "capDate" (the time
// of the render). Attributes dropped because they no longer describe the file: "tiles" (the output
// is scanlines), "type", "name", "version", "chunkCount" and "maxSamplesPerPixel" (it is one flat
// part; also "openexr:chunkCount", which some tools store), and "preview" (a thumbnail of the
// unblurred picture). Every other attribute is kept: chromaticities, white luminance, timecode,
// framesPerSecond, owner, comments, multiView, custom ones such as myStudio:shot.

// A header over `display` and `data` with the compression and capture date given, and every
// attribute of `source` (when there is one) that is neither rewritten nor dropped.
Imf::Header outputHeader(const Imf::Header* source, const Imath::Box2i& display, const Imath::Box2i& data,
                         Imf::Compression compression, const std::string& captureDate);

// How channels are typed: as the source's same-named channel (float when it has none), or all
// as half or all as float.
enum class PixelChoice { Kept, Half, Float };

// The type channel `name` is written as; `depth` channels stay float under Half, which would turn
// far depths (1e30) into infinity and depths near 1000 into steps of 0.5.
Imf::PixelType outputPixelType(const Imf::Header* source, const std::string& name, PixelChoice choice,
                               bool depth);
