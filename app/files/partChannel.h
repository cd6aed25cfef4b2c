// A channel taken from another part of a multi-part file: the depth channel named PART.CHANNEL.
#pragma once

#include <string>
#include <vector>

#include "files/imageReader.h"
#include "status.h"

// When `name` is PART.CHANNEL, PART a part of the file at `path` (other than the one read) holding
// CHANNEL (or PART.CHANNEL) over the same windows as `image`, reads that channel into `image`
// under the name `name`. Does nothing when `name` is a channel of `image` or PART no part of the
// file; refuses a part without the channel or with other windows.
Status readPartChannel(const std::string& path, const std::string& name, double maxBytes, LoadedImage& image,
                       std::vector<std::string>& warnings);
