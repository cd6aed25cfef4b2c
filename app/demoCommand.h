// `orvel demo`: renders the built-in scene with bladed bokeh, bloom and chromatic aberration.
#pragma once

#include "commandLine.h"

// Writes the EXR (every channel) and a PNG beside it; returns the exit status.
int runDemo(const DemoRequest& request);
