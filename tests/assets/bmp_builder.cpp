#include "bmp_builder.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {
void put16(Bytes& b, uint32_t v) {
  b.push_back(v & 0xff);
  b.push_back((v >> 8) & 0xff);
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}
}  // namespace

Bytes buildDib(const DibSpec& s) {
  Bytes dib;
  put32(dib, s.headerSize);
  if (s.headerSize == 12) {
    put16(dib, static_cast<uint32_t>(s.width));
    put16(dib, static_cast<uint32_t>(s.height));
    put16(dib, s.planes);
    put16(dib, s.bits);
  } else {
    put32(dib, static_cast<uint32_t>(s.width));
    put32(dib, static_cast<uint32_t>(s.height));
    put16(dib, s.planes);
    put16(dib, s.bits);
    put32(dib, s.compression);
    put32(dib, s.imageSize);
    put32(dib, 2835);
    put32(dib, 2835);
    put32(dib, s.colorsUsed);
    put32(dib, 0);
    while (dib.size() < s.headerSize) dib.push_back(0);  // later header versions
  }
  for (uint32_t m : s.masks) put32(dib, m);
  for (uint32_t c : s.palette) {
    dib.push_back(c & 0xff);
    dib.push_back((c >> 8) & 0xff);
    dib.push_back((c >> 16) & 0xff);
    if (s.headerSize != 12) dib.push_back(0);
  }
  for (uint32_t i = 0; i < s.gap; ++i) dib.push_back(0xee);
  size_t pixelOffset = dib.size();
  dib.insert(dib.end(), s.pixels.begin(), s.pixels.end());
  if (!s.fileHeader) return dib;
  Bytes file;
  file.push_back('B');
  file.push_back('M');
  put32(file, static_cast<uint32_t>(14 + dib.size()));
  put32(file, 0);
  put32(file, static_cast<uint32_t>(14 + pixelOffset));
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}

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
