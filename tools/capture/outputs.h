// The capture's output files, written under temporary names beside their
// final place and renamed only once the whole capture has succeeded, so a
// failed or interrupted capture leaves every existing file as it was (and
// removes the frame folder again when this run made it). Main thread.
#pragma once

#include <string>

// `path` made absolute against the current working directory.
std::string absolutePath(const std::string& path);

// Reserves a temporary file beside `finalPath` (created empty, so the folder
// is known to be writable). Returns the temporary name, or "" with the reason
// in `error` (missing folder, no permission, `finalPath` is a folder).
std::string outputReserve(const std::string& finalPath, std::string* error);

// Makes `dir` (one level) unless it exists, and checks that files can be
// created in it. False with the reason in `error`.
bool outputPrepareFolder(const std::string& dir, std::string* error);

// Renames every reserved file to its final name. False with the reason in
// `error` when one cannot be renamed (the others stay as they are).
bool outputsCommit(std::string* error);

// Removes every reserved temporary file (and the folder this run made,
// unless the outputs were committed). Safe to call more than once; used on
// failure and from the exit handler.
void outputsDiscardAll();
