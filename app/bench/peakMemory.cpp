#include "bench/peakMemory.h"

#include <sys/resource.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

// The value of a "Name:   1234 kB" line of /proc/self/status, in bytes; -1 when absent.
double statusBytes(const std::string& name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, name.size(), name) == 0) {
      std::istringstream fields(line.substr(name.size()));
      double kilobytes = 0;
      if (fields >> kilobytes) return kilobytes * 1024.0;
    }
  return -1.0;
}

}  // namespace

double peakResidentBytes() {
  const double peak = statusBytes("VmHWM:");
  if (peak >= 0) return peak;
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) * 1024.0;
}

double residentBytes() {
  const double now = statusBytes("VmRSS:");
  return now >= 0 ? now : 0.0;
}
