#include "data_dir.h"

#include "music.h"  // its module marks a folder with the show's data

#include <sys/stat.h>
#include <unistd.h>
#include <climits>

namespace {

bool holdsShowData(const std::string& dir) {
  struct stat info;
  return stat((dir + "/" + kMusicFile).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The folder this program's file lies in, with symbolic links resolved.
std::string programFolder() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "";
  self[length] = '\0';
  std::string dir(self);
  dir.resize(dir.rfind('/'));
  return dir;
}

}  // namespace

std::string findDataDir(const std::string& asked, std::string* error) {
  if (!asked.empty()) return asked;
  if (holdsShowData(".")) return ".";
  const std::string folder = programFolder();
  if (folder.empty()) {
    *error = "cannot tell where this program lies (/proc/self/exe); name the show's data folder with --data";
    return "";
  }
  // QUENDALOOP_INSTALLED_DATA_DIR: the data folder relative to the programs'
  // folder in an installed tree, set by the build.
  const std::string installed = folder + "/" + QUENDALOOP_INSTALLED_DATA_DIR;
  if (holdsShowData(installed)) return installed;
  *error = std::string("the show's data is missing: no ") + kMusicFile + " in the working directory or in " +
           installed + "; run from the folder with Data/ and " + kMusicFile + ", or name it with --data";
  return "";
}
