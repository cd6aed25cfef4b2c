// The knob value parser as saved scripts drive it: each input line "name value" stores a value
// into the ktOrvel knob of that name with from_script, then knob_changed runs, as the host does;
// finally the node is validated for real. Checked: nothing crashes; clamped knobs, enumerations,
// booleans and channels hold values in range; every knob's script text reads back to itself.
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DDImage/CameraOp.h"
#include "standin/OpHost.h"
#include "DDImage/Knob.h"
#include "standin/KnobRecord.h"
#include "standin/MemoryIop.h"
#include "fuzzInput.h"
#include "ktOrvel.h"

using namespace DD::Image;
using standin::KnobRecord;
using namespace standin;

namespace {

// The inputs a script may find connected: the first byte picks which.
struct Inputs {
  Inputs()
      : image(Format(6, 4), Box(0, 0, 6, 4), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z)),
        kernel(Format(5, 5), Box(0, 0, 5, 5), Mask_RGBA),
        mattes(Format(6, 4), Box(0, 0, 6, 4), Mask_RGBA) {
    image.fill(Chan_Red, 0.5f);
    image.fill(Chan_Alpha, 1.0f);
    image.fill(Chan_Z, 20.0f);
    kernel.fill(Chan_Red, 1.0f);
    camera.setFocalLength(35.0);
    camera.setFocusDistance(12.0);
  }
  MemoryIop image, kernel, mattes;
  CameraOp camera{nullptr};
};

void checkRanges(const KnobRecord& k) {
  const int n = k.arraySize();
  for (int i = 0; i < n; ++i) {
    const double v = k.get_value(i);
    if (k.flag(Knob::FORCE_RANGE) && k.hasRange()) FUZZ_CHECK(v >= k.rangeMin() && v <= k.rangeMax());
    switch (k.kind()) {
      case KnobRecord::Enumeration:
        FUZZ_CHECK(v >= 0.0 && v < double(k.enumLabels().size()));
        break;
      case KnobRecord::Bool:
        FUZZ_CHECK(v == 0.0 || v == 1.0);
        break;
      case KnobRecord::ChannelKind:
      case KnobRecord::InputChannel:
        FUZZ_CHECK(v >= 0.0 && v <= double(Chan_Last));
        break;
      default:
        break;
    }
  }
}

// A saved script must load back: the text a knob writes parses, and leaves the same text.
void checkRoundTrip(KnobRecord& k) {
  if (k.arraySize() == 0 && k.kind() != KnobRecord::ChannelSetKind) return;
  const std::string saved = k.script();
  std::string error;
  const bool parsed = k.fromScript(saved, &error);
  if (!parsed)
    std::fprintf(stderr, "knob %s: '%s' does not read back: %s\n", k.name().c_str(), saved.c_str(),
                 error.c_str());
  FUZZ_CHECK(parsed);
  FUZZ_CHECK(k.script() == saved);
}

std::vector<fuzz::Writer> seeds() {
  std::vector<fuzz::Writer> out;
  // Every knob at its default, as a saved script writes it.
  {
    Inputs inputs;
    ktOrvel node(nullptr);
    OpHost::buildKnobs(node);
    fuzz::Writer w;
    w.byte(0);
    for (const auto& k : OpHost::knobs(node))
      if (!k->name().empty()) w.text(k->name() + " " + k->script() + "\n");
    out.push_back(w);
  }
  const char* const scripts[] = {
      "focalPlane 10\nfocusRegionSize 4\nmultiplier 9\nmax_kernelsize 24\n",
      "filmFormat \"Vista Vision\"\nfilmFormat Custom\napertureWidth 30\n",
      "realWorldLens true\nfocalLength 50\nfStop 2.8\nworldScale m\nworldScaleMultiplier 10\n",
      "kernelType {Aperture Blades}\nkNumSides 40\nkCurvature 0.5\nkRotation 0.25\nkAspectRatio 0.5\n",
      "orvelChannels {rgba.red rgba.green depth.Z}\ndepthChannel depth.Z\noutputType 2\n",
      "correctiveSlices 0\noverrideNearAndFarForSlices 1\ndepthSlicesNearAndFar 2,40\n",
      "bloom 0.8\nbloomCurvature 9\nbloomMatteChannel rgba.alpha\nkChrAbb -4\nkChrAbbOff {0.2 1 0.7}\n",
      "kSphAbb -3\nmax_kernelsize -5\nfocalLength 1e30\nexpandBBoxToMaxKernelSize yes\n",
  };
  for (const char* s : scripts) {
    fuzz::Writer w;
    w.byte(0x0f).text(s);
    out.push_back(w);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzz::writeSeedsIfAsked(argc, argv, seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Reader in(data, size);
  const uint8_t connect = in.byte();
  Inputs inputs;
  ktOrvel node(nullptr);
  OpHost::buildKnobs(node);
  OpHost::connect(node, ktOrvel::kInput, &inputs.image);
  if (connect & 1) OpHost::connect(node, ktOrvel::kKernel, &inputs.kernel);
  if (connect & 2) OpHost::connect(node, ktOrvel::kCamera, &inputs.camera);
  if (connect & 4) OpHost::connect(node, ktOrvel::kMattes, &inputs.mattes);
  OutputContext context;
  OpHost::setProjectFormat(node, Format(6, 4));
  node.setOutputContext(context);

  std::istringstream script(in.rest());
  for (std::string line; std::getline(script, line);) {
    const size_t space = line.find(' ');
    const std::string name = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : line.substr(space + 1);
    KnobRecord* k = standin::record(node.knob(name.c_str()));
    if (!k) continue;
    std::string error;
    k->fromScript(value, &error);
    node.knob_changed(k);
    checkRanges(*k);
  }

  node.invalidate();
  node.validate(true);
  for (const auto& k : OpHost::knobs(node)) {
    checkRanges(*k);
    checkRoundTrip(*k);
  }
  return 0;
}
