#include "cli/messages.h"

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
