// Flat layers as the Deep Input (--layer): every pixel of a layer whose alpha is above 0 becomes
// one point sample of its colour channels at the depth its depth channel holds, read in the
// node's depth channel and style; the depths, not the order of the files, decide what is in front.
#pragma once

#include <string>
#include <vector>

#include "files/deepReader.h"
#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Reads the layers at `paths` and merges them into `out`, with the depth channel and style the
// knobs of `node` hold. A layer without alpha or the depth channel, or whose format differs from
// the first's, is refused with one line naming it; `part` chooses the part of each (see readImage); so is a
// stack that would take more than `maxBytes`, layers and samples together.
Status readLayers(const std::vector<std::string>& paths, const DD::Image::Op& node, double maxBytes,
                  LoadedDeep& out, std::vector<std::string>& warnings, const std::string& part = "");
