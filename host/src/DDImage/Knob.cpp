#include "DDImage/Knob.h"

#include <ostream>

#include "standin/KnobRecord.h"

namespace DD {
namespace Image {

ValueStuffI::~ValueStuffI() = default;

bool ValueStuffI::set_value(double v, int channel) {
  auto* k = dynamic_cast<standin::KnobRecord*>(this);
  return k && k->setValue(v, channel);
}

double ValueStuffI::get_value(int channel) const {
  auto* k = dynamic_cast<const standin::KnobRecord*>(this);
  return k ? k->value(channel) : 0.0;
}

Knob::Knob(Knob_Closure*, const char* name, const char* label)
    : name_(name ? name : ""), label_(label ? label : (name ? name : "")) {}

Knob::~Knob() = default;

bool Knob::from_script(const char*) { return false; }

void Knob::to_script(std::ostream&, const OutputContext*, bool) const {}

}  // namespace Image
}  // namespace DD
