#include "cli/frameRange.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

// Where a frame pattern sits in a path, and how wide its number is.
struct PatternSpan {
  size_t begin = std::string::npos;
  size_t length = 0;
  int width = 0;
};

// Matches "%d" or "%0Nd" at `i`.
bool printfPatternAt(const std::string& s, size_t i, PatternSpan& span) {
  if (s[i] != '%') return false;
  size_t j = i + 1;
  int width = 0;
  if (j < s.size() && s[j] == '0') {
    ++j;
    const size_t digits = j;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])) && j - digits < 2)
      width = width * 10 + (s[j++] - '0');
    if (j == digits) return false;
  }
  if (j >= s.size() || s[j] != 'd') return false;
  span = PatternSpan{i, j + 1 - i, width};
  return true;
}

PatternSpan findPattern(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '#') {
      size_t j = i;
      while (j < s.size() && s[j] == '#') ++j;
      return PatternSpan{i, j - i, int(j - i)};
    }
    PatternSpan span;
    if (printfPatternAt(s, i, span)) return span;
  }
  return PatternSpan{};
}

bool parseFrame(const std::string& text, int& frame) {
  const bool digitFirst = !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]));
  const bool signFirst =
      text.size() > 1 && text[0] == '-' && std::isdigit(static_cast<unsigned char>(text[1]));
  if (!digitFirst && !signFirst) return false;
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 10);
  if (*end != '\0' || errno == ERANGE || v < INT_MIN / 2 || v > INT_MAX / 2) return false;
  frame = int(v);
  return true;
}

}  // namespace

Status parseFrameRange(const std::string& text, FrameRange& range) {
  const Status bad = Status::usage("--frames wants A-B or A (whole frame numbers), not '" + text + "'");
  // The separating '-' is the first one after the first character (which may be a sign).
  const size_t dash = text.size() > 1 ? text.find('-', 1) : std::string::npos;
  FrameRange r;
  if (dash == std::string::npos) {
    if (!parseFrame(text, r.first)) return bad;
    r.last = r.first;
  } else if (!parseFrame(text.substr(0, dash), r.first) || !parseFrame(text.substr(dash + 1), r.last)) {
    return bad;
  }
  if (r.last < r.first) return Status::usage("--frames " + text + ": the last frame comes before the first");
  range = r;
  return Status::success();
}

bool hasFramePattern(const std::string& path) { return findPattern(path).begin != std::string::npos; }

std::string expandFramePattern(const std::string& path, int frame) {
  const PatternSpan span = findPattern(path);
  if (span.begin == std::string::npos) return path;
  char number[32];
  std::snprintf(number, sizeof number, "%0*d", span.width, frame);
  return path.substr(0, span.begin) + number + path.substr(span.begin + span.length);
}

bool splitFramePattern(const std::string& path, std::string& before, int& width, std::string& after) {
  const PatternSpan span = findPattern(path);
  if (span.begin == std::string::npos) return false;
  before = path.substr(0, span.begin);
  width = span.width;
  after = path.substr(span.begin + span.length);
  return true;
}
