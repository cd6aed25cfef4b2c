#include "DDImage/Knobs.h"

namespace DD {
namespace Image {
namespace {

Knob* make(Knob_Callback f, Knob::Kind kind, void* p, const char* name, const char* label) {
  return f.add(std::make_unique<Knob>(kind, p, name, label ? label : name));
}

}  // namespace

Knob* Float_knob(Knob_Callback f, float* p, const char* name, const char* label) {
  return make(f, Knob::Float, p, name, label);
}
Knob* Int_knob(Knob_Callback f, int* p, const char* name, const char* label) {
  return make(f, Knob::Int, p, name, label);
}
Knob* Enumeration_knob(Knob_Callback f, int* p, const char* const* labels, const char* name, const char* label) {
  Knob* k = make(f, Knob::Enumeration, p, name, label);
  k->setLabels(labels);
  return k;
}
Knob* Bool_knob(Knob_Callback f, bool* p, const char* name, const char* label) {
  return make(f, Knob::Bool, p, name, label);
}
Knob* ChannelMask_knob(Knob_Callback f, ChannelSet* p, const char* name, const char* label) {
  return make(f, Knob::ChannelSetKind, p, name, label);
}
Knob* Channel_knob(Knob_Callback f, Channel* p, int, const char* name, const char* label) {
  return make(f, Knob::ChannelKind, p, name, label);
}
Knob* Input_Channel_knob(Knob_Callback f, Channel* p, int, int input, const char* name, const char* label) {
  Knob* k = make(f, Knob::InputChannel, p, name, label);
  k->setInput(input);
  return k;
}
Knob* Color_knob(Knob_Callback f, float* p, const char* name, const char* label) {
  return make(f, Knob::Color, p, name, label);
}
Knob* MultiFloat_knob(Knob_Callback f, float* p, int, const char* name, const char* label) {
  return make(f, Knob::FloatPair, p, name, label);
}
Knob* Tab_knob(Knob_Callback f, const char* label) { return make(f, Knob::Tab, nullptr, "", label); }
Knob* Text_knob(Knob_Callback f, const char* label, const char* text) {
  Knob* k = make(f, Knob::Text, nullptr, "", label);
  k->setText(text ? text : "");
  return k;
}

void Tooltip(Knob_Callback f, const char* text) {
  if (Knob* k = f.last()) k->setTooltip(text);
}
void SetRange(Knob_Callback f, double minimum, double maximum) {
  if (Knob* k = f.last()) k->setRange(minimum, maximum);
}
void SetFlags(Knob_Callback f, unsigned flags) {
  if (Knob* k = f.last()) k->setFlags(flags);
}

}  // namespace Image
}  // namespace DD
