#include "demo/demoCommand.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/knobs.h"
#include "cli/messages.h"
#include "files/imageWriter.h"
#include "render/nodeSession.h"
#include "render/progressBar.h"
#include "scenes/deepScenes.h"
#include "scenes/flatScenes.h"
#include "standin/OpHost.h"

using namespace DD::Image;
using namespace standin;

namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 540;

// The look of the demo, as knob values: a six-bladed aperture, focus on the striped sphere.
std::vector<KnobAssignment> demoKnobs(bool deep, bool occluder) {
  const char* const occluderValues[][2] = {
      {"focalPlane", "100"},    {"focusRegionSize", "60"}, {"multiplier", "20"},
      {"frontmultiplier", "2"}, {"backmultiplier", "2.4"}, {"max_kernelsize", "64"},
  };
  const char* const deepValues[][2] = {
      {"kernelType", "Aperture Blades"}, {"kNumSides", "7"},       {"focalPlane", "100"},
      {"focusRegionSize", "20"},         {"multiplier", "12"},     {"frontmultiplier", "2"},
      {"backmultiplier", "1.5"},         {"max_kernelsize", "48"},
  };
  const char* const values[][2] = {
      {"kernelType", "Aperture Blades"},
      {"kNumSides", "6"},
      {"kCurvature", "0"},
      {"kRotation", "0.05"},
      {"focalPlane", "60"},
      {"focusRegionSize", "30"},
      {"multiplier", "24"},
      {"frontmultiplier", "1.8"},
      {"backmultiplier", "1.5"},
      {"max_kernelsize", "48"},
      {"bloom", "0.25"},
      {"bloomThreshold", "0.8"},
      {"kChrAbb", "3"},
  };
  std::vector<KnobAssignment> out;
  if (occluder)
    for (const auto& v : occluderValues) out.push_back(KnobAssignment{v[0], v[1], "demo"});
  else if (deep)
    for (const auto& v : deepValues) out.push_back(KnobAssignment{v[0], v[1], "demo"});
  else
    for (const auto& v : values) out.push_back(KnobAssignment{v[0], v[1], "demo"});
  return out;
}

Status checkDemoOutput(const std::string& exrPath, std::string& pngPath) {
  OutputKind kind;
  if (Status s = outputKindOf(exrPath, kind); !s.ok() || kind != OutputKind::Exr)
    return Status::usage("orvel demo writes EXR: give -o a path ending in .exr, not '" + exrPath + "'");
  pngPath = std::filesystem::path(exrPath).replace_extension(".png").string();
  return checkOutputPath(exrPath);
}

Status renderDemo(const DemoRequest& request, std::vector<std::string>& warnings) {
  std::string pngPath;
  if (Status s = checkDemoOutput(request.output, pngPath); !s.ok()) return s;
  std::unique_ptr<MemoryIop> scene;
  std::unique_ptr<MemoryDeepOp> deepScene;
  std::unique_ptr<Op> node;
  Iop* iop = nullptr;
  if (Status s = createOrvelNode(node, iop); !s.ok()) return s;
  if (request.deep || request.occluder) {
    deepScene = request.occluder ? makeOccluderScene(kWidth, kHeight) : makeDeepScene(kWidth, kHeight);
    OpHost::connect(*node, 3, deepScene.get());  // input 0 stays the default: black on the project format
  } else {
    scene = makeDemoScene(kWidth, kHeight);
    OpHost::connect(*node, 0, scene.get());
  }
  OpHost::setProjectFormat(*iop, Format(kWidth, kHeight));
  std::vector<KnobAssignment> knobs = demoKnobs(request.deep, request.occluder);
  for (const std::string& text : request.sets) {
    knobs.emplace_back();
    if (Status s = parseSetOption(text, knobs.back()); !s.ok()) return s;
  }
  if (Status s = applyKnobs(*node, knobs, warnings); !s.ok()) return s;

  FrameSettings settings;
  settings.threads = request.threads;
  settings.progress = !request.quiet && isTerminal(stderr);
  settings.label = request.deep || request.occluder ? "deep demo" : "demo";
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<MemoryIop> image;
  if (Status s = renderNodeFrame(*iop, settings, image, warnings); !s.ok()) return s;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (Status s = writeImage(*image, ChannelNames(), request.output, WriteOptions(), warnings); !s.ok())
    return s;
  if (Status s = writeImage(*image, ChannelNames(), pngPath, WriteOptions(), warnings); !s.ok()) return s;
  if (!request.quiet)
    std::printf("wrote %s and %s (%d x %d), rendered in %.2f s\n", request.output.c_str(), pngPath.c_str(),
                kWidth, kHeight, seconds);
  return Status::success();
}

}  // namespace

int runDemo(const DemoRequest& request) {
  std::vector<std::string> warnings;
  const Status status = renderDemo(request, warnings);
  printWarnings(warnings);
  return reportStatus(status);
}
