#include "knobTable.h"

#include <cstdio>
#include <string>

#include "DDImage/Op.h"

using namespace DD::Image;

namespace {

const char* kindName(Knob::Kind k) {
  switch (k) {
    case Knob::Float:
      return "float";
    case Knob::Int:
      return "int";
    case Knob::Enumeration:
      return "enumeration";
    case Knob::Bool:
      return "bool";
    case Knob::ChannelSetKind:
      return "channel set";
    case Knob::ChannelKind:
      return "channel";
    case Knob::InputChannel:
      return "input channel";
    case Knob::Color:
      return "colour";
    case Knob::FloatPair:
      return "float pair";
    case Knob::Tab:
      return "tab";
    case Knob::Text:
      return "text";
  }
  return "?";
}

std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

std::string rangeText(const Knob& k) {
  if (!k.hasRange()) return "";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g .. %g", k.rangeMin(), k.rangeMax());
  return buffer;
}

std::string flagText(const Knob& k) {
  std::string out;
  if (k.flags() & Knob::FORCE_RANGE) out += "clamped";
  if (k.flags() & Knob::STARTLINE) out += out.empty() ? "new line" : ", new line";
  return out;
}

std::string choices(const Knob& k) {
  std::string out;
  for (size_t i = 0; i < k.enumLabels().size(); ++i)
    out += (i ? ", " : "") + std::to_string(i) + " \"" + k.enumLabels()[i] + "\"";
  return out;
}

}  // namespace

void printKnobTable(const Op& op, std::ostream& out) {
  out << "name\tlabel\tkind\tdefault\trange\tflags\ttooltip\n";
  for (const auto& knob : op.allKnobs()) {
    const Knob& k = *knob;
    if (k.kind() == Knob::Tab) {
      out << "[" << k.label() << "]\n";
      continue;
    }
    std::string kind = kindName(k.kind());
    if (k.kind() == Knob::Enumeration) kind += " (" + choices(k) + ")";
    out << (k.name().empty() ? "-" : k.name()) << '\t' << k.label() << '\t' << kind << '\t'
        << (k.kind() == Knob::Text ? k.text() : k.to_script()) << '\t' << rangeText(k) << '\t' << flagText(k)
        << '\t' << escaped(k.tooltip()) << '\n';
  }
}
