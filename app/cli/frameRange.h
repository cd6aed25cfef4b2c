// Frame ranges (--frames A-B) and frame patterns in paths: `#` (one digit per #, zero-padded)
// or printf-style `%d` / `%0Nd`.
#pragma once

#include <string>

#include "status.h"

struct FrameRange {
  int first = 0;
  int last = 0;
};

// Parses "A-B" or a single frame "A"; either may be negative ("-5--1"); B must not precede A.
Status parseFrameRange(const std::string& text, FrameRange& range);

// True when `path` holds a run of `#` or a `%d` / `%0Nd` conversion.
bool hasFramePattern(const std::string& path);

// `path` with its first frame pattern replaced by `frame`; unchanged when it has none.
std::string expandFramePattern(const std::string& path, int frame);

// `path` around its first frame pattern: the text before it, the width its number is padded to
// (0: none) and the text after it. False when it has none.
bool splitFramePattern(const std::string& path, std::string& before, int& width, std::string& after);
