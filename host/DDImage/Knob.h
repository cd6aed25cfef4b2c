// One control on the node's panel. Flags are Knob::FlagMask (64-bit) constants; values go
// through ValueStuffI's set_value / get_value.
#pragma once

#include <iosfwd>
#include <string>

#include "DDImage/DDImage_API.h"
#include "DDImage/OutputContext.h"
#include "DDImage/ValueStuffI.h"

class Node;

namespace DD {
namespace Image {

class Op;
class Knob_Closure;

class DDImage_API Knob : public ValueStuffI {
 public:
  typedef U64 FlagMask;
  // General flags.
  static constexpr const FlagMask DISABLED = 0x0000000000000080;
  static constexpr const FlagMask NO_ANIMATION = 0x0000000000000100;
  static constexpr const FlagMask DO_NOT_WRITE = 0x0000000000000200;
  static constexpr const FlagMask INVISIBLE = 0x0000000000000400;
  static constexpr const FlagMask RESIZABLE = 0x0000000000000800;
  static constexpr const FlagMask STARTLINE = 0x0000000000001000;
  static constexpr const FlagMask ENDLINE = 0x0000000000002000;
  static constexpr const FlagMask NO_RERENDER = 0x0000000000004000;
  static constexpr const FlagMask NO_HANDLES = 0x0000000000008000;
  static constexpr const FlagMask KNOB_CHANGED_ALWAYS = 0x0000000000010000;
  static constexpr const FlagMask NO_KNOB_CHANGED = 0x0000000000020000;
  static constexpr const FlagMask HIDDEN = 0x0000000000040000;
  static constexpr const FlagMask NO_UNDO = 0x0000000000080000;
  static constexpr const FlagMask ALWAYS_SAVE = 0x0000000000100000;
  static constexpr const FlagMask NODE_KNOB = 0x0000000000200000;
  static constexpr const FlagMask HANDLES_ANYWAY = 0x0000000000400000;
  static constexpr const FlagMask INDETERMINATE = 0x0000000000800000;
  static constexpr const FlagMask COLOURCHIP_HAS_UNSET = 0x0000000001000000;
  static constexpr const FlagMask SMALL_UI = 0x0000000002000000;
  static constexpr const FlagMask NO_NUMERIC_FIELDS = 0x0000000004000000;
  static constexpr const FlagMask KNOB_CHANGED_RECURSIVE = 0x0000000008000000;
  static constexpr const FlagMask READ_ONLY = 0x0000000010000000;
  static constexpr const FlagMask NO_CURVE_EDITOR = 0x0000000020000000;
  static constexpr const FlagMask NO_MULTIVIEW = 0x0000000040000000;
  static constexpr const FlagMask EARLY_STORE = 0x0000000080000000;
  static constexpr const FlagMask MODIFIES_GEOMETRY = 0x0000000100000000;
  static constexpr const FlagMask OUTPUT_ONLY = 0x0000000200000000;
  static constexpr const FlagMask NO_KNOB_CHANGED_FINISHED = 0x0000000400000000;
  static constexpr const FlagMask TINY_SLIDER = 0x0000080000000000;
  static constexpr const FlagMask HIDE_ANIMATION_AND_VIEWS = 0x0000100000000000;
  // Numeric knobs.
  static constexpr const FlagMask MAGNITUDE = 0x0000000000000001;
  static constexpr const FlagMask SLIDER = 0x0000000000000002;
  static constexpr const FlagMask LOG_SLIDER = 0x0000000000000004;
  static constexpr const FlagMask STORE_INTEGER = 0x0000000000000008;
  static constexpr const FlagMask FORCE_RANGE = 0x0000000000000010;
  static constexpr const FlagMask ANGLE = 0x0000000000000020;
  static constexpr const FlagMask NO_PROXYSCALE = 0x0000000000000040;
  // Enumeration knobs.
  static constexpr const FlagMask SAVE_MENU = 0x0000000002000000;
  static constexpr const FlagMask EXPAND_TO_CONTENTS = 0x0000000000000001;
  static constexpr const FlagMask EXACT_MATCH_ONLY = 0x0000000000000002;
  // Group knobs.
  static constexpr const FlagMask CLOSED = 0x0000000000000001;
  static constexpr const FlagMask TOOLBAR_GROUP = 0x0000000000000002;
  static constexpr const FlagMask TOOLBAR_LEFT = 0x0000000000000000;
  static constexpr const FlagMask TOOLBAR_TOP = 0x0000000000000010;
  static constexpr const FlagMask TOOLBAR_BOTTOM = 0x0000000000000020;
  static constexpr const FlagMask TOOLBAR_RIGHT = 0x0000000000000030;
  static constexpr const FlagMask TOOLBAR_POSITION = 0x0000000000000030;
  // Channel and ChannelSet knobs.
  static constexpr const FlagMask NO_CHECKMARKS = 0x0000000000000001;
  static constexpr const FlagMask NO_ALPHA_PULLDOWN = 0x0000000000000002;
  static constexpr const FlagMask FULL_LAYER_ENABLED = 0x0000000000000004;
  // Format knob.
  static constexpr const FlagMask PROXY_DEFAULT = 0x0000000000000001;

  Knob(Knob_Closure* c, const char* name, const char* label = nullptr);
  virtual ~Knob();
  virtual const char* Class() const = 0;

  const std::string& name() const { return name_; }
  bool is(const char* v) const { return v && name_ == v; }
  const std::string& label() const { return label_; }
  const std::string& tooltip() const { return tooltip_; }
  void tooltip(const std::string& p) { tooltip_ = p; }

  void flags(FlagMask f) noexcept { flags_ = f; }
  void set_flag(FlagMask f) noexcept { flags_ |= f; }
  void clear_flag(FlagMask f) noexcept { flags_ &= ~f; }
  void set_flag(FlagMask f, bool b) noexcept { b ? set_flag(f) : clear_flag(f); }
  FlagMask flags() const noexcept { return flags_; }
  bool flag(FlagMask f) const noexcept { return (flags_ & f) != 0; }

  bool isEnabled() const { return !flag(DISABLED); }
  void enable() { enable(true); }
  void disable() { enable(false); }
  virtual void enable(bool on) { set_flag(DISABLED, !on); }
  bool isVisible() const { return !flag(INVISIBLE); }
  void hide() { visible(false); }
  void show() { visible(true); }
  void visible(bool on) { set_flag(INVISIBLE, !on); }

  // Reads a value as a saved script writes it; false when it does not parse.
  virtual bool from_script(const char* v);
  virtual void to_script(std::ostream&, const OutputContext*, bool quote) const;

 private:
  Knob(const Knob&);
  Knob& operator=(const Knob&);
  std::string name_, label_, tooltip_;
  FlagMask flags_ = 0;
};

}  // namespace Image
}  // namespace DD
