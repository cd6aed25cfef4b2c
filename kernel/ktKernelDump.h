// Debug output for kernels: one plane of a ktChannelFloatBuffer as a greyscale PFM image.
#pragma once

#include <string>

#include "DDImage/Channel.h"
#include "ktChannelFloatBuffer.h"

// Writes the plane of channel z to `path` as a little-endian greyscale PFM ("Pf"). PFM stores
// the bottom row first, as the buffer does, so the file keeps the kernel's orientation.
// Returns false when the plane is not sized or the file cannot be written.
bool writeKernelPlanePfm(const ktChannelFloatBuffer& buffer, DD::Image::Channel z, const std::string& path);
