// Running a piece of work in a forked child process, so that its resident-set high-water mark
// is its own, with a result area in memory shared with the parent.
#pragma once

#include <cstddef>
#include <functional>

#include "status.h"

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
