// Standard input, output and error that a program can rely on.
#pragma once

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file the program opens later (an X connection, an output file) takes
// one of their numbers and receives text meant for standard error. Call it
// first thing in main, before anything opens a file. On Windows, where a
// program of the GUI subsystem may start with no standard streams at all,
// each stream without one is opened on NUL.
void ensureStandardStreamsOpen();
