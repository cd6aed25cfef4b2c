// `orvel bench`: times the fast and the reference engine on built-in frames (flat at two kernel
// size limits, and deep), compares their pictures and reports their peak memory.
#pragma once

#include "cli/commandLine.h"

// Prints the figures to stdout; returns the exit status.
int runBench(const BenchRequest& request);
