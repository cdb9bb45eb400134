#include "outputs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

struct Reserved {
  std::string finalPath;
  std::string tempPath;
};

std::vector<Reserved> reserved;           // temporary files not yet renamed
std::string madeFolder;                   // the folder this run made, or ""
bool committed = false;                   // the outputs are in their final place

}  // namespace

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[4096];
  if (!getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

std::string outputReserve(const std::string& finalPath, std::string* error) {
  struct stat info;
  if (stat(finalPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    *error = "cannot write " + finalPath + ": it is a folder";
    return "";
  }
  const size_t slash = finalPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : finalPath.substr(0, slash);
  const std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
  if (name.empty()) {
    *error = "cannot write " + finalPath + ": no file name";
    return "";
  }
  const std::string temp = folder + "/." + name + "." + std::to_string(getpid()) + ".part";
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "cannot write " + finalPath + ": " + std::strerror(errno);
    return "";
  }
  close(fd);
  reserved.push_back({finalPath, temp});
  return temp;
}

bool outputPrepareFolder(const std::string& dir, std::string* error) {
  struct stat info;
  if (stat(dir.c_str(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) {
      *error = "cannot write frames into " + dir + ": not a folder";
      return false;
    }
  } else if (mkdir(dir.c_str(), 0777) == 0) {
    madeFolder = dir;
  } else {
    *error = "cannot make the folder " + dir + ": " + std::strerror(errno);
    return false;
  }
  const std::string probe = dir + "/.capture-probe." + std::to_string(getpid());
  const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "cannot write frames into " + dir + ": " + std::strerror(errno);
    outputsDiscardAll();
    return false;
  }
  close(fd);
  unlink(probe.c_str());
  return true;
}

bool outputsCommit(std::string* error) {
  for (size_t i = 0; i < reserved.size(); ++i) {
    if (std::rename(reserved[i].tempPath.c_str(), reserved[i].finalPath.c_str()) != 0) {
      *error = "cannot write " + reserved[i].finalPath + ": " + std::strerror(errno);
      reserved.erase(reserved.begin(), reserved.begin() + static_cast<long>(i));
      return false;
    }
  }
  reserved.clear();
  committed = true;
  return true;
}

void outputsDiscardAll() {
  for (const Reserved& r : reserved) unlink(r.tempPath.c_str());
  reserved.clear();
  if (!committed && !madeFolder.empty()) rmdir(madeFolder.c_str());
  madeFolder.clear();
}
