#include "depth/depthCommand.h"

#include <iostream>

#include "DDImage/DeepOp.h"
#include "DDImage/Knob.h"
#include "cli/knobs.h"
#include "cli/messages.h"
#include "depth/depthStatistics.h"
#include "files/deepReader.h"
#include "files/imageReader.h"
#include "files/inputChecks.h"
#include "files/partChannel.h"
#include "render/nodeSession.h"
#include "render/renderChecks.h"

using namespace DD::Image;

namespace {

Status readAssignments(const DepthRequest& request, std::vector<KnobAssignment>& out) {
  if (!request.script.empty())
    if (Status s = readScriptFile(request.script, out); !s.ok()) return s;
  for (const std::string& text : request.sets) {
    KnobAssignment a;
    if (Status s = parseSetOption(text, a); !s.ok()) return s;
    out.push_back(a);
  }
  return Status::success();
}

std::string depthChannelAssigned(const std::vector<KnobAssignment>& assignments) {
  std::string name;
  for (const KnobAssignment& a : assignments)
    if (a.name == "depthChannel") name = a.value;
  return name;
}

// The front depth of every sample of a deep image.
std::vector<float> frontDepths(DeepOp& deep) {
  deep.validate(true);
  const Box box = deep.deepInfo().box();
  std::vector<float> depths;
  DeepPlane plane;
  if (!deep.deepEngine(box, Mask_Deep, plane)) return depths;
  for (int y = box.y(); y < box.t(); ++y)
    for (int x = box.x(); x < box.r(); ++x) {
      const DeepPixel pixel = plane.getPixel(y, x);
      for (size_t i = 0; i < pixel.getSampleCount(); ++i)
        depths.push_back(pixel.getOrderedSample(i, Chan_DeepFront));
    }
  return depths;
}

void printLens(const ktOrvelSettings& s, std::ostream& out) {
  if (s.realWorldLens)
    out << "real-world lens: focalLength " << s.focalLength << " mm, fStop " << s.fStop << ", focused at "
        << s.focalPlane << ", film back " << s.apertureWidth << " x " << s.apertureHeight << " mm";
  else
    out << "artistic lens: focalPlane " << s.focalPlane << ", focusRegionSize " << s.focusRegionSize
        << ", multiplier " << s.multiplier;
  out << " (frontmultiplier " << s.frontmultiplier << ", backmultiplier " << s.backmultiplier
      << "), max_kernelsize " << s.max_kernelsize << "\n";
}

Status summarise(const DepthRequest& request, std::vector<std::string>& warnings) {
  std::vector<KnobAssignment> assignments;
  if (Status s = readAssignments(request, assignments); !s.ok()) return s;
  std::unique_ptr<Op> node;
  Iop* iop = nullptr;
  if (Status s = createOrvelNode(node, iop); !s.ok()) return s;
  LoadedImage flat;
  LoadedDeep deep;
  const Status flatRead = readImage(request.input, defaultMemoryLimit(), flat, warnings, request.part);
  std::vector<std::string> deepWarnings;
  if (!flatRead.ok() &&
      !readDeepImage(request.input, defaultMemoryLimit(), deep, deepWarnings, request.part).ok())
    return flatRead;
  if (deep.image) warnings = deepWarnings;
  // A depth channel named PART.CHANNEL comes from that part, as in a render.
  if (flat.image)
    if (Status s = readPartChannel(request.input, depthChannelAssigned(assignments), defaultMemoryLimit(),
                                   flat, warnings);
        !s.ok())
      return s;
  if (Status s = applyKnobs(*node, assignments, warnings); !s.ok()) return s;

  std::vector<float> depths;
  const Format& format = flat.image ? flat.image->format() : *deep.image->deepInfo().format();
  const ktOrvelSettings settings = lensSettingsOf(*node, format.w(), format.h());
  if (flat.image) {
    if (Status s = checkDepthChannel(*node, flat.image->channels(), flat.fileChannels, request.input);
        !s.ok())
      return s;
    const Channel z = Channel(int(node->knob("depthChannel")->get_value()));
    const float* plane = flat.image->plane(z);
    const Box& box = flat.image->info().box();
    depths.assign(plane, plane + size_t(box.w()) * size_t(box.h()));
    std::cout << "'" << request.input << "': depth channel " << fileChannelName(flat.names, z) << ", "
              << depths.size() << " pixels"
              << (settings.depthStyle == kDepthInverse
                      ? " of 1/z values, listed as the distances they stand for\n"
                      : "\n");
  } else {
    depths = frontDepths(*deep.image);
    std::cout << "'" << request.input << "': deep, the front depths of " << depths.size()
              << (depths.size() == 1 ? " sample\n" : " samples\n");
  }
  printLens(settings, std::cout);
  const DepthSummary summary =
      summariseDepths(depths, settings, flat.image ? DepthKind::Flat : DepthKind::Deep);
  printDepthSummary(summary, settings, std::cout);
  return Status::success();
}

}  // namespace

int runDepth(const DepthRequest& request) {
  std::vector<std::string> warnings;
  const Status status = summarise(request, warnings);
  printWarnings(warnings);
  return reportStatus(status);
}
