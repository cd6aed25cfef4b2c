// One render through the node for the Python module, as `orvel render` drives it: the node made
// from its plug-in with its engine and knob values, the inputs connected, the renderer's checks
// and hints, and the frame rendered. Plain data in and out, no Python: the module runs `render`
// with the interpreter's lock released.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DDImage/Iop.h"
#include "cli/knobs.h"
#include "files/deepReader.h"
#include "files/imageReader.h"
#include "status.h"

// A refusal or a node error, with the renderer's text: orvel.Error in Python.
struct CallError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The images of a call, each already in the host's layout; an absent one has no image.
struct CallInputs {
  LoadedImage image, kernel, mattes;
  LoadedDeep deep;
};

class NodeCall {
 public:
  // Makes the node, picks its engine and applies the knob values, as `--set` would.
  Status create(const std::vector<KnobAssignment>& assignments, bool reference);

  // The channel the node's depthChannel knob names, which a separate depth plane fills.
  DD::Image::Channel depthChannel() const;

  // Connects `inputs` (kept alive by the caller until the call ends), checks them as the
  // renderer does and renders the node's box on `threads` threads (0: every processor).
  Status render(const CallInputs& inputs, unsigned threads, std::unique_ptr<standin::MemoryIop>& out);

  const DD::Image::Op& node() const { return *node_; }
  // The node's warnings and the renderer's, in the order they came.
  std::vector<std::string> warnings;

 private:
  Status connect(const CallInputs& inputs);

  std::vector<KnobAssignment> assignments_;
  std::unique_ptr<DD::Image::Op> node_;
  DD::Image::Iop* iop_ = nullptr;
};

// The name the renderer's messages give each input of a call, where they name a file.
extern const char* const kImageName;
extern const char* const kMattesName;
