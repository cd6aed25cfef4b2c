// One panel control, bound to a member of its operator.
#pragma once

#include <string>
#include <vector>

#include "DDImage/Channel.h"
#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {

class Knob {
 public:
  enum Kind { Float, Int, Enumeration, Bool, ChannelSetKind, ChannelKind, InputChannel, Color, FloatPair, Tab, Text };
  enum FlagBits : unsigned { FORCE_RANGE = 0x10, STARTLINE = 0x1000 };

  Knob(Kind kind, void* member, const char* name, const char* label)
      : kind_(kind), member_(member), name_(name ? name : ""), label_(label ? label : "") {}

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  const std::string& label() const { return label_; }
  const std::string& tooltip() const { return tooltip_; }
  const std::string& text() const { return text_; }
  unsigned flags() const { return flags_; }
  bool hasRange() const { return hasRange_; }
  double rangeMin() const { return min_; }
  double rangeMax() const { return max_; }
  const std::vector<std::string>& enumLabels() const { return labels_; }
  int inputNumber() const { return input_; }
  // Number of values the knob holds (3 for a colour, 2 for a pair, 1 otherwise, 0 without a value).
  int arraySize() const;

  bool isEnabled() const { return enabled_; }
  void enable() { enabled_ = true; }
  void disable() { enabled_ = false; }
  void enable(bool on) { enabled_ = on; }

  // Numeric access as doubles; channels by id, booleans as 0 or 1.
  double get_value(int index = 0) const;
  void set_value(double v, int index = 0);

  // The value as a saved script writes it, and parsing it back.
  // from_script returns false, with a message in `error`, when the text does not parse; a value
  // wrapped in double quotes or braces, as scripts write text with spaces, is read unwrapped.
  std::string to_script() const;
  bool from_script(const std::string& text, std::string* error = nullptr);

  // Set-up calls, made by the knob functions while an operator declares its knobs.
  void setTooltip(const char* t) { tooltip_ = t ? t : ""; }
  void setRange(double lo, double hi) {
    min_ = lo;
    max_ = hi;
    hasRange_ = true;
  }
  void setFlags(unsigned bits) { flags_ |= bits; }
  void setLabels(const char* const* labels);
  void setText(const std::string& t) { text_ = t; }
  void setInput(int n) { input_ = n; }

 private:
  double clampToRange(double v) const;

  Kind kind_;
  void* member_;
  std::string name_, label_, tooltip_, text_;
  std::vector<std::string> labels_;
  unsigned flags_ = 0;
  bool hasRange_ = false;
  double min_ = 0, max_ = 1;
  int input_ = -1;
  bool enabled_ = true;
};

}  // namespace Image
}  // namespace DD
