// The C library's <fcntl.h> on Windows, with the open flags the show passes
// that it lacks. Found before the library's own in the Windows build.
#pragma once

#include_next <fcntl.h>

// Opening never waits on Windows (there are no FIFOs in the file system).
#define O_NONBLOCK 0
// Not inherited by child processes, and read as it is: without _O_BINARY the
// C library would turn CR LF into LF and stop at a byte 0x1A.
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
