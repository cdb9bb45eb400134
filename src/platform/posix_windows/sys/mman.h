// Read-only file mappings on Windows, as POSIX's mmap gives them. Found in
// the Windows build only (mman_windows.cpp).
#pragma once

#include <sys/types.h>

#include <cstddef>

#define PROT_READ 1
#define MAP_PRIVATE 2
#define MAP_FAILED (reinterpret_cast<void*>(-1))

// Maps `length` bytes of the open file `fd` from `offset` for reading.
// `address` is only a hint and is ignored; `protection` must be PROT_READ and
// `flags` MAP_PRIVATE, or the call fails with EINVAL. The mapping outlives the
// descriptor. Returns MAP_FAILED with errno set on failure.
void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset);

// Removes a mapping that mmap made; `length` is not needed on Windows.
// Returns 0, or -1 with errno set.
int munmap(void* address, size_t length);
