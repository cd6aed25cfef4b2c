#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <sstream>

#include "DDImage/ChannelSet.h"
#include "standin/KnobRecord.h"

namespace standin {
namespace {

using namespace DD::Image;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return "";
  const size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

// A value as a script may quote it: "Aperture Blades" or {Aperture Blades} stands for the text
// inside; anything else is itself.
std::string unquote(const std::string& text) {
  const std::string s = trim(text);
  const bool quoted = s.size() >= 2 && s.front() == '"' && s.back() == '"';
  const bool braced = s.size() >= 2 && s.front() == '{' && s.back() == '}';
  return quoted || braced ? trim(s.substr(1, s.size() - 2)) : s;
}

// Splits "a,b c" or "{a b c}" into its words.
std::vector<std::string> words(const std::string& text) {
  std::string s = trim(text);
  if (s.size() >= 2 && s.front() == '{' && s.back() == '}') s = s.substr(1, s.size() - 2);
  for (char& c : s)
    if (c == ',') c = ' ';
  std::istringstream in(s);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// Whether v stays finite when a float member stores it: narrowing rounds to the largest float
// below the midpoint between it and 2^128, and to infinity from there on.
bool fitsFloat(double v) { return std::fabs(v) < std::ldexp(1.0, 128) - std::ldexp(1.0, 103); }

bool parseDouble(const std::string& w, double& v) {
  const char* s = w.c_str();
  char* end = nullptr;
  v = std::strtod(s, &end);
  return end != s && *end == '\0' && !w.empty();
}

// The shortest text that reads back as the same float.
std::string formatNumber(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  if (static_cast<float>(std::strtod(buffer, nullptr)) != static_cast<float>(v))
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
  return buffer;
}

bool fail(ScriptRefusal* refusal, const std::string& message) {
  if (refusal) *refusal = ScriptRefusal{message, std::nullopt};
  return false;
}

bool failOnChannel(ScriptRefusal* refusal, const std::string& knob, const std::string& channel) {
  if (refusal) *refusal = ScriptRefusal{"knob " + knob + ": unknown channel '" + channel + "'", channel};
  return false;
}

// Named groups of channels a channel-set value may use.
bool addChannelWord(const std::string& w, ChannelSet& set) {
  if (w == "all") {
    set = Mask_All;
    return true;
  }
  if (w == "none") return true;
  if (w == "rgba") {
    set += Mask_RGBA;
    return true;
  }
  if (w == "rgb") {
    set += Mask_RGB;
    return true;
  }
  if (w == "depth") {
    set += Chan_Z;
    return true;
  }
  if (w == "deep") {
    set += Mask_Deep;
    return true;
  }
  const Channel z = findChannel(w.c_str());
  if (z == Chan_Black) return false;
  set += z;
  return true;
}

std::string channelSetScript(const ChannelSet& s) {
  if (s.all()) return "all";
  if (s.empty()) return "none";
  if (s == Mask_RGBA) return "rgba";
  if (s == Mask_RGB) return "rgb";
  std::string out;
  for (Channel z : s) out += (out.empty() ? "" : " ") + std::string(getName(z));
  return "{" + out + "}";
}

}  // namespace

int KnobRecord::arraySize() const {
  switch (kind_) {
    case Color:
      return 3;
    case FloatPair:
      return 2;
    case Tab:
    case Text:
      return 0;
    default:
      return 1;
  }
}

void KnobRecord::setLabels(const char* const* labels) {
  labels_.clear();
  for (; labels && *labels; ++labels) labels_.push_back(*labels);
}

double KnobRecord::clampToRange(double v) const {
  if (flag(FORCE_RANGE) && hasRange_) v = std::min(std::max(v, min_), max_);
  return v;
}

double KnobRecord::value(int index) const {
  if (!member_ || index < 0 || index >= arraySize()) return 0.0;
  switch (kind_) {
    case Float:
    case Color:
    case FloatPair:
      return static_cast<float*>(member_)[index];
    case Int:
    case Enumeration:
      return *static_cast<int*>(member_);
    case Bool:
      return *static_cast<bool*>(member_) ? 1.0 : 0.0;
    case ChannelKind:
    case InputChannel:
      return *static_cast<Channel*>(member_);
    default:
      return 0.0;
  }
}

bool KnobRecord::setValue(double v, int index) {
  if (index < 0) {
    bool changed = false;
    for (int i = 0; i < arraySize(); ++i) changed = setValue(v, i) || changed;
    return changed;
  }
  if (!member_ || index >= arraySize()) return false;
  const double before = value(index);
  v = clampToRange(v);
  switch (kind_) {
    case Float:
    case Color:
    case FloatPair:
      static_cast<float*>(member_)[index] = static_cast<float>(v);
      break;
    case Int:
      *static_cast<int*>(member_) = static_cast<int>(std::lround(std::min(std::max(v, -2e9), 2e9)));
      break;
    case Enumeration: {
      const double top = labels_.empty() ? 0.0 : double(labels_.size() - 1);
      *static_cast<int*>(member_) = static_cast<int>(std::lround(std::min(std::max(v, 0.0), top)));
      break;
    }
    case Bool:
      *static_cast<bool*>(member_) = v != 0.0;
      break;
    case ChannelKind:
    case InputChannel:
      if (v >= 0 && v <= Chan_Last) *static_cast<Channel*>(member_) = static_cast<Channel>(int(v));
      break;
    default:
      break;
  }
  return value(index) != before;
}

std::string KnobRecord::script() const {
  if (!member_) return kind_ == Text ? text_ : "";
  switch (kind_) {
    case Float:
      return formatNumber(value(0));
    case Int:
      return std::to_string(*static_cast<int*>(member_));
    case Enumeration: {
      const int i = *static_cast<int*>(member_);
      return i >= 0 && size_t(i) < labels_.size() ? labels_[i] : std::to_string(i);
    }
    case Bool:
      return *static_cast<bool*>(member_) ? "true" : "false";
    case ChannelSetKind:
      return channelSetScript(*static_cast<ChannelSet*>(member_));
    case ChannelKind:
    case InputChannel: {
      const char* n = getName(*static_cast<Channel*>(member_));
      return n ? n : "none";
    }
    case Color:
    case FloatPair: {
      std::string out;
      for (int i = 0; i < arraySize(); ++i) out += (i ? " " : "") + formatNumber(value(i));
      return "{" + out + "}";
    }
    default:
      return "";
  }
}

bool KnobRecord::fromScript(const std::string& text, ScriptRefusal* refusal) {
  const std::string t = unquote(text);
  if (!member_) return fail(refusal, "knob " + name() + " holds no value");
  switch (kind_) {
    case Float:
    case Int: {
      double v;
      if (!parseDouble(t, v) || !std::isfinite(v) || (kind_ == Int && v != std::floor(v)))
        return fail(refusal, "knob " + name() + " wants " + (kind_ == Int ? "a whole number" : "a number") +
                                 ", not '" + t + "'");
      // A value the float would hold as infinity could not be written back and read again.
      if (kind_ == Float && !fitsFloat(clampToRange(v)))
        return fail(refusal, "knob " + name() + ": '" + t + "' is beyond the largest float");
      setValue(v, -1);
      return true;
    }
    case Enumeration: {
      for (size_t i = 0; i < labels_.size(); ++i)
        if (lower(labels_[i]) == lower(t)) {
          setValue(double(i), -1);
          return true;
        }
      double v;
      if (parseDouble(t, v) && v == std::floor(v) && v >= 0 && v < double(labels_.size())) {
        setValue(v, -1);
        return true;
      }
      std::string choices;
      for (const auto& l : labels_) choices += (choices.empty() ? "\"" : ", \"") + l + "\"";
      return fail(refusal,
                  "knob " + name() + " takes one of " + choices + " (or its index), not '" + t + "'");
    }
    case Bool: {
      const std::string l = lower(t);
      if (l == "1" || l == "true" || l == "on" || l == "yes") {
        setValue(1.0, -1);
        return true;
      }
      if (l == "0" || l == "false" || l == "off" || l == "no") {
        setValue(0.0, -1);
        return true;
      }
      return fail(refusal, "knob " + name() + " takes 0, 1, true or false, not '" + t + "'");
    }
    case ChannelSetKind: {
      ChannelSet set;
      for (const std::string& w : words(t))
        if (!addChannelWord(w, set)) return failOnChannel(refusal, name(), w);
      *static_cast<ChannelSet*>(member_) = set;
      return true;
    }
    case ChannelKind:
    case InputChannel: {
      const Channel z = findChannel(t.c_str());
      if (z == Chan_Black && t != "none" && t != "0") return failOnChannel(refusal, name(), t);
      setValue(double(z), -1);
      return true;
    }
    case Color:
    case FloatPair: {
      const std::vector<std::string> w = words(t);
      std::vector<double> v(w.size());
      for (size_t i = 0; i < w.size(); ++i)
        if (!parseDouble(w[i], v[i]) || !std::isfinite(v[i]) || !fitsFloat(clampToRange(v[i])))
          return fail(refusal, "knob " + name() + " wants numbers a float holds, not '" + t + "'");
      if (w.size() == 1) v.assign(arraySize(), v[0]);
      if (int(v.size()) != arraySize())
        return fail(refusal,
                    "knob " + name() + " wants " + std::to_string(arraySize()) + " numbers, not '" + t + "'");
      for (int i = 0; i < arraySize(); ++i) setValue(v[i], i);
      return true;
    }
    default:
      return fail(refusal, "knob " + name() + " holds no value");
  }
}

}  // namespace standin

namespace standin {

KnobRecord::KnobRecord(DD::Image::Knob_Closure* c, Kind kind, void* member, const char* name,
                       const char* label)
    : Knob(c, name, label), kind_(kind), member_(member) {}

const char* KnobRecord::Class() const {
  static const char* const kClasses[] = {
      "Float_Knob",         "Int_Knob",   "Enumeration_Knob", "Bool_Knob", "ChannelMask_Knob", "Channel_Knob",
      "Input_Channel_Knob", "Color_Knob", "MultiFloat_Knob",  "Tab_Knob",  "Text_Knob"};
  return kClasses[kind_];
}

void KnobRecord::to_script(std::ostream& o, const DD::Image::OutputContext*, bool quote) const {
  const std::string s = script();
  if (quote && s.find(' ') != std::string::npos && s.front() != '{')
    o << '"' << s << '"';
  else
    o << s;
}

}  // namespace standin
