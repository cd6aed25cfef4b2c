// The node's parameter table, read from its knob record.
#pragma once

#include <ostream>

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Writes one line per knob in panel order: name, label, kind, default, range, flags, tooltip.
void printKnobTable(const DD::Image::Op& op, std::ostream& out);
