#include "freed_memory.h"

#include <malloc.h>

void keepFreedMemory() {
  // glibc returns the free top of the heap once it passes the trim threshold,
  // which it otherwise moves with the largest mapped block freed so far.
  // Fixed thresholds keep the heap at its high-water mark, and blocks up to
  // 32 MB (a frame's commands, a picture's texels) in the heap rather than
  // in mappings of their own, which would be faulted in on every use.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}
