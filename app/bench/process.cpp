#include "bench/process.h"

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

SharedArea::SharedArea(size_t bytes) : bytes_(bytes) {
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  data_ = p == MAP_FAILED ? nullptr : p;
}

SharedArea::~SharedArea() {
  if (data_) ::munmap(data_, bytes_);
}

Status runInChild(const std::function<int()>& work) {
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t pid = ::fork();
  if (pid < 0) return Status::usage("cannot start a child process");
  if (pid == 0) {
    int code = 1;
    try {
      code = work();
    } catch (...) {
      code = 1;
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return Status::usage("lost the child process");
  if (WIFSIGNALED(status))
    return Status::usage("the child process died of signal " + std::to_string(WTERMSIG(status)));
  if (WEXITSTATUS(status) != 0)
    return Status{WEXITSTATUS(status),
                  "the child process failed with status " + std::to_string(WEXITSTATUS(status))};
  return Status::success();
}

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
