// Where the capture program reads the show's files (Data/*.bmp and
// pelvorgrind.xm) from.
#pragma once

#include <string>

// The folder named with --data (`asked`, taken as given), else the working
// directory when it holds the module, else the data folder installed beside
// this program. Empty, with a one-line reason in `error`, when neither of the
// last two holds the module: the program never looks in the tree it was
// built from.
std::string findDataDir(const std::string& asked, std::string* error);
