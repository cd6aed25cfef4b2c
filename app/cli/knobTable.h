// The node's parameter table, read from its knob record.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Writes one line per knob in panel order: name, label, kind, default, range, flags, tooltip.
// With `names`, only the knobs named there, each found name taken out of `names`.
void printKnobTable(const DD::Image::Op& op, std::ostream& out);
void printKnobTable(const DD::Image::Op& op, std::ostream& out, std::vector<std::string>& names,
                    const std::string& prefix);
