// Driving the node as the host does: create it by name from its plug-in, then render a frame
// through the host's render driver with a progress bar.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DDImage/Iop.h"
#include "standin/MemoryIop.h"
#include "status.h"

// Loads the ktOrvel plug-in if need be and creates a node.
Status createOrvelNode(std::unique_ptr<DD::Image::Op>& node, DD::Image::Iop*& iop);

struct FrameSettings {
  unsigned threads = 0;   // 0: every processor
  // The host's processor count (Thread::numCPUs), which the node's own workers follow, set to
  // `threads` too: a process-wide setting, left alone where renders run side by side.
  bool hostThreads = true;
  bool progress = false;  // draw a progress bar on stderr
  std::string label;      // leads the progress bar
};

// Validates, requests, opens and renders every row of the node's box. The node's warnings are
// appended to `warnings`; its errors come back as a node-error status, one per line.
Status renderNodeFrame(DD::Image::Iop& node, const FrameSettings& settings,
                       std::unique_ptr<standin::MemoryIop>& image, std::vector<std::string>& warnings);
