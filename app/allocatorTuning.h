// The allocator settings of the renderer, as a host chooses its own allocator.
#pragma once

// Keeps freed memory at the heap top for reuse instead of returning it to the system: the
// engines allocate and free row buffers of a few hundred kilobytes per row, and glibc's default
// trimming would otherwise cost a system call and a TLB flush per row.
void tuneAllocator();
