// The capture's output files, written as files without a name (O_TMPFILE)
// beside their final place and given their names only once the whole capture
// has succeeded, so a failed, interrupted or killed capture leaves every
// existing file as it was and nothing of its own behind. File systems
// without such files get named temporaries with unique names instead.
// Main thread.
#pragma once

#include <cstdio>
#include <string>

// `path` made absolute against the current working directory; "" when the
// working directory cannot be found (it was removed, for one).
std::string absolutePath(const std::string& path);

// What `path` is when it exists and is not a regular file: "a folder", "a
// FIFO", "a socket", "a device"; "" for a regular file or a missing one.
// Symbolic links are followed.
std::string nonRegularKind(const std::string& path);

// The name (no folder) of a named temporary for a file named `name`, in a
// folder where names may be `budget` bytes long: ".NAME.TOKEN.part" when
// that fits, else NAME cut (at a UTF-8 character's start) to fit. "" when
// not even that fits.
std::string temporaryName(const std::string& name, size_t budget, const std::string& token);

// A reserved output file.
struct OutputFile {
  std::string path;  // the name its writer opens; "" when it could not be reserved
  int fd = -1;       // the unnamed file, for a child process to inherit; -1 for a named temporary
};

// Reserves the file that will become `finalPath` (so the folder is known to
// be writable), with any name it needs fitting wherever `finalPath` fits.
// On failure the path is "" and `error` says why (missing folder, no
// permission, `finalPath` is a folder, a FIFO or a device).
OutputFile outputReserve(const std::string& finalPath, std::string* error);

// Checks that frames can be written into `dir`, which is made (one level)
// at commit when it does not exist yet. Raises the limit of open files, as
// every frame holds one until then. False with the reason in `error`.
bool outputPrepareFolder(const std::string& dir, std::string* error);

// Flushes and closes `file`, a stream written with checked writes. False
// with the reason (strerror) in `error` when anything written to it was
// lost: an earlier failed write, the flush or the close. Closes it either way.
bool outputClose(FILE* file, std::string* error);

// Writes every reserved file to the disk (fsync), then gives each its final
// name. All or nothing: when one cannot be synced or put in place, every
// file put in place before it is taken back and every earlier file is as it
// was, and `error` says why. The files replaced are kept aside until all
// are in, then dropped.
bool outputsCommit(std::string* error);

// Drops every reserved file (and the folder this run made, unless the
// outputs were committed). Safe to call more than once; used on failure and
// from the exit handler.
void outputsDiscardAll();
