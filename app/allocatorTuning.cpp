#include "allocatorTuning.h"

#include <malloc.h>

void tuneAllocator() {
  // Trim only when a gigabyte lies free at the top of a heap.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  // Blocks below 32 MB (glibc's largest mmap threshold) come from the heap, so row buffers are
  // reused rather than mapped and unmapped each time.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  // One heap for every thread: what one frame frees (kernel bank, source bands, rows) serves the
  // next frame whichever threads allocate it, instead of each thread's heap keeping its own.
  mallopt(M_ARENA_MAX, 1);
}
