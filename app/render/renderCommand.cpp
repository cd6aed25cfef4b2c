#include "render/renderCommand.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "DDImage/CameraOp.h"
#include "cli/cameraOption.h"
#include "cli/frameRange.h"
#include "cli/knobs.h"
#include "cli/messages.h"
#include "files/deepReader.h"
#include "files/exrSettings.h"
#include "files/imageReader.h"
#include "files/imageWriter.h"
#include "files/inputChecks.h"
#include "files/layerInput.h"
#include "files/partChannel.h"
#include "render/depthEdgesNode.h"
#include "render/interruption.h"
#include "render/nodeSession.h"
#include "render/pluginLoader.h"
#include "render/progressBar.h"
#include "render/renderChecks.h"
#include "standin/OpHost.h"

using namespace DD::Image;
using namespace standin;

namespace {

enum NodeInput { kInput = 0, kKernel = 1, kCamera = 2, kDeepInput = 3, kMattes = 4 };

// A file's size for the line that reports it: "3 kB", "21.3 MB".
std::string sizeText(const std::string& path) {
  std::error_code ec;
  const double kB = double(std::filesystem::file_size(path, ec)) / 1024.0;
  char text[32];
  std::snprintf(text, sizeof text, kB < 1024 ? "%.0f kB" : "%.1f MB", kB < 1024 ? kB : kB / 1024);
  return ec ? "size unknown" : text;
}

// An input file, read once and kept while frames use the same path.
struct InputFile {
  std::string path;
  LoadedImage image;
};

// The deep input file, likewise.
struct DeepFile {
  std::string path;
  LoadedDeep deep;
};

// The line that ends a range some of whose frames failed, with the first failure's exit status.
Status framesNotWritten(const std::vector<int>& failed, int count, int code) {
  std::string frames;
  for (int f : failed) frames += (frames.empty() ? "" : ", ") + std::to_string(f);
  return Status{code, std::to_string(failed.size()) + " of " + std::to_string(count) +
                          " frames not written: " + frames + " (the reasons are above)"};
}

// One render job: the inputs outlive the node, which is declared after them.
class RenderJob {
 public:
  explicit RenderJob(const RenderRequest& request)
      : request_(request),
        maxBytes_(request.maxMemoryGB > 0 ? request.maxMemoryGB * 1024 * 1024 * 1024 : defaultMemoryLimit()) {
  }
  int run();

 private:
  Status prepare();
  Status checkFrames();
  Status checkOutputNotInput(int frame) const;
  Status setUpFrame(int frame);
  Status renderOne(int frame, int index, int count);
  Status connectFile(InputFile& file, const std::string& pattern, int frame, int input);
  Status connectDeep(int frame);
  Status connectLayers(int frame);
  Status takeFormat();
  Status insertDepthEdges();
  Status applyKnobsOnce();
  std::string depthChannelAssigned() const {
    std::string name;
    for (const KnobAssignment& a : assignments_)
      if (a.name == "depthChannel") name = a.value;
    return name;
  }
  std::string framePath(const std::string& pattern, int frame) const {
    return ranged_ ? expandFramePattern(pattern, frame) : pattern;
  }

  const RenderRequest& request_;
  const double maxBytes_;
  std::vector<std::string> warnings_;
  std::vector<KnobAssignment> assignments_;
  std::vector<KnobAssignment> edgeAssignments_;  // for the depth-edge node, without the prefix
  FrameRange range_;
  bool ranged_ = false;
  bool knobsApplied_ = false;
  bool stopRange_ = false;  // a problem no frame of the range can escape
  CameraOp camera_{nullptr};
  InputFile input_, kernel_, mattes_;
  DeepFile deep_;
  std::unique_ptr<Op> edges_;  // --depth-edges: the depth-edge node on the node's Input
  std::unique_ptr<Op> node_;
  Iop* iop_ = nullptr;
};

Status RenderJob::checkFrames() {
  if (request_.frames.empty()) return Status::success();
  if (Status s = parseFrameRange(request_.frames, range_); !s.ok()) return s;
  if (!hasFramePattern(request_.output))
    return Status::usage("--frames needs # or %04d in the output path '" + request_.output + "'");
  if (!request_.input.empty() && !hasFramePattern(request_.input))
    return Status::usage("--frames needs # or %04d in the input path '" + request_.input + "'");
  if (!request_.deep.empty() && !hasFramePattern(request_.deep))
    return Status::usage("--frames needs # or %04d in the deep path '" + request_.deep + "'");
  ranged_ = true;
  return Status::success();
}

// Everything that can be checked before any image is read.
Status RenderJob::prepare() {
  if (Status s = checkRenderRequest(request_); !s.ok()) return s;
  OutputKind kind;
  if (Status s = outputKindOf(request_.output, kind); !s.ok()) return s;
  if (Status s = checkFrames(); !s.ok()) return s;
  if (Status s = checkOutputPath(framePath(request_.output, range_.first)); !s.ok()) return s;
  if ((request_.half || request_.floats) && kind != OutputKind::Exr)
    warnings_.push_back(std::string(request_.half ? "--half" : "--float") + " applies to EXR output only");
  if (!request_.compression.empty() && kind != OutputKind::Exr)
    warnings_.push_back("--compression applies to EXR output only");
  setExrThreads(request_.threads);
  if (request_.hasCamera)
    if (Status s = applyCameraOption(request_.camera, camera_); !s.ok()) return s;
  if (!request_.script.empty())
    if (Status s = readScriptFile(request_.script, assignments_); !s.ok()) return s;
  for (const std::string& text : request_.sets) {
    KnobAssignment a;
    if (Status s = parseSetOption(text, a); !s.ok()) return s;
    assignments_.push_back(a);
  }
  takeDepthEdgesAssignments(assignments_, edgeAssignments_);
  if (Status s = createOrvelNode(node_, iop_); !s.ok()) return s;
  if (Status s = chooseEngine(*node_, request_.referenceEngine); !s.ok()) return s;
  limitNodeMemory(*node_, maxBytes_);
  if (request_.hasCamera) OpHost::connect(*node_, kCamera, &camera_);
  return insertDepthEdges();
}

// With --depth-edges, the depth-edge node takes the Input file and feeds the node's Input.
Status RenderJob::insertDepthEdges() {
  if (request_.depthEdges == 0) {
    if (edgeAssignments_.empty()) return Status::success();
    return Status::usage("knob " + std::string(kDepthEdgesPrefix) + edgeAssignments_.front().name +
                         " needs --depth-edges");
  }
  if (Status s = createDepthEdgesNode(edges_); !s.ok()) return s;
  if (!OpHost::connect(*node_, kInput, edges_.get()))
    return Status::usage("the node refused ktDepthEdges on its Input");
  return Status::success();
}

// Reads the frame's file for `input` unless it is the one already connected.
Status RenderJob::connectFile(InputFile& file, const std::string& pattern, int frame, int input) {
  if (pattern.empty()) return Status::success();
  const std::string path = framePath(pattern, frame);
  if (path == file.path && file.image.image) return Status::success();
  LoadedImage loaded;
  if (Status s = readImage(path, maxBytes_, loaded, warnings_, input == kInput ? request_.part : ""); !s.ok())
    return s;
  if (input == kInput) {
    if (Status s = readPartChannel(path, depthChannelAssigned(), maxBytes_, loaded, warnings_); !s.ok())
      return s;
    warnNonFiniteColour(loaded, path, warnings_);
  }
  // The Input file goes to the depth-edge node's input 0 when there is one.
  Op& receiver = input == kInput && edges_ ? *edges_ : *node_;
  if (!OpHost::connect(receiver, input, loaded.image.get()))
    return Status::usage("the node refused '" + path + "' on input " + std::to_string(input));
  file = InputFile{path, std::move(loaded)};
  return Status::success();
}

// Reads the frame's deep file unless it is the one already connected.
Status RenderJob::connectDeep(int frame) {
  if (request_.deep.empty()) return Status::success();
  const std::string path = framePath(request_.deep, frame);
  if (path == deep_.path && deep_.deep.image) return Status::success();
  LoadedDeep loaded;
  if (Status s = readDeepImage(path, maxBytes_, loaded, warnings_, request_.part); !s.ok()) return s;
  if (!OpHost::connect(*node_, kDeepInput, loaded.image.get()))
    return Status::usage("the node refused '" + path + "' on input " + std::to_string(kDeepInput));
  deep_ = DeepFile{path, std::move(loaded)};
  return Status::success();
}

// --layer: the layers merged into the Deep Input, once the knobs name their depth channel and style.
Status RenderJob::connectLayers(int frame) {
  std::string key;
  std::vector<std::string> paths;
  for (const std::string& p : request_.layers) key += "\n" + paths.emplace_back(framePath(p, frame));
  if (paths.empty() || (key == deep_.path && deep_.deep.image)) return Status::success();
  LoadedDeep loaded;
  if (Status s = readLayers(paths, *node_, maxBytes_, loaded, warnings_, request_.part); !s.ok()) return s;
  if (!OpHost::connect(*node_, kDeepInput, loaded.image.get()))
    return Status::usage("the node refused the layers on input " + std::to_string(kDeepInput));
  deep_ = DeepFile{key, std::move(loaded)};
  return Status::success();
}

// The project format: the input's, else the deep file's, so that the default input matches.
Status RenderJob::takeFormat() {
  Iop* edges = dynamic_cast<Iop*>(edges_.get());
  for (Iop* op : {iop_, edges}) {
    if (!op) continue;
    if (input_.image.image)
      OpHost::setProjectFormat(*op, input_.image.image->format());
    else if (deep_.deep.image)
      OpHost::setProjectFormat(*op, *deep_.deep.image->deepInfo().format());
  }
  return Status::success();
}

// Knob values go in once the first images are read, so that channel knobs can name their
// channels, and after the camera is connected, as in a saved script.
Status RenderJob::applyKnobsOnce() {
  if (knobsApplied_) return Status::success();
  knobsApplied_ = stopRange_ = true;
  std::optional<std::string> unknownChannel;
  if (Status s = applyKnobs(*node_, assignments_, warnings_, &unknownChannel); !s.ok())
    return withChannelHint(s, unknownChannel, input_.image.fileChannels);
  warnIgnoredSettings(request_, *node_, assignments_, camera_.focusDistance(), warnings_);
  if (edges_)
    if (Status s = setUpDepthEdges(*edges_, *node_, request_.depthEdges, edgeAssignments_, warnings_);
        !s.ok())
      return s;
  stopRange_ = false;
  return Status::success();
}

// Reads and connects the frame's inputs, sets the knobs, checks the depth channel (a deep
// input brings its own depths) and sets the project format.
Status RenderJob::setUpFrame(int frame) {
  if (Status s = connectFile(input_, request_.input, frame, kInput); !s.ok()) return s;
  if (Status s = connectFile(kernel_, request_.kernel, frame, kKernel); !s.ok()) return s;
  if (Status s = connectFile(mattes_, request_.mattes, frame, kMattes); !s.ok()) return s;
  if (Status s = connectDeep(frame); !s.ok()) return s;
  if (Status s = applyKnobsOnce(); !s.ok()) return s;
  if (Status s = connectLayers(frame); !s.ok()) return s;
  if (input_.image.image && deep_.deep.image)
    if (Status s =
            checkSameFormat(*input_.image.image, input_.path, *deep_.deep.image, !request_.deep.empty());
        !s.ok())
      return s;
  if (Status s = checkMatteChannels(*node_, mattes_.image, mattes_.path, warnings_); !s.ok()) return s;
  const LoadedImage& in = input_.image;
  if (in.image && !deep_.deep.image)
    if (Status s = checkDepthChannel(*node_, in.image->channels(), in.fileChannels, input_.path); !s.ok())
      return s;
  if (!request_.focusAt.empty()) {
    std::string note;
    if (Status s = focusAt(request_.focusAt, *node_, in, note); !s.ok()) return s;
    std::fprintf(stderr, "%s\n", note.c_str());
  }
  return takeFormat();
}

Status RenderJob::renderOne(int frame, int index, int count) {
  const Status ready = setUpFrame(frame);
  printWarnings(warnings_);
  if (!ready.ok()) return ready;

  FrameSettings settings;
  settings.threads = request_.threads;
  settings.progress = !request_.quiet && isTerminal(stderr);
  if (ranged_)
    settings.label = "frame " + std::to_string(frame) + " (" + std::to_string(index + 1) + "/" +
                     std::to_string(count) + ")";
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<MemoryIop> image;
  const Status rendered = renderNodeFrame(*iop_, settings, image, warnings_);
  addHintsToWarnings(*node_, rendered, warnings_);
  if (rendered.ok() && input_.image.image && !deep_.deep.image)
    warnIfUnchanged(*node_, *input_.image.image, input_.image.names, *image, input_.path, warnings_);
  printWarnings(warnings_);
  if (!rendered.ok()) return withHints(rendered, *node_);

  const std::string output = framePath(request_.output, frame);
  WriteOptions options;
  options.pixels = request_.half     ? PixelChoice::Half
                   : request_.floats ? PixelChoice::Float
                                     : PixelChoice::Kept;
  options.compression = request_.compression;
  options.source = input_.image.header ? input_.image.header.get() : deep_.deep.header.get();
  options.depth = depthChannelNames(*node_, input_.image.names);
  const Status written = writeImage(*image, input_.image.names, output, options, warnings_);
  printWarnings(warnings_);
  if (written.ok() && !request_.quiet) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "wrote %s (%d x %d, %s) in %.2f s\n", output.c_str(), image->format().w(),
                 image->format().h(), sizeText(output).c_str(), seconds);
  }
  return written;
}

// The output must name none of the frame's inputs: the render would overwrite its source.
Status RenderJob::checkOutputNotInput(int frame) const {
  std::vector<std::string> inputs{request_.input, request_.deep, request_.kernel, request_.mattes};
  inputs.insert(inputs.end(), request_.layers.begin(), request_.layers.end());
  for (std::string& path : inputs) path = framePath(path, frame);
  return checkOutputIsNoInput(framePath(request_.output, frame), inputs);
}

// Every frame of a range that can be rendered is; those that cannot are named at the end, and
// the first one's exit status is the job's. A knob or option problem, or an interruption, stops
// the range: no later frame could do better.
int RenderJob::run() {
  Status status = prepare();
  if (status.ok()) status = checkOutputNotInput(range_.first);
  const int count = range_.last - range_.first + 1;
  std::vector<int> failed;
  int failedCode = kExitOk;
  for (int i = 0; status.ok() && i < count; ++i) {
    const int frame = range_.first + i;
    if (request_.skipExisting && std::filesystem::exists(framePath(request_.output, frame))) {
      if (!request_.quiet)
        std::fprintf(stderr, "skipped %s: it exists\n", framePath(request_.output, frame).c_str());
      continue;
    }
    Status one = checkOutputNotInput(frame);
    if (one.ok()) one = renderOne(frame, i, count);
    if (const int signal = interruptSignal(); signal && one.ok()) one = interruptedStatus(signal);
    if (one.ok()) continue;
    if (!ranged_ || stopRange_ || interruptSignal()) {
      status = one;
      break;
    }
    printWarnings(warnings_);
    reportStatus(Status{one.code, "frame " + std::to_string(frame) + ": " + one.message});
    failed.push_back(frame);
    if (failedCode == kExitOk) failedCode = one.code;
  }
  printWarnings(warnings_);
  if (status.ok() && !failed.empty()) status = framesNotWritten(failed, count, failedCode);
  return reportStatus(status);
}

}  // namespace

int runRender(const RenderRequest& request) { return RenderJob(request).run(); }
