// Applies knob values to a node by knob name, the way the host restores a saved script:
// the knob parses the text, then the node hears of the change through knob_changed.
#pragma once

#include <string>
#include <vector>

#include "cli/knobAssignment.h"
#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Applies `assignments` in order; stops at the first unknown knob or value that does not parse.
// Adds a warning for each knob set that the panel shows disabled afterwards.
Status applyKnobs(DD::Image::Op& op, const std::vector<KnobAssignment>& assignments,
                  std::vector<std::string>& warnings);
