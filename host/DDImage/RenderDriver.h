// What the host does for one frame: validate for real, request the output box, open, then ask
// for every output row from a pool of threads, many rows at once, and collect the messages.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DDImage/MemoryIop.h"

namespace DD {
namespace Image {

struct RenderOptions {
  unsigned threads = 0;          // 0: every processor
  bool allChannels = true;       // render the output's channels ...
  ChannelSet channels;           // ... or only these
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

RenderReport renderFrame(Iop& op, const RenderOptions& options = RenderOptions());

}  // namespace Image
}  // namespace DD
