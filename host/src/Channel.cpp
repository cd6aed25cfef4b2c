#include "DDImage/Channel.h"

#include <map>
#include <mutex>
#include <vector>

namespace DD {
namespace Image {
namespace {

struct StandardName {
  Channel id;
  const char* full;
  const char* shortName;
};

const StandardName kStandard[] = {
    {Chan_Red, "rgba.red", "R"},         {Chan_Green, "rgba.green", "G"},
    {Chan_Blue, "rgba.blue", "B"},       {Chan_Alpha, "rgba.alpha", "A"},
    {Chan_Z, "depth.Z", "Z"},            {Chan_DeepFront, "deep.front", "ZFront"},
    {Chan_DeepBack, "deep.back", "ZBack"},
};

// The host's table of channels beyond the standard ones, shared by every operator.
struct Registry {
  std::mutex mutex;
  std::map<std::string, Channel> byName;
  std::vector<std::string> names = std::vector<std::string>(Chan_Last);
  int next = 6;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

std::string getName(Channel z) {
  if (z == Chan_Black) return "none";
  for (const auto& s : kStandard)
    if (s.id == z) return s.full;
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  if (z > 0 && z < Chan_Last && !reg.names[z].empty()) return reg.names[z];
  return "channel" + std::to_string(int(z));
}

Channel findChannel(const std::string& name, bool create) {
  if (name.empty() || name == "none" || name == "black") return Chan_Black;
  for (const auto& s : kStandard)
    if (name == s.full || name == s.shortName) return s.id;
  if (name == "red") return Chan_Red;
  if (name == "green") return Chan_Green;
  if (name == "blue") return Chan_Blue;
  if (name == "alpha") return Chan_Alpha;
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  auto it = reg.byName.find(name);
  if (it != reg.byName.end()) return it->second;
  if (!create) return Chan_Black;
  while (reg.next == Chan_DeepFront || reg.next == Chan_DeepBack) ++reg.next;
  if (reg.next >= Chan_Last) return Chan_Black;
  const Channel z = static_cast<Channel>(reg.next++);
  reg.byName[name] = z;
  reg.names[z] = name;
  return z;
}

}  // namespace Image
}  // namespace DD
