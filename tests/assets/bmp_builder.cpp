#include "bmp_builder.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

TempDir::TempDir() {
  char tmpl[] = "/tmp/quendaloop-images-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  path = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

std::string TempDir::write(const std::string& name, const Bytes& bytes) const {
  std::string full = path + "/" + name;
  std::filesystem::create_directories(std::filesystem::path(full).parent_path());
  FILE* f = std::fopen(full.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + full);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);  // an empty file has no data pointer
  std::fclose(f);
  return full;
}

int openDescriptorCount() {
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (readdir(d)) ++count;
  closedir(d);
  return count;
}
