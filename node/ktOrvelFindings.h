// What the node found in its last validation and open, as plain data beside the messages it
// gave the host, for a host that follows those messages with advice of its own. It crosses the
// plug-in boundary through a C entry point, so that no type information is shared.
#pragma once

namespace DD {
namespace Image {
class Op;
}  // namespace Image
}  // namespace DD

struct ktOrvelFindings {
  // kernelType is Input and nothing is connected to the Kernel input: the render is refused.
  bool kernelInputMissing = false;
  // Some blur is larger than max_kernelsize and is cut to it: the open warned so.
  bool kernelSizeCut = false;
};

// Copies the findings of a ktOrvel node into `findings` and returns 1; returns 0 and leaves
// `findings` alone for any other operator.
extern "C" int ktOrvelReadFindings(const DD::Image::Op* op, ktOrvelFindings* findings);
