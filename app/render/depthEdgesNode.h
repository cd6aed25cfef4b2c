// The depth-edge node before ktOrvel (`orvel render --depth-edges`): its knobs are set by name
// with the prefix "ktDepthEdges." in --set and --script; its depth channel and style follow
// ktOrvel's unless set that way.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/knobs.h"
#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// The prefix that sends a knob assignment to the depth-edge node.
extern const char* const kDepthEdgesPrefix;

// Moves the assignments whose names carry the prefix from `all` to `edges`, without it.
void takeDepthEdgesAssignments(std::vector<KnobAssignment>& all, std::vector<KnobAssignment>& edges);

// Creates a ktDepthEdges node from the loaded plug-in.
Status createDepthEdgesNode(std::unique_ptr<DD::Image::Op>& node);

// Sets the node's radius, its depth channel and style from ktOrvel's, then `assignments`.
Status setUpDepthEdges(DD::Image::Op& edges, const DD::Image::Op& orvel, int radius,
                       const std::vector<KnobAssignment>& assignments, std::vector<std::string>& warnings);
