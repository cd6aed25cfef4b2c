// Checks on an input path before a reader opens it.
#pragma once

#include <string>

#include "status.h"

// Fails with a usage status when `path` does not exist or is a folder.
Status checkInputPath(const std::string& path);
