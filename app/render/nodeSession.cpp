#include "render/nodeSession.h"

#include "DDImage/Thread.h"
#include "render/interruption.h"
#include "render/pluginLoader.h"
#include "render/progressBar.h"
#include "standin/OpHost.h"
#include "standin/RenderDriver.h"

using namespace DD::Image;
using namespace standin;

namespace {

const char* const kNodeName = "ktOrvel";

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += (out.empty() ? "" : "\n") + l;
  return out;
}

}  // namespace

Status createOrvelNode(std::unique_ptr<Op>& node, Iop*& iop) {
  if (Status s = loadNodePlugin(kNodeName, kNodeName); !s.ok()) return s;
  std::unique_ptr<Op> created = OpHost::create(kNodeName);
  iop = dynamic_cast<Iop*>(created.get());
  if (!iop) return Status::usage(std::string("the plug-in did not create an image node ") + kNodeName);
  node = std::move(created);
  return Status::success();
}

Status renderNodeFrame(Iop& node, const FrameSettings& settings, std::unique_ptr<MemoryIop>& image,
                       std::vector<std::string>& warnings) {
  // The node's own workers (the kernel bank) follow the same thread count as the rows.
  if (settings.threads > 0 && settings.hostThreads) Thread::numCPUs = settings.threads;
  ProgressBar bar(stderr, settings.progress, settings.label);
  RenderOptions options;
  options.threads = settings.threads;
  options.progress = [&bar](int done, int total) { bar.update(done, total); };
  RenderReport report;
  {
    AbortOnInterrupt watch(node);
    report = renderFrame(node, options);
  }
  bar.finish();
  if (const int signal = interruptSignal()) return interruptedStatus(signal);
  warnings.insert(warnings.end(), report.warnings.begin(), report.warnings.end());
  if (!report.errors.empty()) return Status::nodeError(joinLines(report.errors));
  if (report.aborted || !report.image) return Status::nodeError("the render was aborted");
  image = std::move(report.image);
  return Status::success();
}
