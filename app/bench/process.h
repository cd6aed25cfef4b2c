// The process the bench measures: its resident memory, and work run in a child process.
#pragma once

#include <cstddef>
#include <functional>

#include "status.h"

// Running a piece of work in a forked child process, so that its resident-set high-water mark
// is its own, with a result area in memory shared with the parent.

// Memory mapped shared before a fork: what the child writes, the parent reads after it ends.
class SharedArea {
 public:
  explicit SharedArea(size_t bytes);
  ~SharedArea();
  SharedArea(const SharedArea&) = delete;
  SharedArea& operator=(const SharedArea&) = delete;
  void* data() const { return data_; }
  bool valid() const { return data_ != nullptr; }

 private:
  void* data_ = nullptr;
  size_t bytes_ = 0;
};

// Runs `work` in a child process and waits for it; the child exits with `work`'s return value.
// Fails when the child cannot start, dies of a signal or exits non-zero.
Status runInChild(const std::function<int()>& work);

// The process's resident set: its high-water mark and its size now.

// Bytes, from VmHWM in /proc/self/status (getrusage's ru_maxrss where that is absent).
double peakResidentBytes();
// Bytes, from VmRSS in /proc/self/status (0 where that is absent).
double residentBytes();
