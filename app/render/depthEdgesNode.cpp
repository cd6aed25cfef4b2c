#include "render/depthEdgesNode.h"

#include <cstring>

#include "DDImage/Op.h"
#include "cli/knobs.h"
#include "render/pluginLoader.h"
#include "standin/OpHost.h"

using namespace DD::Image;

const char* const kDepthEdgesPrefix = "ktDepthEdges.";

namespace {

const char* const kNodeName = "ktDepthEdges";

bool hasPrefix(const std::string& name) { return name.rfind(kDepthEdgesPrefix, 0) == 0; }

// ktOrvel's value of `name` as an assignment to the same-named knob of the other node.
KnobAssignment following(const Op& orvel, const char* name) {
  const standin::KnobRecord* knob = standin::record(orvel.knob(name));
  return KnobAssignment{name, knob ? knob->script() : std::string(), std::string("ktOrvel's ") + name};
}

}  // namespace

void takeDepthEdgesAssignments(std::vector<KnobAssignment>& all, std::vector<KnobAssignment>& edges) {
  std::vector<KnobAssignment> rest;
  for (KnobAssignment& a : all) {
    if (!hasPrefix(a.name)) {
      rest.push_back(std::move(a));
      continue;
    }
    a.name.erase(0, std::strlen(kDepthEdgesPrefix));
    a.origin = a.origin == "--set" ? kNodeName : a.origin + " " + kNodeName;
    edges.push_back(std::move(a));
  }
  all = std::move(rest);
}

Status createDepthEdgesNode(std::unique_ptr<Op>& node) {
  if (Status s = loadNodePlugin("ktOrvel", kNodeName); !s.ok()) return s;
  node = OpHost::create(kNodeName);
  if (!node) return Status::usage(std::string("the plug-in did not create the node ") + kNodeName);
  return Status::success();
}

Status setUpDepthEdges(Op& edges, const Op& orvel, int radius, const std::vector<KnobAssignment>& assignments,
                       std::vector<std::string>& warnings) {
  std::vector<KnobAssignment> all = {following(orvel, "depthChannel"), following(orvel, "depthStyle"),
                                     KnobAssignment{"radius", std::to_string(radius), "--depth-edges"}};
  all.insert(all.end(), assignments.begin(), assignments.end());
  return applyKnobs(edges, all, warnings);
}
