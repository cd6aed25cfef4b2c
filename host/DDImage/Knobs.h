// Knob creation functions for Op::knobs(). Each takes the Knob_Callback first and returns the
// Knob made; Tooltip, SetFlags and SetRange act on the knob made last.
#pragma once

#include <string>

#include "DDImage/ChannelSet.h"
#include "DDImage/Format.h"
#include "DDImage/Knob.h"
#include "DDImage/Op.h"

namespace DD {
namespace Image {

// The closure knobs() is called with: here, always to construct knobs.
class DDImage_API Knob_Closure {
 public:
  Knob_Closure(bool v = false);
  virtual ~Knob_Closure();
  bool makeKnobs() const { return makeKnobs_; }
  virtual void constructed(Knob*);
  void setLastMadeKnob(Knob* k) { lastMadeKnob_ = k; }
  Knob* getLastMadeKnob() const { return lastMadeKnob_; }

 private:
  Knob* lastMadeKnob_ = nullptr;
  bool makeKnobs_;
};

typedef Knob_Closure& Knob_Callback;
typedef const char* NAME;
typedef const char* LABEL;
typedef const char* const* ENUM_LABELS;

DDImage_API void Tooltip(Knob_Callback f, const char*);
DDImage_API void Tooltip(Knob_Callback f, const std::string& text);
DDImage_API void SetFlags(Knob_Callback f, Knob::FlagMask n);
DDImage_API void ClearFlags(Knob_Callback f, Knob::FlagMask n);
DDImage_API void SetRange(Knob_Callback f, double minimum, double maximum);

Knob* Int_knob(Knob_Callback f, int* p, NAME n, LABEL l = nullptr);
Knob* Enumeration_knob(Knob_Callback f, int* p, ENUM_LABELS e, NAME n, LABEL l = nullptr);
Knob* Bool_knob(Knob_Callback f, bool* p, NAME n, LABEL l = nullptr);
Knob* Float_knob(Knob_Callback f, float* p, NAME n, LABEL l = nullptr);
Knob* MultiFloat_knob(Knob_Callback f, float* p, int dim, NAME n, LABEL l = nullptr);
Knob* ChannelSet_knob(Knob_Callback f, ChannelSet* p, NAME n, LABEL l = nullptr);
Knob* Channel_knob(Knob_Callback f, Channel* p, int count, NAME n, LABEL l = nullptr);
Knob* Input_Channel_knob(Knob_Callback f, Channel* p, int count, int input, NAME n, LABEL l = nullptr);
Knob* Color_knob(Knob_Callback f, float* p, NAME n, LABEL l = nullptr);
Knob* Tab_knob(Knob_Callback f, LABEL label);
Knob* Text_knob(Knob_Callback f, LABEL text);
// Older two-argument form (label, text).
Knob* Text_knob(Knob_Callback f, LABEL label, LABEL text);
Knob* ChannelMask_knob(Knob_Callback f, ChannelSet* p, NAME n, LABEL l = nullptr);

}  // namespace Image
}  // namespace DD
