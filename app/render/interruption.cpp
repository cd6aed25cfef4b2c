#include "render/interruption.h"

#include <csignal>
#include <cstring>

#include "DDImage/Op.h"

namespace {

// The one piece of global state: written by the signal handler, read by the watcher.
volatile std::sig_atomic_t receivedSignal = 0;

void onSignal(int signal) { receivedSignal = signal; }

void handle(int signal) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // a second signal takes the default action: the process ends
  ::sigaction(signal, &action, nullptr);
}

}  // namespace

void installInterruptHandlers() {
  handle(SIGINT);
  handle(SIGTERM);
}

int interruptSignal() { return receivedSignal; }

Status interruptedStatus(int signal) {
  const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
  return Status{128 + signal,
                std::string("interrupted by ") + name + "; the frame in progress was not written"};
}

AbortOnInterrupt::AbortOnInterrupt(DD::Image::Op& op) : watcher_([this, &op] { watch(op); }) {}

AbortOnInterrupt::~AbortOnInterrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  watcher_.join();
}

void AbortOnInterrupt::watch(DD::Image::Op& op) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Aborts again on every wake, in case the render driver cleared the flag when it started.
  while (!stop_) {
    if (interruptSignal()) op.abort();
    wake_.wait_for(lock, std::chrono::milliseconds(20));
  }
}
