#include "DDImage/Knobs.h"

#include "standin/KnobRecord.h"

namespace DD {
namespace Image {
namespace {

using standin::KnobRecord;

KnobRecord* make(Knob_Callback f, KnobRecord::Kind kind, void* p, const char* name, const char* label) {
  auto* k = new KnobRecord(&f, kind, p, name, label ? label : name);
  f.constructed(k);
  f.setLastMadeKnob(k);
  return k;
}

}  // namespace

Knob_Closure::Knob_Closure(bool v) : makeKnobs_(v) {}
Knob_Closure::~Knob_Closure() = default;
// A closure that keeps nothing deletes what is made in it.
void Knob_Closure::constructed(Knob* k) { delete k; }

Knob* Float_knob(Knob_Callback f, float* p, NAME name, LABEL label) {
  return make(f, KnobRecord::Float, p, name, label);
}
Knob* Int_knob(Knob_Callback f, int* p, NAME name, LABEL label) {
  return make(f, KnobRecord::Int, p, name, label);
}
Knob* Enumeration_knob(Knob_Callback f, int* p, ENUM_LABELS labels, NAME name, LABEL label) {
  KnobRecord* k = make(f, KnobRecord::Enumeration, p, name, label);
  k->setLabels(labels);
  return k;
}
Knob* Bool_knob(Knob_Callback f, bool* p, NAME name, LABEL label) {
  return make(f, KnobRecord::Bool, p, name, label);
}
Knob* ChannelSet_knob(Knob_Callback f, ChannelSet* p, NAME name, LABEL label) {
  return make(f, KnobRecord::ChannelSetKind, p, name, label);
}
Knob* ChannelMask_knob(Knob_Callback f, ChannelSet* p, NAME name, LABEL label) {
  return ChannelSet_knob(f, p, name, label);
}
Knob* Channel_knob(Knob_Callback f, Channel* p, int, NAME name, LABEL label) {
  return make(f, KnobRecord::ChannelKind, p, name, label);
}
Knob* Input_Channel_knob(Knob_Callback f, Channel* p, int, int input, NAME name, LABEL label) {
  KnobRecord* k = make(f, KnobRecord::InputChannel, p, name, label);
  k->setInput(input);
  return k;
}
Knob* Color_knob(Knob_Callback f, float* p, NAME name, LABEL label) {
  return make(f, KnobRecord::Color, p, name, label);
}
Knob* MultiFloat_knob(Knob_Callback f, float* p, int, NAME name, LABEL label) {
  return make(f, KnobRecord::FloatPair, p, name, label);
}
Knob* Tab_knob(Knob_Callback f, LABEL label) { return make(f, KnobRecord::Tab, nullptr, "", label); }
Knob* Text_knob(Knob_Callback f, LABEL text) { return Text_knob(f, "", text); }
Knob* Text_knob(Knob_Callback f, LABEL label, LABEL text) {
  KnobRecord* k = make(f, KnobRecord::Text, nullptr, "", label);
  k->setText(text ? text : "");
  return k;
}

void Tooltip(Knob_Callback f, const char* text) {
  if (Knob* k = f.getLastMadeKnob()) k->tooltip(text ? text : "");
}
void Tooltip(Knob_Callback f, const std::string& text) { Tooltip(f, text.c_str()); }
void SetRange(Knob_Callback f, double minimum, double maximum) {
  if (KnobRecord* k = standin::record(f.getLastMadeKnob())) k->setRange(minimum, maximum);
}
void SetFlags(Knob_Callback f, Knob::FlagMask flags) {
  if (Knob* k = f.getLastMadeKnob()) k->set_flag(flags);
}
void ClearFlags(Knob_Callback f, Knob::FlagMask flags) {
  if (Knob* k = f.getLastMadeKnob()) k->clear_flag(flags);
}

}  // namespace Image
}  // namespace DD
