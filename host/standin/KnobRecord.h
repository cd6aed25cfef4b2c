// The stand-in's knob: what the host's panel knows of a knob beyond the Knob interface (its
// kind, member, range, choices), which the renderer lists and stores values through.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "DDImage/Knob.h"

namespace standin {

// Why a value's text did not parse: the message, and the channel name no channel has when that
// was the reason.
struct ScriptRefusal {
  std::string message;
  std::optional<std::string> unknownChannel;
};

class KnobRecord : public DD::Image::Knob {
 public:
  enum Kind {
    Float,
    Int,
    Enumeration,
    Bool,
    ChannelSetKind,
    ChannelKind,
    InputChannel,
    Color,
    FloatPair,
    Tab,
    Text
  };

  KnobRecord(DD::Image::Knob_Closure* c, Kind kind, void* member, const char* name, const char* label);
  const char* Class() const override;

  Kind kind() const { return kind_; }
  const std::string& text() const { return text_; }
  bool hasRange() const { return hasRange_; }
  double rangeMin() const { return min_; }
  double rangeMax() const { return max_; }
  const std::vector<std::string>& enumLabels() const { return labels_; }
  int inputNumber() const { return input_; }
  // The set a channel-set knob holds; null for a knob of another kind.
  const DD::Image::ChannelSet* channelSet() const {
    return kind_ == ChannelSetKind ? static_cast<const DD::Image::ChannelSet*>(member_) : nullptr;
  }
  // Number of values the knob holds (3 for a colour, 2 for a pair, 1 otherwise, 0 without a value).
  int arraySize() const;

  double value(int index) const;
  bool setValue(double v, int index);
  // The value as a saved script writes it, and parsing it back: false, with a message in
  // `refusal`, when the text does not parse; a value wrapped in double quotes or braces, as
  // scripts write text with spaces, is read unwrapped.
  std::string script() const;
  bool fromScript(const std::string& text, ScriptRefusal* refusal = nullptr);
  bool from_script(const char* v) override { return fromScript(v ? v : ""); }
  void to_script(std::ostream& o, const DD::Image::OutputContext*, bool quote) const override;

  void setRange(double lo, double hi) {
    min_ = lo;
    max_ = hi;
    hasRange_ = true;
  }
  void setLabels(const char* const* labels);
  void setText(const std::string& t) { text_ = t; }
  void setInput(int n) { input_ = n; }

 private:
  double clampToRange(double v) const;
  Kind kind_;
  void* member_;
  std::string text_;
  std::vector<std::string> labels_;
  bool hasRange_ = false;
  double min_ = 0, max_ = 1;
  int input_ = -1;
};

// The stand-in's record of a knob, or null for a knob the stand-in did not make.
inline KnobRecord* record(DD::Image::Knob* k) { return dynamic_cast<KnobRecord*>(k); }
inline const KnobRecord* record(const DD::Image::Knob* k) { return dynamic_cast<const KnobRecord*>(k); }

}  // namespace standin
