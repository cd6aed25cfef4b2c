// The most memory one input may take once decoded (--max-memory): a file that declares a huge
// image, or more deep samples than the machine can hold, is refused before it is allocated.
#pragma once

#include <string>

#include "status.h"

// Half the machine's physical memory, in bytes; 8 GB when the system does not say.
double defaultMemoryLimit();

// Fails with a usage status naming `path` when `bytes` exceeds `limit`.
Status checkMemory(double bytes, double limit, const std::string& path);
