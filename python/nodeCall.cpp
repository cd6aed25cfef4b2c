#include "nodeCall.h"

#include "DDImage/DeepOp.h"
#include "DDImage/Knob.h"
#include "render/nodeSession.h"
#include "render/pluginLoader.h"
#include "render/renderChecks.h"
#include "standin/OpHost.h"

using namespace DD::Image;

const char* const kImageName = "image";
const char* const kMattesName = "mattes";

namespace {

enum NodeInput { kInput = 0, kKernel = 1, kDeepInput = 3, kMattes = 4 };

}  // namespace

Status NodeCall::create(const std::vector<KnobAssignment>& assignments, bool reference) {
  assignments_ = assignments;
  if (Status s = createOrvelNode(node_, iop_); !s.ok()) return s;
  if (Status s = chooseEngine(*node_, reference); !s.ok()) return s;
  return applyKnobs(*node_, assignments_, warnings);
}

Channel NodeCall::depthChannel() const {
  const Knob* depth = node_->knob("depthChannel");
  return depth ? Channel(int(depth->get_value())) : Chan_Black;
}

Status NodeCall::connect(const CallInputs& in) {
  const std::pair<int, Op*> inputs[] = {{kInput, in.image.image.get()},
                                        {kKernel, in.kernel.image.get()},
                                        {kMattes, in.mattes.image.get()},
                                        {kDeepInput, in.deep.image.get()}};
  for (const auto& [n, op] : inputs)
    if (op && !OpHost::connect(*node_, n, op))
      return Status::usage("the node refused the array on input " + std::to_string(n));
  // The project format: the image's, else the deep image's, so that the default input matches.
  if (in.image.image)
    OpHost::setProjectFormat(*iop_, in.image.image->format());
  else if (in.deep.image)
    OpHost::setProjectFormat(*iop_, *in.deep.image->deepInfo().format());
  return Status::success();
}

Status NodeCall::render(const CallInputs& in, unsigned threads, std::unique_ptr<standin::MemoryIop>& out) {
  if (!in.image.image && !in.deep.image) return Status::usage("nothing to render: give an image or a deep image");
  if (Status s = connect(in); !s.ok()) return s;
  RenderRequest request;  // what the renderer's checks read of its options
  if (in.kernel.image) request.kernel = "kernel";
  warnIgnoredSettings(request, *node_, assignments_, 0.0, warnings);
  if (Status s = checkMatteChannels(*node_, in.mattes, kMattesName, warnings); !s.ok()) return s;
  warnNonFiniteColour(in.image, kImageName, warnings);
  if (in.image.image && !in.deep.image)
    if (Status s = checkDepthChannel(*node_, in.image.image->channels(), in.image.fileChannels, kImageName);
        !s.ok())
      return s;

  FrameSettings settings;
  settings.threads = threads;
  settings.hostThreads = false;  // other calls may be rendering in this process
  const Status rendered = renderNodeFrame(*iop_, settings, out, warnings);
  addHintsToWarnings(*node_, rendered, warnings);
  if (rendered.ok() && in.image.image && !in.deep.image)
    warnIfUnchanged(*node_, *in.image.image, in.image.names, *out, kImageName, warnings);
  return rendered.ok() ? rendered : withHints(rendered, *node_);
}
