// An allocator for the large per-render tables: blocks of a megabyte or more are aligned to and
// advised as huge pages, which saves hundreds of thousands of page faults on a 1080p frame.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

template <typename T>
struct ktLargeAllocator {
  using value_type = T;
  static constexpr size_t kHugePage = size_t(2) << 20;

  ktLargeAllocator() = default;
  template <typename U>
  ktLargeAllocator(const ktLargeAllocator<U>&) {}

  T* allocate(size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kHugePage / 2) {
      if (void* p = std::malloc(bytes ? bytes : 1)) return static_cast<T*>(p);
      throw std::bad_alloc();
    }
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded);
    if (!p) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t) { std::free(p); }

  template <typename U>
  bool operator==(const ktLargeAllocator<U>&) const { return true; }
  template <typename U>
  bool operator!=(const ktLargeAllocator<U>&) const { return false; }
};
