// Registration, construction, inputs, hash and metadata of the node.
#include "ktOrvel.h"

#include "DDImage/CameraOp.h"
#include "DDImage/DeepOp.h"
#include "DDImage/Knob.h"
#include "ktSourceWalk.h"

using namespace DD::Image;

namespace {

Op* build(Node* node) { return new ktOrvel(node); }

const char* const kInputLabels[] = {"Input", "Kernel", "Camera", "Deep Input", "Mattes"};

}  // namespace

const ktOrvel::Registration ktOrvel::description("ktOrvel", build, ktOrvel::buildStamp);

ktOrvel::ktOrvel(Node* node) : Iop(node) { inputs(5); }

ktOrvel::~ktOrvel() = default;

const char* ktOrvel::Class() const { return description.name; }

const char* ktOrvel::node_help() const {
  return "ktOrvel: lens defocus by depth, with aperture-shaped highlights, corrective slices and lens "
         "artefacts.";
}

const char* ktOrvel::input_label(int n, char*) const { return n >= 0 && n < 5 ? kInputLabels[n] : ""; }

bool ktOrvel::test_input(int n, Op* op) const {
  if (!op) return false;
  switch (n) {
    case kInput:
    case kKernel:
    case kMattes:
      return dynamic_cast<Iop*>(op) != nullptr;
    case kCamera:
      return dynamic_cast<CameraOp*>(op) != nullptr;
    case kDeepInput:
      return dynamic_cast<DeepOp*>(op) != nullptr;
    default:
      return false;
  }
}

Op* ktOrvel::default_input(int n) const { return n == 0 ? Iop::default_input(0) : nullptr; }

void ktOrvel::set_input(int n, Op* op, int input, int offset) {
  if (n == kCamera) {
    const bool connected = dynamic_cast<CameraOp*>(op) != nullptr;
    for (const char* name : {"focalPlane", "focalLength", "fStop", "apertureWidth", "apertureHeight"})
      if (Knob* k = knob(name)) k->enable(!connected);
  }
  Iop::set_input(n, op, input, offset);
}

// The version joins the knobs' values in the hash: a new version renders anew.
void ktOrvel::append(Hash& h) {
  for (int part : kVersion) h.append(part);
}

const MetaData::Bundle& ktOrvel::_fetchMetaData(const char*) { return settings.metaData; }

void ktOrvel::in_channels(int, ChannelSet& m) const {
  m += settings.activeChannels;
  m += settings.depthChannel;
  m += Chan_Alpha;
}

void ktOrvel::deep_in_channels(ChannelSet& m) const {
  m += settings.activeChannels;
  m = deepChannelsFor(m);
}

CameraOp* ktOrvel::camera() const { return dynamic_cast<CameraOp*>(Op::input(kCamera)); }

DeepOp* ktOrvel::deepOp() const { return dynamic_cast<DeepOp*>(Op::input(kDeepInput)); }

Iop* ktOrvel::optionalInput(int n) const { return dynamic_cast<Iop*>(Op::input(n)); }

// Built member by member in order: the host's formats are copied, never assigned.
ktRenderContext ktOrvel::renderContext() const {
  return ktRenderContext{
      &settings,       &kernels,       &heroKernel,   &sliceDepths,    padding,
      kernelSizeLimit, info_.format(), hasBloomMatte, hasDefocusMatte, hasChromicAberrationMatte,
      matteChannels};
}

size_t ktOrvel::mappedBands() const {
  size_t mapped = sourceBands.mapped();
  for (const ktSourceBands& bands : deepBands) mapped += bands.mapped();
  return mapped;
}

extern "C" __attribute__((visibility("default"))) void ktOrvelLimitMemory(Op* op, double bytes) {
  if (auto* node = dynamic_cast<ktOrvel*>(op)) {
    node->limitMemory(bytes);
    node->invalidate();
  }
}

extern "C" __attribute__((visibility("default"))) void ktOrvelUseReferenceEngine(Op* op, int reference) {
  if (auto* node = dynamic_cast<ktOrvel*>(op)) {
    node->useReferenceEngine(reference != 0);
    node->invalidate();
  }
}
