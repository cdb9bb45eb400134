// The process entry: hands the command-line tail to the show's entry routine
// (which ignores it) and ends with its exit code.
#include "shell.h"

#include <string>

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  const int showNormal = 1;
  return WinMain(platformModuleHandle(), nullptr, commandLine.data(), showNormal);
}
