// The real deep frame of `orvel bench`: two deep renders of one scene read from the project's
// sample data (never kept in the repository) and merged into one deep input.
#pragma once

#include <memory>
#include <string>

#include "standin/MemoryDeepOp.h"
#include "status.h"

// The data folder that holds both files, looked for beside the working folder's parent; empty
// when it is absent.
std::string realDeepDataFolder();

// The size of the frame's display window, read from the first file's header alone.
Status realDeepFrameSize(const std::string& folder, int& width, int& height);

// Reads "lowres-balls-deep.exr" and "lowres-trunks-deep.exr" from `folder` and merges them: every
// pixel holds the samples of both, in R G B A, deep front and deep back.
Status readRealDeepFrame(const std::string& folder, std::unique_ptr<standin::MemoryDeepOp>& out);
