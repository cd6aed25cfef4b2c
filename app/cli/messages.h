// Messages to the user on stderr: each line of an error prefixed `error:`, of a warning `warning:`.
#pragma once

#include <string>
#include <vector>

#include "status.h"

// Prints the warnings and empties the list.
void printWarnings(std::vector<std::string>& warnings);

// Prints a failed status and returns its exit code (0 for success, printing nothing).
int reportStatus(const Status& status);
