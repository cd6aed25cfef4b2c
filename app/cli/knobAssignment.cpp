#include "cli/knobAssignment.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const char* const kSpace = " \t\r";

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(kSpace);
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(kSpace) - a + 1);
}

// The line without its comment: from a '#' that starts the line or follows a space or tab.
std::string stripComment(const std::string& line) {
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) return line.substr(0, i);
  return line;
}

}  // namespace

Status parseSetOption(const std::string& text, KnobAssignment& assignment) {
  const size_t eq = text.find('=');
  const std::string name = trim(text.substr(0, eq));
  if (eq == std::string::npos || name.empty())
    return Status::usage("--set wants KNOB=VALUE, not '" + text + "'");
  assignment = KnobAssignment{name, trim(text.substr(eq + 1)), "--set"};
  return Status::success();
}

Status parseScript(const std::string& text, const std::string& fileName, std::vector<KnobAssignment>& out) {
  std::istringstream in(text);
  std::vector<KnobAssignment> parsed;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    const std::string content = trim(stripComment(line));
    if (content.empty()) continue;
    const std::string origin = fileName + ":" + std::to_string(number);
    const size_t gap = content.find_first_of(kSpace);
    if (gap == std::string::npos)
      return Status::usage(origin + ": '" + content + "' has no value (lines are: name value)");
    parsed.push_back(KnobAssignment{content.substr(0, gap), trim(content.substr(gap)), origin});
  }
  out.insert(out.end(), parsed.begin(), parsed.end());
  return Status::success();
}

Status readScriptFile(const std::string& path, std::vector<KnobAssignment>& out) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Status::usage("no such script file '" + path + "'");
  if (std::filesystem::is_directory(path, ec)) return Status::usage("script '" + path + "' is a folder");
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::usage("cannot read script file '" + path + "'");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return Status::usage("cannot read script file '" + path + "'");
  return parseScript(text.str(), path, out);
}
