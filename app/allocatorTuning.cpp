#include "allocatorTuning.h"

#include <malloc.h>

void tuneAllocator() {
  // Trim only when a gigabyte lies free at the top of a heap.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  // Blocks below 32 MB (glibc's largest mmap threshold) come from the heap, so row buffers are
  // reused rather than mapped and unmapped each time.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
}
