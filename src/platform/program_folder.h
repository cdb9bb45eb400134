// The folder the show's program lies in, as its working directory.
#pragma once

// Makes the folder of the running program's own file the working directory,
// where the Windows archive puts Data/ and the module, so the show finds them
// whatever folder it was started from (a shortcut, a command line). Returns
// false, leaving the working directory as it was, when that fails.
bool enterProgramFolder();
