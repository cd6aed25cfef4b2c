// `orvel demo`: renders the built-in scene with bladed bokeh, bloom and chromatic aberration,
// or with --deep the built-in deep scene through the node's Deep Input.
#pragma once

#include "cli/commandLine.h"

// Writes the EXR (every channel) and a PNG beside it; returns the exit status.
int runDemo(const DemoRequest& request);
