// Debug output for kernels: one plane of a ktChannelFloatBuffer as a greyscale PFM image.
#pragma once

#include <string>

#include "DDImage/Channel.h"
#include "ktChannelFloatBuffer.h"

// Writes the plane of channel z to `path` as a little-endian greyscale PFM ("Pf"). PFM stores
// the bottom row first and the buffer its top row first, so rows are written last first.
// Returns false when the plane is not sized or the file cannot be written.
bool writeKernelPlanePfm(const ktChannelFloatBuffer& buffer, DD::Image::Channel z, const std::string& path);
