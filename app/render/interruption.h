// Stopping cleanly on Ctrl-C (SIGINT) or SIGTERM: the signal handler only records the signal;
// a watcher thread turns it into the host's abort of the node, whose render then returns
// aborted, and the renderer removes its temporary file and exits with 128 + the signal number.
// A second signal ends the process at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "status.h"

namespace DD {
namespace Image {
class Op;
}
}  // namespace DD

// Installs the handlers for SIGINT and SIGTERM.
void installInterruptHandlers();

// The signal received, 0 when none.
int interruptSignal();

// The status to exit with after signal `signal`: 128 + its number.
Status interruptedStatus(int signal);

// While it lives, aborts `op` within a few milliseconds of a signal.
class AbortOnInterrupt {
 public:
  explicit AbortOnInterrupt(DD::Image::Op& op);
  ~AbortOnInterrupt();
  AbortOnInterrupt(const AbortOnInterrupt&) = delete;
  AbortOnInterrupt& operator=(const AbortOnInterrupt&) = delete;

 private:
  void watch(DD::Image::Op& op);

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread watcher_;
};
