// Objects the row engines reuse from one row to the next: a thread takes one for a row and gives
// it back when the row is done, so their buffers are allocated once per thread that renders, not
// once per row. Safe to use from many threads at once.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

template <class T>
class ktScratchPool {
 public:
  class Lease {
   public:
    Lease(ktScratchPool& pool, std::unique_ptr<T> item) : pool_(pool), item_(std::move(item)) {}
    ~Lease() { pool_.giveBack(std::move(item_)); }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    T& operator*() const { return *item_; }
    T* operator->() const { return item_.get(); }

   private:
    ktScratchPool& pool_;
    std::unique_ptr<T> item_;
  };

  // One object no other row holds: one given back before, or a new one.
  Lease take() {
    std::unique_ptr<T> item;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!free_.empty()) {
        item = std::move(free_.back());
        free_.pop_back();
      }
    }
    return Lease(*this, item ? std::move(item) : std::make_unique<T>());
  }

 private:
  void giveBack(std::unique_ptr<T> item) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(item));
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<T>> free_;
};
