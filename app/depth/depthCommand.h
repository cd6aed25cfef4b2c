// `orvel depth`: what a file's depths are and what blur the knobs give them, before a render.
#pragma once

#include "cli/commandLine.h"

// Prints the summary on stdout and returns the exit status, having printed errors and warnings.
int runDepth(const DepthRequest& request);
