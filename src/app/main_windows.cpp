// The process entry on Windows: runs the show from the program's own folder,
// where its pictures and module lie, and ends with its exit code. There is no
// SIGPIPE to ignore: a write to a closed pipe fails on Windows.
#include "program_folder.h"
#include "shell.h"
#include "standard_streams.h"

int main() {
  ensureStandardStreamsOpen();
  enterProgramFolder();
  return WinMain();
}
