// `orvel render`: defocus one image, or each frame of a range, with the node.
#pragma once

#include "cli/commandLine.h"

// Renders as asked and returns the exit status, having printed errors and warnings.
int runRender(const RenderRequest& request);
