#include "platform_terminal.h"

#include "platform.h"

#include <cstdio>

#include <unistd.h>

int answerOnTerminal(const char* text, const char* caption, bool yesNo, int fallbackAnswer) {
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  if (!yesNo) return IDOK;
  if (!isatty(STDIN_FILENO)) return fallbackAnswer;
  char line[64];
  for (;;) {
    std::fprintf(stderr, "[y/n] ");
    std::fflush(stderr);
    if (!std::fgets(line, sizeof line, stdin)) return fallbackAnswer;
    if (line[0] == 'y' || line[0] == 'Y') return IDYES;
    if (line[0] == 'n' || line[0] == 'N') return IDNO;
  }
}
