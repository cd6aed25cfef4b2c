#include "render/depthCheck.h"

#include <cctype>

#include "DDImage/Knob.h"
#include "DDImage/Op.h"
#include "cli/nameSuggestion.h"

using namespace DD::Image;

namespace {

// The "Filter Shape" output shows the kernel alone and reads no depth.
constexpr int kFilterShapeOutput = 3;

std::string list(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

}  // namespace

Status checkDepthChannel(const Op& node, const ChannelSet& channels,
                         const std::vector<std::string>& fileChannels, const std::string& path) {
  const Knob* outputType = node.knob("outputType");
  const Knob* depth = node.knob("depthChannel");
  if (!depth || (outputType && int(outputType->get_value()) == kFilterShapeOutput)) return Status::success();
  const Channel z = static_cast<Channel>(int(depth->get_value()));
  if (channels.contains(z)) return Status::success();
  const size_t dot = path.rfind('.');
  std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "png" || extension == "jpg" || extension == "jpeg")
    return Status::usage("'" + path + "' has no depth channel (its channels: " + list(fileChannels) +
                         "): a ." + extension +
                         " file holds colour only; give an EXR with a depth channel, or the depths "
                         "as a deep EXR with --deep FILE");
  const std::vector<std::string> near = nearestNames(getName(z), fileChannels);
  return Status::usage("'" + path + "' has no depth channel " + getName(z) +
                       " (its channels: " + list(fileChannels) +
                       (near.empty() ? "" : "; did you mean " + joinAlternatives(near) + "?") +
                       "); name one with --set depthChannel=NAME");
}
