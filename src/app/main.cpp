// The process entry: runs the show (which takes no arguments) and ends with
// its exit code.
#include "shell.h"

int main() { return WinMain(); }
