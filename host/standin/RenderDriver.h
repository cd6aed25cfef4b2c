// What the host does for one frame: validate for real, request the output box (in one or
// several requests), open once, then ask for every output row from a pool of threads, many
// rows at once, and collect the messages.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "standin/MemoryIop.h"

namespace standin {

struct RenderOptions {
  unsigned threads = 0;            // 0: every processor
  bool allChannels = true;         // render the output's channels ...
  DD::Image::ChannelSet channels;  // ... or only these
  // Requests the box as this many horizontal strips, as a host with several outputs or
  // regions does, before the one open.
  int requestStrips = 1;
  // Called after each finished row with (rows done, rows in all), from one thread at a time.
  std::function<void(int, int)> progress;
};

struct RenderReport {
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  bool aborted = false;
  // The rendered image over the output box; null when validation reported an error or the
  // render was aborted.
  std::unique_ptr<MemoryIop> image;
};

RenderReport renderFrame(DD::Image::Iop& op, const RenderOptions& options = RenderOptions());

}  // namespace standin
