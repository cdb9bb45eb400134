// The capture's output files, written under temporary names beside their
// final place and renamed only once the whole capture has succeeded, so a
// failed or interrupted capture leaves every existing file as it was (and
// removes the frame folder again when this run made it). Main thread.
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

// The temporary name (no folder) of a file named `name` in a folder where
// names may be `budget` bytes long: ".NAME.PID.part" when that fits, else
// NAME cut (at a UTF-8 character's start) to ".NAM.PID-N.part" of at most
// `budget` bytes, N counting such cuts in this process so no two are the
// same. "" when not even that fits.
std::string temporaryName(const std::string& name, size_t budget);

// Reserves a temporary file beside `finalPath` (created empty, so the folder
// is known to be writable), with a name that fits wherever `finalPath` fits.
// Returns the temporary path, or "" with the reason in `error` (missing
// folder, no permission, `finalPath` is a folder, a FIFO or a device).
std::string outputReserve(const std::string& finalPath, std::string* error);

// Makes `dir` (one level) unless it exists, and checks that files can be
// created in it. False with the reason in `error`.
bool outputPrepareFolder(const std::string& dir, std::string* error);

// Flushes and closes `file`, a stream written with checked writes. False
// with the reason (strerror) in `error` when anything written to it was
// lost: an earlier failed write, the flush or the close. Closes it either way.
bool outputClose(FILE* file, std::string* error);

// Writes every reserved file to the disk (fsync), so that none is renamed
// with data still only in memory, then renames each to its final name.
// False with the reason in `error` when one cannot be synced (nothing is
// renamed then) or renamed (the others stay as they are).
bool outputsCommit(std::string* error);

// Removes every reserved temporary file (and the folder this run made,
// unless the outputs were committed). Safe to call more than once; used on
// failure and from the exit handler.
void outputsDiscardAll();
