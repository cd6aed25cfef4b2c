// The node's lens settings as its knobs hold them, for measuring blur outside a render.
#pragma once

#include "ktOrvelSettings.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// A settings record with every knob the depth-to-blur mapping reads taken from `node` by name,
// and the derived lens values worked out for a full-resolution frame of width x height pixels.
ktOrvelSettings lensSettingsOf(const DD::Image::Op& node, int width, int height);
