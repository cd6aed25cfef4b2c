#include "cli/cameraOption.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "DDImage/CameraOp.h"
#include "cli/messages.h"

using DD::Image::CameraOp;

namespace {

struct CameraKey {
  const char* name;
  void (CameraOp::*set)(double);
  const char* meaning;
};

const CameraKey kKeys[] = {
    {"focal", &CameraOp::setFocalLength, "the focal length in mm"},
    {"focal_point", &CameraOp::setFocusDistance, "the focus distance in scene units"},
    {"fstop", &CameraOp::setfStop, "the f-number"},
    {"haperture", &CameraOp::setHorizontalAperture, "the film back's width in mm"},
    {"vaperture", &CameraOp::setVerticalAperture, "the film back's height in mm"},
};

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::vector<std::string> splitCommas(const std::string& s) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t comma; (comma = s.find(',', start)) != std::string::npos; start = comma + 1)
    parts.push_back(s.substr(start, comma - start));
  parts.push_back(s.substr(start));
  return parts;
}

const CameraKey* findKey(const std::string& name) {
  for (const CameraKey& k : kKeys)
    if (name == k.name) return &k;
  return nullptr;
}

// Suggestions say what each value is, so that "focus" finds the focus distance rather than
// only the nearest spelling.
Status unknownKey(const std::string& name) {
  std::vector<std::string> names;
  for (const CameraKey& k : kKeys) names.push_back(k.name);
  std::vector<std::string> near = nearestNames(name, names);
  if (name.find("focus") != std::string::npos || name.find("dist") != std::string::npos)
    near = {"focal_point"};
  if (near.empty()) near = names;
  std::vector<std::string> described;
  for (const std::string& n : near) described.push_back(n + " (" + findKey(n)->meaning + ")");
  return Status::usage("--camera: unknown value '" + name + "' (did you mean " + joinAlternatives(described) +
                       "?)");
}

bool parseNumber(const std::string& text, double& v) {
  if (text.empty()) return false;
  char* end = nullptr;
  v = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(v);
}

}  // namespace

Status applyCameraOption(const std::string& text, CameraOp& camera) {
  if (trim(text).empty()) return Status::success();
  struct Assignment {
    const CameraKey* key;
    double value;
  };
  std::vector<Assignment> assignments;
  for (const std::string& part : splitCommas(text)) {
    const size_t eq = part.find('=');
    if (eq == std::string::npos)
      return Status::usage("--camera wants NAME=VALUE pairs separated by commas, not '" + trim(part) + "'");
    const std::string name = trim(part.substr(0, eq));
    const std::string valueText = trim(part.substr(eq + 1));
    const CameraKey* key = findKey(name);
    if (!key) return unknownKey(name);
    for (const Assignment& a : assignments)
      if (a.key == key) return Status::usage("--camera: " + name + " is given twice");
    double value;
    if (!parseNumber(valueText, value))
      return Status::usage("--camera: " + name + " wants a number, not '" + valueText + "'");
    assignments.push_back({key, value});
  }
  for (const Assignment& a : assignments) (camera.*(a.key->set))(a.value);
  return Status::success();
}
