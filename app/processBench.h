// The bench's whole-process figures: `orvel render` on a bench frame from an EXR file to an EXR
// file (start-up, reading, rendering and writing), against the engine's own time, and start-up.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "standin/MemoryIop.h"
#include "status.h"

using KnobValues = std::vector<std::pair<std::string, std::string>>;

// Writes `scene` to a scratch EXR, times `orvel render` on it with `knobs` (the fastest of
// `runs`) and `orvel knobs` (the fastest of 5), and prints them beside `engineSeconds`.
Status benchWholeProcess(const standin::MemoryIop& scene, const KnobValues& knobs, unsigned threads, int runs,
                         double engineSeconds);
