// Knob values as the user gives them: `--set KNOB=VALUE` and script files of `name value` lines.
#pragma once

#include <string>
#include <vector>

#include "status.h"

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
