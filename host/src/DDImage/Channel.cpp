#include "DDImage/Channel.h"

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "DDImage/ChannelSet.h"

namespace DD {
namespace Image {
namespace {

struct StandardName {
  Channel id;
  const char* full;
  const char* shortName;
};

const StandardName kStandard[] = {
    {Chan_Red, "rgba.red", "R"},
    {Chan_Green, "rgba.green", "G"},
    {Chan_Blue, "rgba.blue", "B"},
    {Chan_Alpha, "rgba.alpha", "A"},
    {Chan_Z, "depth.Z", "Z"},
    {Chan_DeepFront, "deep.front", "ZFront"},
    {Chan_DeepBack, "deep.back", "ZBack"},
};

// The host's table of channels beyond the standard ones, shared by every operator. Names live
// as long as the process, so getName's pointers stay valid.
struct Registry {
  std::mutex mutex;
  std::map<std::string, Channel> byName;
  std::deque<std::string> storage;
  std::vector<const char*> names = std::vector<const char*>(Chan_Last + 1, nullptr);
  int next = 6;
};

Registry& registry() {
  static Registry r;
  return r;
}

bool isStandard(int z) {
  for (const auto& s : kStandard)
    if (s.id == z) return true;
  return false;
}

Channel lookup(const std::string& name, bool create) {
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
  while (isStandard(reg.next)) ++reg.next;
  if (reg.next > Chan_Last) return Chan_Black;
  const Channel z = static_cast<Channel>(reg.next++);
  reg.byName[name] = z;
  reg.storage.push_back(name);
  reg.names[z] = reg.storage.back().c_str();
  return z;
}

}  // namespace

Channel getChannel(const char* name, bool) { return lookup(name ? name : "", true); }

Channel findChannel(const char* name) { return lookup(name ? name : "", false); }

const char* getName(Channel z) {
  if (z == Chan_Black) return "none";
  for (const auto& s : kStandard)
    if (s.id == z) return s.full;
  Registry& reg = registry();
  std::lock_guard<std::mutex> lock(reg.mutex);
  return z > 0 && int(z) <= Chan_Last ? reg.names[z] : nullptr;
}

}  // namespace Image
}  // namespace DD
