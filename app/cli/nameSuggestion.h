// "Did you mean ...?": the candidates nearest to a mistyped name.
#pragma once

#include <string>
#include <vector>

// Edit distance (insertions, deletions, substitutions and swaps of neighbours), ignoring case.
size_t nameDistance(const std::string& a, const std::string& b);

// Up to `count` candidates close to `name`: first those that contain `name` or that `name`
// contains (three letters at least), then those within a few edits; nearest first within each,
// ties in the candidates' order. Empty when nothing is close.
std::vector<std::string> nearestNames(const std::string& name, const std::vector<std::string>& candidates,
                                      size_t count = 3);

// "a", "a or b", "a, b or c".
std::string joinAlternatives(const std::vector<std::string>& names);
