#include "cli/knobApplication.h"

#include <algorithm>

#include "DDImage/Op.h"
#include "cli/nameSuggestion.h"
#include "standin/OpHost.h"

using namespace DD::Image;

namespace {

std::string prefix(const KnobAssignment& a) { return a.origin == "--set" ? "" : a.origin + ": "; }

Status unknownKnob(const Op& op, const KnobAssignment& a) {
  std::vector<std::string> names;
  for (const auto* k : OpHost::knobs(op))
    if (!k->name().empty()) names.push_back(k->name());
  const std::vector<std::string> near = nearestNames(a.name, names);
  std::string message = prefix(a) + "unknown knob '" + a.name + "'";
  message += near.empty() ? " (orvel knobs lists them)" : " (did you mean " + joinAlternatives(near) + "?)";
  return Status::usage(message);
}

}  // namespace

Status applyKnobs(Op& op, const std::vector<KnobAssignment>& assignments,
                  std::vector<std::string>& warnings) {
  std::vector<Knob*> changed;
  for (const KnobAssignment& a : assignments) {
    standin::KnobRecord* knob = standin::record(op.knob(a.name.c_str()));
    if (!knob) return unknownKnob(op, a);
    std::string error;
    if (!knob->fromScript(a.value, &error)) return Status::usage(prefix(a) + error);
    op.knob_changed(knob);
    if (std::find(changed.begin(), changed.end(), knob) == changed.end()) changed.push_back(knob);
  }
  for (const Knob* knob : changed)
    if (!knob->isEnabled())
      warnings.push_back("knob " + knob->name() +
                         " is disabled by the current settings or inputs; its value may be overridden");
  return Status::success();
}
