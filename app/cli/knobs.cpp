#include "cli/knobs.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DDImage/Op.h"
#include "cli/messages.h"
#include "standin/OpHost.h"

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

using namespace DD::Image;

namespace {

std::string prefix(const KnobAssignment& a) { return a.origin == "--set" ? "" : a.origin + ": "; }

Status unknownKnob(const Op& op, const KnobAssignment& a) {
  std::vector<std::string> names;
  for (const auto* k : OpHost::knobs(op))
    if (!k->name().empty()) names.push_back(k->name());
  const std::vector<std::string> near = nearestNames(a.name, names);
  std::string message = prefix(a) + "unknown knob '" + a.name + "'";
  message += near.empty() ? " (orvel knobs lists them)" : " (did you mean " + joinAlternatives(near) + "?)";
  return Status::usage(message);
}

}  // namespace

Status applyKnobs(Op& op, const std::vector<KnobAssignment>& assignments, std::vector<std::string>& warnings,
                  std::optional<std::string>* unknownChannel) {
  std::vector<Knob*> changed;
  for (const KnobAssignment& a : assignments) {
    standin::KnobRecord* knob = standin::record(op.knob(a.name.c_str()));
    if (!knob) return unknownKnob(op, a);
    standin::ScriptRefusal refusal;
    if (!knob->fromScript(a.value, &refusal)) {
      if (unknownChannel) *unknownChannel = refusal.unknownChannel;
      return Status::usage(prefix(a) + refusal.message);
    }
    op.knob_changed(knob);
    if (std::find(changed.begin(), changed.end(), knob) == changed.end()) changed.push_back(knob);
  }
  for (const Knob* knob : changed)
    if (!knob->isEnabled())
      warnings.push_back("knob " + knob->name() +
                         " is disabled by the current settings or inputs; its value may be overridden");
  return Status::success();
}

using standin::KnobRecord;

namespace {

const char* kindName(KnobRecord::Kind k) {
  switch (k) {
    case KnobRecord::Float:
      return "float";
    case KnobRecord::Int:
      return "int";
    case KnobRecord::Enumeration:
      return "enumeration";
    case KnobRecord::Bool:
      return "bool";
    case KnobRecord::ChannelSetKind:
      return "channel set";
    case KnobRecord::ChannelKind:
      return "channel";
    case KnobRecord::InputChannel:
      return "input channel";
    case KnobRecord::Color:
      return "colour";
    case KnobRecord::FloatPair:
      return "float pair";
    case KnobRecord::Tab:
      return "tab";
    case KnobRecord::Text:
      return "text";
  }
  return "?";
}

std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

std::string rangeText(const KnobRecord& k) {
  if (!k.hasRange()) return "";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g .. %g", k.rangeMin(), k.rangeMax());
  return buffer;
}

std::string flagText(const KnobRecord& k) {
  std::string out;
  if (k.flag(Knob::FORCE_RANGE)) out += "clamped";
  if (k.flag(Knob::STARTLINE)) out += out.empty() ? "new line" : ", new line";
  return out;
}

std::string choices(const KnobRecord& k) {
  std::string out;
  for (size_t i = 0; i < k.enumLabels().size(); ++i)
    out += (i ? ", " : "") + std::to_string(i) + " \"" + k.enumLabels()[i] + "\"";
  return out;
}

void printKnob(const KnobRecord& k, std::ostream& out, const std::string& prefix = "") {
  std::string kind = kindName(k.kind());
  if (k.kind() == KnobRecord::Enumeration) kind += " (" + choices(k) + ")";
  out << (k.name().empty() ? "-" : prefix + k.name()) << '\t' << k.label() << '\t' << kind << '\t'
      << (k.kind() == KnobRecord::Text ? k.text() : k.script()) << '\t' << rangeText(k) << '\t' << flagText(k)
      << '\t' << escaped(k.tooltip()) << '\n';
}

}  // namespace

std::vector<KnobEntry> knobEntries(const Op& op) {
  std::vector<KnobEntry> entries;
  for (const KnobRecord* k : OpHost::knobs(op)) {
    if (k->name().empty() || k->kind() == KnobRecord::Tab) continue;
    KnobEntry& e = entries.emplace_back();
    e.name = k->name(), e.label = k->label(), e.kind = kindName(k->kind()), e.tooltip = k->tooltip();
    e.defaultText = k->kind() == KnobRecord::Text ? k->text() : k->script();
    e.choices = k->enumLabels();
    e.hasRange = k->hasRange(), e.clamped = k->flag(Knob::FORCE_RANGE);
    if (e.hasRange) e.rangeMin = k->rangeMin(), e.rangeMax = k->rangeMax();
  }
  return entries;
}

void printKnobTable(const Op& op, std::ostream& out) {
  out << "name\tlabel\tkind\tdefault\trange\tflags\ttooltip\n";
  for (const KnobRecord* knob : OpHost::knobs(op)) {
    if (knob->kind() == KnobRecord::Tab)
      out << "[" << knob->label() << "]\n";
    else
      printKnob(*knob, out);
  }
}

void printKnobTable(const Op& op, std::ostream& out, std::vector<std::string>& names,
                    const std::string& prefix) {
  for (const KnobRecord* knob : OpHost::knobs(op)) {
    const auto it = std::find(names.begin(), names.end(), prefix + knob->name());
    if (knob->name().empty() || knob->kind() == KnobRecord::Tab || it == names.end()) continue;
    names.erase(it);
    printKnob(*knob, out, prefix);
  }
}
