// On Windows a program of the GUI subsystem started from Explorer or a
// shortcut has no standard streams at all; one started from a console or
// with redirections has those it was given.
#include "standard_streams.h"

#include <cstdio>

#include <io.h>

namespace {

bool hasHandle(FILE* stream) {
  const int fd = _fileno(stream);
  return fd >= 0 && _get_osfhandle(fd) != -1;
}

}  // namespace

void ensureStandardStreamsOpen() {
  if (!hasHandle(stdin)) std::freopen("NUL", "r", stdin);
  if (!hasHandle(stdout)) std::freopen("NUL", "w", stdout);
  if (!hasHandle(stderr)) std::freopen("NUL", "w", stderr);
}
