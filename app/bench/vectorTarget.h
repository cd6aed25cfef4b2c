// The vector target the fast engine's sweeps run on in this process: the best one Highway finds
// on the processor, under any cap set by ORVEL_SIMD_TARGET once the node has rendered.
#pragma once

#include <string>

std::string vectorTarget();
