#include "peakMemory.h"

#include <sys/resource.h>

#include <fstream>
#include <sstream>
#include <string>

double peakResidentBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, 6, "VmHWM:") == 0) {
      std::istringstream fields(line.substr(6));
      double kilobytes = 0;
      if (fields >> kilobytes) return kilobytes * 1024.0;
    }
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) * 1024.0;
}
