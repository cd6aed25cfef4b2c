// Saved scripts through ktOrvel's knobs: each line "name value" is stored with from_script, then
// knob_changed runs, as the host does; finally the node validates for real. Checked: nothing
// crashes; clamped knobs, enumerations, booleans and channels hold values in range; every knob's
// script text reads back to itself. The first byte picks the connected inputs.
#include <sstream>
#include <string>
#include <vector>

#include "DDImage/CameraOp.h"
#include "standin/OpHost.h"
#include "DDImage/Knob.h"
#include "standin/MemoryIop.h"
#include "fuzz_input.h"
#include "ktOrvel.h"

using namespace DD::Image;
using namespace standin;

namespace {

void checkRanges(const KnobRecord& k) {
  for (int i = 0; i < k.arraySize(); ++i) {
    const double v = k.get_value(i);
    if (k.flag(Knob::FORCE_RANGE) && k.hasRange()) FUZZ_CHECK(v >= k.rangeMin() && v <= k.rangeMax());
    if (k.kind() == KnobRecord::Enumeration) FUZZ_CHECK(v >= 0.0 && v < double(k.enumLabels().size()));
    if (k.kind() == KnobRecord::Bool) FUZZ_CHECK(v == 0.0 || v == 1.0);
    if (k.kind() == KnobRecord::ChannelKind || k.kind() == KnobRecord::InputChannel)
      FUZZ_CHECK(v >= 0.0 && v <= double(Chan_Last));
  }
}

std::vector<fuzz::Writer> seeds() {
  std::vector<fuzz::Writer> out(1);
  ktOrvel node(nullptr);  // every knob at its default, as a saved script writes it
  OpHost::buildKnobs(node);
  out[0].byte(0);
  for (const auto& k : OpHost::knobs(node))
    if (!k->name().empty()) out[0].text(k->name() + " " + k->script() + "\n");
  for (const char* s :
       {"focalPlane 10\nfocusRegionSize 4\nmultiplier 9\nmax_kernelsize 24\n",
        "filmFormat \"Vista Vision\"\nfilmFormat Custom\napertureWidth 30\n",
        "realWorldLens true\nfocalLength 50\nfStop 2.8\nworldScale m\nworldScaleMultiplier 10\n",
        "kernelType {Aperture Blades}\nkNumSides 40\nkCurvature 0.5\nkRotation 0.25\n",
        "orvelChannels {rgba.red rgba.green depth.Z}\ndepthChannel depth.Z\noutputType 2\n",
        "correctiveSlices 0\noverrideNearAndFarForSlices 1\ndepthSlicesNearAndFar 2,40\n",
        "bloom 0.8\nbloomMatteChannel rgba.alpha\nkChrAbb -4\nkChrAbbOff {0.2 1 0.7}\n",
        "kSphAbb -3\nmax_kernelsize -5\nfocalLength 1e30\nexpandBBoxToMaxKernelSize yes\n"})
    out.emplace_back().byte(0x0f).text(s);
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
  MemoryIop image(Format(6, 4), Box(0, 0, 6, 4), ChannelSet(Mask_RGBA) + ChannelSet(Chan_Z)),
      kernel(Format(5, 5), Box(0, 0, 5, 5), Mask_RGBA), mattes(Format(6, 4), Box(0, 0, 6, 4), Mask_RGBA);
  image.fill(Chan_Z, 20.0f);
  kernel.fill(Chan_Red, 1.0f);
  CameraOp camera{nullptr};
  ktOrvel node(nullptr);
  OpHost::buildKnobs(node);
  OpHost::connect(node, ktOrvel::kInput, &image);
  if (connect & 1) OpHost::connect(node, ktOrvel::kKernel, &kernel);
  if (connect & 2) OpHost::connect(node, ktOrvel::kCamera, &camera);
  if (connect & 4) OpHost::connect(node, ktOrvel::kMattes, &mattes);
  OutputContext context;
  OpHost::setProjectFormat(node, Format(6, 4));
  node.setOutputContext(context);

  std::istringstream script(in.rest());
  for (std::string line; std::getline(script, line);) {
    const size_t space = line.find(' ');
    KnobRecord* k = standin::record(node.knob(line.substr(0, space).c_str()));
    if (!k) continue;
    k->fromScript(space == std::string::npos ? std::string() : line.substr(space + 1));
    node.knob_changed(k);
    checkRanges(*k);
  }
  node.invalidate();
  node.validate(true);
  for (const auto& k : OpHost::knobs(node)) {
    checkRanges(*k);
    // A saved script must load back: the text a knob writes parses and leaves the same text.
    if (k->arraySize() == 0 && k->kind() != KnobRecord::ChannelSetKind) continue;
    const std::string saved = k->script();
    standin::ScriptRefusal refusal;
    if (!k->fromScript(saved, &refusal))
      std::fprintf(stderr, "%s: '%s': %s\n", k->name().c_str(), saved.c_str(), refusal.message.c_str());
    FUZZ_CHECK(k->script() == saved && refusal.message.empty());
  }
  return 0;
}
