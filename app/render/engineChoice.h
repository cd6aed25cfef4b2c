// Choosing the node's engine: the fast one, or the straightforward reference kept to verify it.
#pragma once

#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Selects the engine of `node` through the plug-in's C entry point ktOrvelUseReferenceEngine.
Status chooseEngine(DD::Image::Op& node, bool reference);
