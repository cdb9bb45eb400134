// The process entry: runs the show (which takes no arguments) and ends with
// its exit code.
#include <csignal>

#include "freed_memory.h"
#include "shell.h"
#include "standard_streams.h"

int main() {
  ensureStandardStreamsOpen();
  keepFreedMemory();
  // A closed reader of standard error (`quendaloop 2>&1 | head -1`) makes
  // writes there fail instead of ending the show.
  std::signal(SIGPIPE, SIG_IGN);
  return WinMain();
}
