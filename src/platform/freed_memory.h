// How the program's freed memory goes back to the system.
#pragma once

// Keeps the memory the program frees for its own reuse instead of handing it
// back to the system as soon as the top of the heap is free. A software GL
// driver allocates and frees a frame's drawing commands (megabytes, in blocks
// of 64 KB) every frame; handed back each time, those pages are faulted in
// again on the next frame, at several milliseconds a frame. Call it first
// thing in main, from the main thread.
void keepFreedMemory();
