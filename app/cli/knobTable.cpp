#include "cli/knobTable.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "DDImage/Op.h"
#include "standin/OpHost.h"

using namespace DD::Image;
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
