// Knobs from the command line: the values the user gives, applying them to a node, and the
// parameter table `orvel knobs` prints.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Knob values as the user gives them: `--set KNOB=VALUE` and script files of `name value` lines.

struct KnobAssignment {
  std::string name;
  std::string value;
  std::string origin;  // where it was given, for messages: "--set" or "FILE:LINE"
};

// Splits "KNOB=VALUE" at the first '='.
Status parseSetOption(const std::string& text, KnobAssignment& assignment);

// Parses script text: one `name value` a line (the value is the rest of the line), blank lines,
// and `#` comments (a whole line, or from a `#` after a space to the end of the line).
Status parseScript(const std::string& text, const std::string& fileName, std::vector<KnobAssignment>& out);

// Reads and parses a script file.
Status readScriptFile(const std::string& path, std::vector<KnobAssignment>& out);

// Applies knob values to a node by knob name, the way the host restores a saved script:
// the knob parses the text, then the node hears of the change through knob_changed.

// Applies `assignments` in order; stops at the first unknown knob or value that does not parse,
// setting `unknownChannel` to the channel name no channel has when that is why.
// Adds a warning for each knob set that the panel shows disabled afterwards.
Status applyKnobs(DD::Image::Op& op, const std::vector<KnobAssignment>& assignments,
                  std::vector<std::string>& warnings, std::optional<std::string>* unknownChannel = nullptr);

// The node's parameter table, read from its knob record.

// One named knob's entry in the table: `kind` as printed ("float", "enumeration" ...), the
// default as script text, the range where it has one.
struct KnobEntry {
  std::string name, label, kind, defaultText, tooltip;
  std::vector<std::string> choices;  // an enumeration's labels, by index
  bool hasRange = false, clamped = false;
  double rangeMin = 0, rangeMax = 0;
};

// The entries of the knobs that have a name, in panel order.
std::vector<KnobEntry> knobEntries(const DD::Image::Op& op);

// Writes one line per knob in panel order: name, label, kind, default, range, flags, tooltip.
// With `names`, only the knobs named there, each found name taken out of `names`.
void printKnobTable(const DD::Image::Op& op, std::ostream& out);
void printKnobTable(const DD::Image::Op& op, std::ostream& out, std::vector<std::string>& names,
                    const std::string& prefix);
