// Knob declaration calls: an operator's knobs() makes one call per knob on a closure,
// which records it; Tooltip, SetRange and SetFlags act on the last knob.
#pragma once

#include <memory>
#include <vector>

#include "DDImage/ChannelSet.h"
#include "DDImage/Knob.h"

namespace DD {
namespace Image {

class Knob_Closure {
 public:
  // Records knobs into `store`, so that knobs declared so far can be looked up at once.
  explicit Knob_Closure(std::vector<std::unique_ptr<Knob>>& store) : knobs_(store) {}
  Knob* add(std::unique_ptr<Knob> k) {
    knobs_.push_back(std::move(k));
    return knobs_.back().get();
  }
  Knob* last() { return knobs_.empty() ? nullptr : knobs_.back().get(); }

 private:
  std::vector<std::unique_ptr<Knob>>& knobs_;
};

using Knob_Callback = Knob_Closure&;

Knob* Float_knob(Knob_Callback f, float* p, const char* name, const char* label = nullptr);
Knob* Int_knob(Knob_Callback f, int* p, const char* name, const char* label = nullptr);
Knob* Enumeration_knob(Knob_Callback f, int* p, const char* const* labels, const char* name,
                       const char* label = nullptr);
Knob* Bool_knob(Knob_Callback f, bool* p, const char* name, const char* label = nullptr);
Knob* ChannelMask_knob(Knob_Callback f, ChannelSet* p, const char* name, const char* label = nullptr);
Knob* Channel_knob(Knob_Callback f, Channel* p, int count, const char* name, const char* label = nullptr);
Knob* Input_Channel_knob(Knob_Callback f, Channel* p, int count, int input, const char* name,
                         const char* label = nullptr);
Knob* Color_knob(Knob_Callback f, float* p, const char* name, const char* label = nullptr);
Knob* MultiFloat_knob(Knob_Callback f, float* p, int count, const char* name, const char* label = nullptr);
Knob* Tab_knob(Knob_Callback f, const char* label);
Knob* Text_knob(Knob_Callback f, const char* label, const char* text);

void Tooltip(Knob_Callback f, const char* text);
void SetRange(Knob_Callback f, double minimum, double maximum);
void SetFlags(Knob_Callback f, unsigned flags);

}  // namespace Image
}  // namespace DD
