#include "render/renderChecks.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "DDImage/DeepOp.h"
#include "DDImage/Knob.h"
#include "DDImage/Op.h"
#include "cli/frameRange.h"
#include "cli/messages.h"
#include "depth/depthStatistics.h"
#include "files/exrInput.h"
#include "ktOrvelFindings.h"
#include "render/pluginLoader.h"
#include "standin/OpHost.h"

using namespace DD::Image;

namespace {

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string list(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
  return out;
}

double knobValue(const Op& node, const char* name) {
  const Knob* k = node.knob(name);
  return k ? k->get_value() : 0.0;
}

bool parseNumber(const std::string& text, double& v) {
  char* end = nullptr;
  v = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0';
}

const char* const kMatteKnobs[] = {"defocusMatteChannel", "bloomMatteChannel",
                                   "chromicAberrationMatteChannel"};

}  // namespace

Status checkRenderRequest(const RenderRequest& request) {
  if (!request.layers.empty() && !request.deep.empty())
    return Status::usage("--layer and --deep both give the Deep Input: use one of them");
  if (request.depthEdges && (!request.layers.empty() || !request.deep.empty()))
    return Status::usage(std::string("--depth-edges mends the depth of INPUT, which ") +
                         (request.deep.empty() ? "--layer" : "--deep") +
                         " replaces with its own samples: leave it out (" +
                         (request.deep.empty() ? "each layer's edges keep their own depth, weighted by alpha"
                                               : "a deep image keeps each edge's surfaces apart already") +
                         ")");
  if (request.input.empty() && request.deep.empty() && request.layers.empty())
    return Status::usage(
        "nothing to render: give an INPUT image, a deep image with --deep FILE, or layers with --layer FILE");
  std::error_code ec;
  if (request.frames.empty() && hasFramePattern(request.input) && !std::filesystem::exists(request.input, ec))
    return Status::usage("no such file '" + request.input +
                         "': # and %04d stand for a frame number only with --frames A-B");
  return Status::success();
}

Status checkMatteChannels(const Op& node, const LoadedImage& mattes, const std::string& path,
                          std::vector<std::string>& warnings) {
  for (const char* name : kMatteKnobs) {
    const Channel z = Channel(int(knobValue(node, name)));
    if (z == Chan_Black) continue;
    if (!mattes.image) {
      warnings.push_back("knob " + std::string(name) + " names " + fileChannelName(mattes.names, z) +
                         ", but there is no Mattes input: give the matte file with --mattes FILE");
      continue;
    }
    if (!mattes.image->channels().contains(z))
      return Status::usage("'" + path + "' has no channel " + fileChannelName(mattes.names, z) + " for " +
                           name + " (its channels: " + list(mattes.fileChannels) + ")");
  }
  return Status::success();
}

void warnNonFiniteColour(const LoadedImage& input, const std::string& path,
                         std::vector<std::string>& warnings) {
  if (!input.image) return;
  const Box& box = input.image->info().box();
  const size_t count = size_t(box.w()) * size_t(box.h());
  std::vector<const float*> planes;
  for (Channel z : {Chan_Red, Chan_Green, Chan_Blue, Chan_Alpha})
    if (const float* plane = input.image->plane(z)) planes.push_back(plane);
  // One pass: v * 0 is 0 for a finite v and NaN for NaN or infinity, so a pixel's sum is NaN
  // exactly when one of its colour channels is not finite.
  size_t n = 0;
  for (size_t i = 0; i < count; ++i) {
    float sum = 0.0f;
    for (const float* plane : planes) sum += plane[i] * 0.0f;
    n += sum != sum;
  }
  if (n == 0) return;
  warnings.push_back(
      "'" + path + "': " + std::to_string(n) + (n == 1 ? " pixel has" : " pixels have") +
      " a NaN or infinite colour; each makes every pixel of its blur NaN (repair or clamp them before the "
      "render)");
}

void warnIgnoredSettings(const RenderRequest& request, const Op& node,
                         const std::vector<KnobAssignment>& assignments, double cameraFocus,
                         std::vector<std::string>& warnings) {
  if (request.hasCamera && knobValue(node, "realWorldLens") == 0)
    warnings.push_back(
        "--camera without realWorldLens=true: only its focus distance is used, as focalPlane (" +
        number(cameraFocus) +
        "); its focal length, f-stop and film back drive the lens with --set realWorldLens=true");
  const standin::KnobRecord* kernelType = standin::record(node.knob("kernelType"));
  if (!request.kernel.empty() && kernelType && int(kernelType->value(0)) != kKernelInput)
    warnings.push_back("--kernel is used only with kernelType=Input (it is " + kernelType->script() +
                       " here): add --set kernelType=Input");
  for (const KnobAssignment& a : assignments) {
    const Knob* k = node.knob(a.name.c_str());
    const standin::KnobRecord* r = standin::record(k);
    double given;
    if (!r || !r->hasRange() || !k->flag(Knob::FORCE_RANGE) || !parseNumber(a.value, given)) continue;
    if (given >= r->rangeMin() && given <= r->rangeMax()) continue;
    warnings.push_back("knob " + a.name + ": " + a.value + " is beyond its range " + number(r->rangeMin()) +
                       " .. " + number(r->rangeMax()) + "; " + r->script() + " is used");
  }
}

namespace {

// True when the depth plane of `input` gives some pixel a blur of over one pixel.
bool anyBlur(const Op& node, const standin::MemoryIop& input) {
  const float* plane = input.plane(Channel(int(knobValue(node, "depthChannel"))));
  if (!plane) return false;
  const Box& box = input.info().box();
  const ktOrvelSettings lens = lensSettingsOf(node, input.format().w(), input.format().h());
  return summariseDepths(std::vector<float>(plane, plane + size_t(box.w()) * size_t(box.h())), lens,
                         DepthKind::Flat)
             .inFocus < 1.0;
}

// What the node found in its last validation and open, through the plug-in's C entry point;
// nothing found when the plug-in has none.
ktOrvelFindings findingsOf(const Op& node) {
  ktOrvelFindings found;
  if (const auto read = reinterpret_cast<decltype(&ktOrvelReadFindings)>(pluginSymbol("ktOrvelReadFindings")))
    read(&node, &found);
  return found;
}

}  // namespace

void warnIfUnchanged(const Op& node, const Iop& input, const ChannelNames& names, const Iop& output,
                     const std::string& path, std::vector<std::string>& warnings) {
  if (knobValue(node, "outputType") != 0) return;
  const auto& in = static_cast<const standin::MemoryIop&>(input);
  const auto& out = static_cast<const standin::MemoryIop&>(output);
  const Box& a = in.info().box();
  const Box& b = out.info().box();
  if (a.x() != b.x() || a.y() != b.y() || a.r() != b.r() || a.t() != b.t()) return;
  const size_t count = size_t(a.w()) * size_t(a.h());
  std::vector<std::string> compared, blurred;
  const standin::KnobRecord* knob = standin::record(node.knob("orvelChannels"));
  const ChannelSet* held = knob ? knob->channelSet() : nullptr;
  const ChannelSet selected = held ? *held : ChannelSet(Mask_RGBA);
  for (Channel z : in.channels()) {
    const float* p = in.plane(z);
    const float* q = out.plane(z);
    if (!p || !q) continue;
    compared.push_back(fileChannelName(names, z));
    if (selected.contains(z)) blurred.push_back(compared.back());
    float largest = 0;
    for (size_t i = 0; i < count; ++i)
      if (std::isfinite(p[i])) largest = std::max(largest, std::fabs(p[i]));
    for (size_t i = 0; i < count; ++i)  // a NaN the same, anything else within the tolerance
      if (p[i] != q[i] && !(std::fabs(p[i] - q[i]) <= 1e-6f * largest) &&
          !(std::isnan(p[i]) && std::isnan(q[i])))
        return;
  }
  if (compared.empty()) return;
  if (anyBlur(node, in)) {
    warnings.push_back(
        blurred.empty()
            ? "the picture is the input unchanged: orvelChannels (" + (knob ? knob->script() : "") +
                  ") holds none of its channels (" + list(compared) +
                  "); name those to blur with --set orvelChannels=..."
            : "the picture is the input unchanged, though some pixels' blur is over one pixel: the "
              "channels blurred (" +
                  list(blurred) + ") are even across every blur");
    return;
  }
  warnings.push_back(
      "nothing was out of focus: the picture is the input unchanged (no pixel's blur is over one "
      "pixel at focalPlane " +
      number(knobValue(node, "focalPlane")) + ", multiplier " + number(knobValue(node, "multiplier")) +
      "); orvel depth " + path + " shows the depths and their blur");
}

void addHintsToWarnings(const Op& node, const Status& rendered, std::vector<std::string>& warnings) {
  // An interrupted render brings back none of the node's warnings.
  if (rendered.code != kExitOk && rendered.code != kExitNodeError) return;
  if (!findingsOf(node).kernelSizeCut) return;
  const standin::KnobRecord* r = standin::record(node.knob("max_kernelsize"));
  if (!r) return;
  const double at = r->value(0);
  // The open's warning of the cut is the node's last, and the node's warnings end the list.
  warnings.push_back(at >= r->rangeMax()
                         ? "max_kernelsize is at its largest (" + number(at) +
                               "): the largest blurs are cut to it; lower multiplier, frontmultiplier or "
                               "backmultiplier to fit them"
                         : "raise max_kernelsize (now " + number(at) + ", at most " + number(r->rangeMax()) +
                               ") with --set max_kernelsize=N, or lower multiplier");
}

Status withHints(Status status, const Op& node) {
  if (status.code == kExitNodeError && findingsOf(node).kernelInputMissing)
    status.message +=
        "\ngive the aperture image with --kernel FILE, or set kernelType to Circular or "
        "\"Aperture Blades\"";
  return status;
}

Status withChannelHint(Status status, const std::optional<std::string>& unknownChannel,
                       const std::vector<std::string>& inputChannels) {
  if (!unknownChannel || inputChannels.empty()) return status;
  const std::vector<std::string> near = nearestNames(*unknownChannel, inputChannels);
  status.message += "\nthe input's channels: " + list(inputChannels) +
                    (near.empty() ? "" : " (did you mean " + joinAlternatives(near) + "?)");
  return status;
}

Status focusAt(const std::string& text, Op& node, const LoadedImage& input, std::string& note) {
  int x = 0, y = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%d,%d%c", &x, &y, &end) != 2)
    return Status::usage("--focus-at wants X,Y (pixels from the top-left), not '" + text + "'");
  if (!input.image) return Status::usage("--focus-at reads the depth channel of INPUT: give an INPUT image");
  const Format& f = input.image->format();
  if (x < 0 || y < 0 || x >= f.w() || y >= f.h())
    return Status::usage("--focus-at " + text + " is outside the " + std::to_string(f.w()) + " x " +
                         std::to_string(f.h()) + " frame");
  const Channel z = Channel(int(knobValue(node, "depthChannel")));
  const float* plane = input.image->plane(z);
  float depth = 0;
  if (!plane || !medianDepthAround(*input.image, plane, f.x() + x, f.t() - 1 - y, depth))
    return Status::usage("--focus-at " + text + ": no finite depth in " + getName(z) + " around that pixel");
  // "1/z" values name the distance 1 / v; 0 or below is infinitely far, as the node takes it.
  const bool inverse = int(knobValue(node, "depthStyle")) == kDepthInverse;
  const float raw = depth;
  if (inverse) depth = raw > 0 ? 1.0f / raw : kFarDepth;
  standin::KnobRecord* focalPlane = standin::record(node.knob("focalPlane"));
  char value[32];
  std::snprintf(value, sizeof value, "%.9g", depth);
  if (!focalPlane || !focalPlane->fromScript(value)) return Status::usage("cannot set focalPlane");
  node.knob_changed(focalPlane);
  note = "--focus-at " + text + ": focalPlane=" + focalPlane->script() +
         " (the median depth of the 5 x 5 pixels there" +
         (inverse ? ", from its 1/z value " + number(raw) : "") + ")";
  return Status::success();
}

namespace {

// The "Filter Shape" output shows the kernel alone and reads no depth.
constexpr int kFilterShapeOutput = 3;

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
  const std::vector<std::string> inParts = depthInOtherParts(path);
  return Status::usage("'" + path + "' has no depth channel " + getName(z) +
                       " (its channels: " + list(fileChannels) +
                       (near.empty() ? "" : "; did you mean " + joinAlternatives(near) + "?") +
                       (inParts.empty() ? "" : "; other parts hold " + joinAlternatives(inParts)) +
                       "); name one with --set depthChannel=NAME");
}

Status checkSameFormat(const standin::MemoryIop& input, const std::string& path, const DeepOp& deep,
                       bool deepFile) {
  const Format& a = input.format();
  const Format& b = *deep.deepInfo().format();
  if (a.x() == b.x() && a.y() == b.y() && a.r() == b.r() && a.t() == b.t()) return Status::success();
  const auto text = [](const Format& f) {
    return std::to_string(f.w()) + " x " + std::to_string(f.h()) +
           (f.x() || f.y() ? " at (" + std::to_string(f.x()) + ", " + std::to_string(f.y()) + ")" : "");
  };
  return Status::usage("'" + path + "' is " + text(a) + ", but the " +
                       (deepFile ? "--deep image is " : "--layer files are ") + text(b) +
                       ": INPUT only brings the channels the deep input lacks, over the same display window");
}

Status checkOutputIsNoInput(const std::string& output, const std::vector<std::string>& inputs) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path out = fs::weakly_canonical(output, ec);
  for (const std::string& in : inputs) {
    if (in.empty()) continue;
    std::error_code e1, e2;
    if ((!ec && fs::weakly_canonical(in, e1) == out && !e1) || fs::equivalent(in, output, e2))
      return Status::usage("-o '" + output + "' is the input '" + in +
                           "': the render would overwrite its source; write to another file");
  }
  return Status::success();
}

std::vector<std::string> depthChannelNames(const Op& node, const ChannelNames& names) {
  std::vector<std::string> depth{"Z", "ZBack", "depth.Z", "depth.ZBack"};
  depth.push_back(fileChannelName(names, Channel(int(knobValue(node, "depthChannel")))));
  return depth;
}
