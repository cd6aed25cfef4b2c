// What the renderer tells the user: errors and warnings on stderr, and "did you mean" suggestions
// for mistyped names.
#pragma once

#include <string>
#include <vector>

#include "status.h"

// Messages to the user on stderr: each line of an error prefixed `error:`, of a warning `warning:`.

// Prints the warnings and empties the list.
void printWarnings(std::vector<std::string>& warnings);

// Prints a failed status and returns its exit code (0 for success, printing nothing).
int reportStatus(const Status& status);

// "Did you mean ...?": the candidates nearest to a mistyped name.

// Edit distance (insertions, deletions, substitutions and swaps of neighbours), ignoring case.
size_t nameDistance(const std::string& a, const std::string& b);

// Up to `count` candidates close to `name`: first those that contain `name` or that `name`
// contains (three letters at least), then those within a few edits; nearest first within each,
// ties in the candidates' order. Empty when nothing is close.
std::vector<std::string> nearestNames(const std::string& name, const std::vector<std::string>& candidates,
                                      size_t count = 3);

// "a", "a or b", "a, b or c".
std::string joinAlternatives(const std::vector<std::string>& names);
