#include "depth/lensSettings.h"

#include "DDImage/Knob.h"
#include "DDImage/Op.h"
#include "ktLensValues.h"

using namespace DD::Image;

namespace {

double knobValue(const Op& node, const char* name, double fallback) {
  const Knob* k = node.knob(name);
  return k ? k->get_value() : fallback;
}

}  // namespace

ktOrvelSettings lensSettingsOf(const Op& node, int width, int height) {
  ktOrvelSettings s;
  float* const floats[] = {&s.focalPlane,     &s.focusRegionSize, &s.multiplier, &s.frontmultiplier,
                           &s.backmultiplier, &s.focalLength,     &s.fStop,      &s.worldScaleMultiplier,
                           &s.apertureWidth,  &s.apertureHeight};
  const char* const floatNames[] = {"focalPlane",     "focusRegionSize", "multiplier", "frontmultiplier",
                                    "backmultiplier", "focalLength",     "fStop",      "worldScaleMultiplier",
                                    "apertureWidth",  "apertureHeight"};
  for (size_t i = 0; i < sizeof floats / sizeof floats[0]; ++i)
    *floats[i] = static_cast<float>(knobValue(node, floatNames[i], *floats[i]));
  s.max_kernelsize = int(knobValue(node, "max_kernelsize", s.max_kernelsize));
  s.focusRegionFalloff = int(knobValue(node, "focusRegionFalloff", s.focusRegionFalloff));
  s.depthStyle = int(knobValue(node, "depthStyle", s.depthStyle));
  s.worldScale = int(knobValue(node, "worldScale", s.worldScale));
  s.realWorldLens = knobValue(node, "realWorldLens", 0) != 0;
  computeLensValues(s, width, height);
  s.contextScale = 1.0f;
  return s;
}
