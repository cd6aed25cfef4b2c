// The bench's whole-process figures: `orvel render` on a bench frame from an EXR file to an EXR
// file (start-up, reading, rendering and writing), against the engine's own time, and start-up.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "status.h"

using KnobValues = std::vector<std::pair<std::string, std::string>>;

// Writes the bench scene of `width` x `height` to a scratch EXR (in a child process, so that this
// one's memory, which later bench children start from, stays as it was), times `orvel render` on
// it with `knobs` (the fastest of `runs`) and `orvel knobs` (the fastest of 5), and prints them
// beside `engineSeconds` (the engine's fastest render) and `engineFirstSeconds` (its first, with
// the node's preparation, as a process renders once).
Status benchWholeProcess(int width, int height, const KnobValues& knobs, unsigned threads, int runs,
                         double engineSeconds, double engineFirstSeconds);
