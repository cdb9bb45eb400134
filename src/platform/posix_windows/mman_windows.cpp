#include <sys/mman.h>

#include <cerrno>
#include <cstdint>

#include <io.h>
#include <windows.h>

void* mmap(void*, size_t length, int protection, int flags, int fd, off_t offset) {
  if (protection != PROT_READ || flags != MAP_PRIVATE || length == 0 || offset < 0) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return MAP_FAILED;
  }
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) {
    errno = EACCES;
    return MAP_FAILED;
  }
  const auto from = static_cast<uint64_t>(offset);
  void* view =
      MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(from >> 32), static_cast<DWORD>(from), length);
  CloseHandle(mapping);  // the view keeps the mapping alive
  if (!view) {
    errno = ENOMEM;
    return MAP_FAILED;
  }
  return view;
}

int munmap(void* address, size_t) {
  if (UnmapViewOfFile(address)) return 0;
  errno = EINVAL;
  return -1;
}
