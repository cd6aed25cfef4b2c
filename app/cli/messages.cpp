#include "cli/messages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace {

void printLines(const char* prefix, const std::string& text) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) std::fprintf(stderr, "%s: %s\n", prefix, line.c_str());
}

}  // namespace

void printWarnings(std::vector<std::string>& warnings) {
  for (const std::string& w : warnings) printLines("warning", w);
  warnings.clear();
}

int reportStatus(const Status& status) {
  if (!status.ok()) printLines("error", status.message);
  return status.code;
}

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Close enough to suggest: about a third of the name may be wrong.
size_t closeEnough(const std::string& name) { return std::max<size_t>(2, name.size() / 3); }

}  // namespace

size_t nameDistance(const std::string& a0, const std::string& b0) {
  const std::string a = lower(a0), b = lower(b0);
  const size_t n = a.size(), m = b.size();
  // Three rows of the optimal-string-alignment table: two back, one back, current.
  std::vector<size_t> twoBack(m + 1), prev(m + 1), cur(m + 1);
  for (size_t j = 0; j <= m; ++j) prev[j] = j;
  for (size_t i = 1; i <= n; ++i) {
    cur[0] = i;
    for (size_t j = 1; j <= m; ++j) {
      const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        cur[j] = std::min(cur[j], twoBack[j - 2] + 1);
    }
    twoBack.swap(prev);
    prev.swap(cur);
  }
  return prev[m];
}

std::vector<std::string> nearestNames(const std::string& name, const std::vector<std::string>& candidates,
                                      size_t count) {
  struct Scored {
    bool contained;
    size_t distance;
    size_t order;
  };
  std::vector<Scored> close;
  const std::string lname = lower(name);
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (candidates[i].empty()) continue;
    const std::string lc = lower(candidates[i]);
    const size_t d = nameDistance(name, candidates[i]);
    const bool contained = lname.size() >= 3 && lc.size() >= 3 &&
                           (lc.find(lname) != std::string::npos || lname.find(lc) != std::string::npos);
    if (d <= closeEnough(name) || contained) close.push_back({contained, d, i});
  }
  // Names that contain the typed one (or are contained in it) first, then by distance.
  std::stable_sort(close.begin(), close.end(), [](const Scored& a, const Scored& b) {
    return a.contained != b.contained ? a.contained : a.distance < b.distance;
  });
  std::vector<std::string> out;
  for (size_t i = 0; i < close.size() && out.size() < count; ++i) out.push_back(candidates[close[i].order]);
  return out;
}

std::string joinAlternatives(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " or " : ", ";
    out += names[i];
  }
  return out;
}
