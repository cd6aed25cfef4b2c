// orvel render --slurm: submits the frame range as one Slurm array job, each task rendering a
// chunk of frames with the render's own options; with --wait, waits for the job and names the
// frames that were not written.
#pragma once

#include "cli/commandLine.h"

int submitToSlurm(const RenderRequest& request);
