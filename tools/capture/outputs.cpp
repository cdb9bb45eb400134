#include "outputs.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <functional>
#include <set>
#include <vector>

namespace {

// Where a reserved file stands at commit.
enum class Placed {
  kNot,        // not under its final name
  kNew,        // under its final name, where there was no file
  kExchanged,  // under its final name; the file it replaced is at tempPath
  kAside,      // under its final name; the file it replaced is at asidePath
};

struct Reserved {
  std::string finalPath;
  int fd = -1;            // the unnamed file, until it is closed at the end
  std::string tempPath;   // a named temporary: the new file before commit, the old one after an exchange
  std::string asidePath;  // the replaced file, moved aside (file systems without an exchange)
  Placed placed = Placed::kNot;
};

std::vector<Reserved> reserved;
std::string pendingFolder;  // the frame folder, made at commit; its frames wait unnamed in its parent
std::string madeFolder;     // the folder this run made, or ""
bool committed = false;     // the outputs are in their final place

// Open files left to the writers (libpng, stdio, pipes) when frames hold
// theirs until commit; past this, frames become named temporaries.
constexpr int kSpareFds = 64;

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Longest file name the folder's file system takes (NAME_MAX, 255 on most;
// eCryptfs takes 143).
size_t nameMax(const std::string& folder) {
  const long max = pathconf(folder.c_str(), _PC_NAME_MAX);
  return max > 0 ? static_cast<size_t>(max) : NAME_MAX;
}

std::string randomToken() {
  uint32_t value = 0;
  if (getrandom(&value, sizeof value, 0) != sizeof value) value = static_cast<uint32_t>(std::rand());
  char text[16];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

// An unnamed file in `folder`, reachable by the writers under procPath(fd).
// -1 with errno on failure; `*unsupported` set when a named temporary must
// serve instead: the file system has no unnamed files (EOPNOTSUPP; EISDIR
// from kernels before them), /proc is not mounted, or few open files are left.
int openUnnamed(const std::string& folder, bool* unsupported) {
  *unsupported = false;
  const int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) {
    *unsupported = errno == EOPNOTSUPP || errno == EISDIR || errno == EMFILE || errno == ENFILE;
    return -1;
  }
  rlimit limit{};
  const bool roomLeft = getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
                        static_cast<rlim_t>(fd) + kSpareFds < limit.rlim_cur;
  if (!roomLeft || access(procPath(fd).c_str(), F_OK) != 0) {
    close(fd);
    *unsupported = true;
    return -1;
  }
  return fd;
}

// Makes a name beside `finalPath` with `make` (0 on success, -1 with errno),
// trying fresh random names while the one tried is taken. The path made, or
// "" with errno.
std::string makeBeside(const std::string& finalPath, const std::function<int(const std::string&)>& make) {
  const std::string folder = folderOf(finalPath);
  const std::string name = finalPath.substr(finalPath.rfind('/') + 1);
  // The name fits in the folder's names and the whole path in PATH_MAX, as
  // the final one does.
  const size_t folderPart = folder == "/" ? 1 : folder.size() + 1;
  const size_t pathRoom = PATH_MAX - 1 > folderPart ? PATH_MAX - 1 - folderPart : 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string tempName = temporaryName(name, std::min(nameMax(folder), pathRoom), randomToken());
    if (tempName.empty()) {
      errno = ENAMETOOLONG;
      return "";
    }
    const std::string path = (folder == "/" ? "" : folder) + "/" + tempName;
    if (make(path) == 0) return path;
    if (errno != EEXIST) return "";
  }
  return "";
}

int createEmpty(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  return fd < 0 ? -1 : close(fd);
}

bool syncPath(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  // EINVAL: a file system that has nothing to sync.
  const bool ok = fd >= 0 && (fsync(fd) == 0 || errno == EINVAL);
  if (!ok) *error = std::strerror(errno);
  if (fd >= 0) close(fd);
  return ok;
}

// Moves the file at finalPath aside and puts the new one (named, at
// tempPath) in its place, for file systems that cannot exchange two names.
bool placeAside(Reserved* r) {
  r->asidePath = makeBeside(r->finalPath, createEmpty);
  if (r->asidePath.empty()) return false;
  const bool hadOld = std::rename(r->finalPath.c_str(), r->asidePath.c_str()) == 0;
  if (!hadOld) {
    const int failure = errno;
    unlink(r->asidePath.c_str());
    r->asidePath.clear();
    errno = failure;
    if (failure != ENOENT) return false;
  }
  if (std::rename(r->tempPath.c_str(), r->finalPath.c_str()) != 0) {
    const int failure = errno;
    if (hadOld) std::rename(r->asidePath.c_str(), r->finalPath.c_str());
    r->asidePath.clear();
    errno = failure;
    return false;
  }
  r->tempPath.clear();
  r->placed = hadOld ? Placed::kAside : Placed::kNew;
  return true;
}

// Puts one reserved file under its final name, keeping a file it replaces.
// False with errno when it cannot.
bool place(Reserved* r) {
  if (r->fd >= 0) {
    const std::string source = procPath(r->fd);
    if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, r->finalPath.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      r->placed = Placed::kNew;
      return true;
    }
    if (errno != EEXIST) return false;
    r->tempPath = makeBeside(r->finalPath, [&](const std::string& path) {
      return linkat(AT_FDCWD, source.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
    });
    if (r->tempPath.empty()) return false;
  }
  if (renameat2(AT_FDCWD, r->tempPath.c_str(), AT_FDCWD, r->finalPath.c_str(), RENAME_NOREPLACE) == 0) {
    r->tempPath.clear();
    r->placed = Placed::kNew;
    return true;
  }
  if (errno == EEXIST &&
      renameat2(AT_FDCWD, r->tempPath.c_str(), AT_FDCWD, r->finalPath.c_str(), RENAME_EXCHANGE) == 0) {
    r->placed = Placed::kExchanged;
    return true;
  }
  return errno == EINVAL ? placeAside(r) : false;
}

// Takes a placed file back out and puts the file it replaced back.
void unplace(Reserved* r) {
  switch (r->placed) {
    case Placed::kNot: break;
    case Placed::kNew: unlink(r->finalPath.c_str()); break;
    case Placed::kExchanged:
      renameat2(AT_FDCWD, r->tempPath.c_str(), AT_FDCWD, r->finalPath.c_str(), RENAME_EXCHANGE);
      break;
    case Placed::kAside:
      std::rename(r->asidePath.c_str(), r->finalPath.c_str());
      r->asidePath.clear();
      break;
  }
  r->placed = Placed::kNot;
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

std::string temporaryName(const std::string& name, size_t budget, const std::string& token) {
  const std::string tail = "." + token + ".part";
  if (budget < 2 + tail.size()) return "";
  size_t keep = std::min(name.size(), budget - 1 - tail.size());
  // Whole characters only: never stop before a UTF-8 continuation byte.
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  std::string cut = ".";
  cut.append(name, 0, keep);
  return cut + tail;
}

OutputFile outputReserve(const std::string& finalPath, std::string* error) {
  const std::string kind = nonRegularKind(finalPath);
  if (kind == "a folder") {
    *error = "cannot write " + finalPath + ": it is a folder";
    return {};
  }
  if (!kind.empty()) {
    // Renaming over it would replace the FIFO or device itself.
    *error = "cannot write " + finalPath + ": it is " + kind + ", not a regular file";
    return {};
  }
  const std::string folder = folderOf(finalPath);
  if (finalPath.substr(finalPath.rfind('/') + 1).empty()) {
    *error = "cannot write " + finalPath + ": no file name";
    return {};
  }
  bool unsupported = false;
  const int fd = openUnnamed(folder == pendingFolder ? folderOf(folder) : folder, &unsupported);
  if (fd >= 0) {
    reserved.push_back(Reserved{finalPath, fd, "", "", Placed::kNot});
    return {procPath(fd), fd};
  }
  if (unsupported && folder == pendingFolder) {
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "cannot make the folder " + folder + ": " + std::strerror(errno);
      return {};
    }
    madeFolder = folder;
    pendingFolder.clear();
  }
  const std::string temp = unsupported ? makeBeside(finalPath, createEmpty) : "";
  if (temp.empty()) {
    *error = "cannot write " + finalPath + ": " +
             (errno == ENAMETOOLONG ? "the path leaves no room for a temporary name beside it"
                                    : std::strerror(errno));
    return {};
  }
  reserved.push_back(Reserved{finalPath, -1, temp, "", Placed::kNot});
  return {temp, -1};
}

bool outputPrepareFolder(const std::string& dir, std::string* error) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  struct stat info;
  const bool present = stat(dir.c_str(), &info) == 0;
  if (present && !S_ISDIR(info.st_mode)) {
    *error = "cannot write frames into " + dir + ": not a folder";
    return false;
  }
  if (!present && errno != ENOENT) {
    *error = "cannot make the folder " + dir + ": " + std::strerror(errno);
    return false;
  }
  bool unsupported = false;
  const int probe = openUnnamed(present ? dir : folderOf(dir), &unsupported);
  if (probe >= 0) {
    close(probe);
    if (!present) pendingFolder = dir;
    return true;
  }
  if (!unsupported) {
    *error = (present ? "cannot write frames into " : "cannot make the folder ") + dir + ": " +
             std::strerror(errno);
    return false;
  }
  if (!present) {
    if (mkdir(dir.c_str(), 0777) != 0) {
      *error = "cannot make the folder " + dir + ": " + std::strerror(errno);
      return false;
    }
    madeFolder = dir;
  }
  const std::string named = makeBeside(dir + "/.capture-probe", createEmpty);
  if (named.empty()) {
    *error = "cannot write frames into " + dir + ": " + std::strerror(errno);
    outputsDiscardAll();
    return false;
  }
  unlink(named.c_str());
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
    const bool synced = r.fd >= 0 ? fsync(r.fd) == 0 || errno == EINVAL : syncPath(r.tempPath, &reason);
    if (!synced) {
      *error = "cannot write " + r.finalPath + ": " + (r.fd >= 0 ? std::strerror(errno) : reason);
      return false;
    }
  }
  if (!pendingFolder.empty()) {
    if (mkdir(pendingFolder.c_str(), 0777) == 0) {
      madeFolder = pendingFolder;
    } else if (errno != EEXIST) {
      *error = "cannot make the folder " + pendingFolder + ": " + std::strerror(errno);
      return false;
    }
    pendingFolder.clear();
  }
  for (size_t i = 0; i < reserved.size(); ++i) {
    if (!place(&reserved[i])) {
      *error = "cannot write " + reserved[i].finalPath + ": " + std::strerror(errno);
      for (size_t j = i + 1; j-- > 0;) unplace(&reserved[j]);
      return false;
    }
  }
  // Every new file is in: the replaced ones go.
  std::set<std::string> folders;
  for (Reserved& r : reserved) {
    if (r.placed == Placed::kExchanged) unlink(r.tempPath.c_str());
    if (r.placed == Placed::kAside) unlink(r.asidePath.c_str());
    r.tempPath.clear();
    folders.insert(folderOf(r.finalPath));
  }
  committed = true;
  outputsDiscardAll();
  // The names themselves to the disk; the files are in place already, so
  // a failure here changes nothing that could be reported usefully.
  for (const std::string& folder : folders) syncPath(folder, &reason);
  return true;
}

void outputsDiscardAll() {
  for (const Reserved& r : reserved) {
    if (r.fd >= 0) close(r.fd);
    if (!r.tempPath.empty()) unlink(r.tempPath.c_str());
  }
  reserved.clear();
  pendingFolder.clear();
  if (!committed && !madeFolder.empty()) rmdir(madeFolder.c_str());
  madeFolder.clear();
}
