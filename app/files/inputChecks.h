// Checks on an input before a reader opens and decodes it: the path, and the memory it would take.
#pragma once

#include <string>

#include "status.h"

// Checks on an input path before a reader opens it.

// Fails with a usage status when `path` does not exist or is a folder.
Status checkInputPath(const std::string& path);

// The most memory one input may take once decoded (--max-memory): a file that declares a huge
// image, or more deep samples than the machine can hold, is refused before it is allocated.

// Half the machine's physical memory, in bytes; 8 GB when the system does not say.
double defaultMemoryLimit();

// Fails with a usage status naming `path` when `bytes` exceeds `limit`.
Status checkMemory(double bytes, double limit, const std::string& path);
