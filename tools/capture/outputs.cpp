#include "outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <set>
#include <vector>

namespace {

struct Reserved {
  std::string finalPath;
  std::string tempPath;
};

std::vector<Reserved> reserved;  // temporary files not yet renamed
std::string madeFolder;          // the folder this run made, or ""
bool committed = false;          // the outputs are in their final place
unsigned cutNames = 0;           // temporary names shortened so far

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Longest file name the folder's file system takes (NAME_MAX, 255 on most;
// eCryptfs takes 143).
size_t nameMax(const std::string& folder) {
  const long max = pathconf(folder.c_str(), _PC_NAME_MAX);
  return max > 0 ? static_cast<size_t>(max) : NAME_MAX;
}

bool syncFile(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  // EINVAL: a file system that has nothing to sync.
  const bool ok = fd >= 0 && (fsync(fd) == 0 || errno == EINVAL);
  if (!ok) *error = std::strerror(errno);
  if (fd >= 0) close(fd);
  return ok;
}

}  // namespace

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char* cwd = getcwd(nullptr, 0);  // any length
  if (!cwd) return "";
  const std::string absolute = std::string(cwd) + (cwd[1] ? "/" : "") + path;
  std::free(cwd);
  return absolute;
}

std::string nonRegularKind(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return "";
  if (S_ISDIR(info.st_mode)) return "a folder";
  if (S_ISFIFO(info.st_mode)) return "a FIFO";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
  return "not a regular file";
}

std::string temporaryName(const std::string& name, size_t budget) {
  const std::string pid = std::to_string(getpid());
  const std::string whole = "." + name + "." + pid + ".part";
  if (whole.size() <= budget) return whole;
  const std::string tail = "." + pid + "-" + std::to_string(cutNames + 1) + ".part";
  if (budget < 2 + tail.size()) return "";
  size_t keep = std::min(name.size(), budget - 1 - tail.size());
  // Whole characters only: never stop before a UTF-8 continuation byte.
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  ++cutNames;
  std::string cut = ".";
  cut.append(name, 0, keep);
  return cut + tail;
}

std::string outputReserve(const std::string& finalPath, std::string* error) {
  const std::string kind = nonRegularKind(finalPath);
  if (kind == "a folder") {
    *error = "cannot write " + finalPath + ": it is a folder";
    return "";
  }
  if (!kind.empty()) {
    // Renaming over it would replace the FIFO or device itself.
    *error = "cannot write " + finalPath + ": it is " + kind + ", not a regular file";
    return "";
  }
  const std::string folder = folderOf(finalPath);
  const std::string name = finalPath.substr(finalPath.rfind('/') + 1);
  if (name.empty()) {
    *error = "cannot write " + finalPath + ": no file name";
    return "";
  }
  // The temporary name fits in the folder's names and the whole path in
  // PATH_MAX, as the final one does.
  const size_t folderPart = folder == "/" ? 1 : folder.size() + 1;
  const size_t pathRoom = PATH_MAX - 1 > folderPart ? PATH_MAX - 1 - folderPart : 0;
  const std::string tempName = temporaryName(name, std::min(nameMax(folder), pathRoom));
  if (tempName.empty()) {
    *error = "cannot write " + finalPath + ": the path leaves no room for a temporary name beside it";
    return "";
  }
  const std::string temp = (folder == "/" ? "" : folder) + "/" + tempName;
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

bool outputClose(FILE* file, std::string* error) {
  // ferror: a write that failed earlier (its errno is gone; the caller that
  // checks each write reports it there). fflush, then fclose: the rest.
  bool ok = true;
  if (std::ferror(file)) {
    *error = "a write failed";
    ok = false;
  } else if (std::fflush(file) != 0) {
    *error = std::strerror(errno);
    ok = false;
  }
  if (std::fclose(file) != 0 && ok) {
    *error = std::strerror(errno);
    ok = false;
  }
  return ok;
}

bool outputsCommit(std::string* error) {
  std::string reason;
  for (const Reserved& r : reserved) {
    if (!syncFile(r.tempPath, &reason)) {
      *error = "cannot write " + r.finalPath + ": " + reason;
      return false;
    }
  }
  std::set<std::string> folders;
  for (size_t i = 0; i < reserved.size(); ++i) {
    if (std::rename(reserved[i].tempPath.c_str(), reserved[i].finalPath.c_str()) != 0) {
      *error = "cannot write " + reserved[i].finalPath + ": " + std::strerror(errno);
      reserved.erase(reserved.begin(), reserved.begin() + static_cast<long>(i));
      return false;
    }
    folders.insert(folderOf(reserved[i].finalPath));
  }
  reserved.clear();
  committed = true;
  // The renames themselves to the disk; the files are in place already, so
  // a failure here changes nothing that could be reported usefully.
  for (const std::string& folder : folders) syncFile(folder, &reason);
  return true;
}

void outputsDiscardAll() {
  for (const Reserved& r : reserved) unlink(r.tempPath.c_str());
  reserved.clear();
  if (!committed && !madeFolder.empty()) rmdir(madeFolder.c_str());
  madeFolder.clear();
}
