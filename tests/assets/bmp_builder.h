// The loader tests' kit: BMP files and bare DIBs built byte by byte (the
// shared writer, written from the file format's layout and independent of
// the loader), stored pixel rows, and temporary folders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_writer.h"

using Bytes = std::vector<uint8_t>;

// Stored rows (bottom row first, padded to 4 bytes) of a 24-bit picture whose
// pixel (x, y), y counted from the bottom, is colour(x, y) as 0xRRGGBB.
template <typename F>
Bytes rows24(int width, int height, F colour) {
  Bytes b;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint32_t c = colour(x, y);
      b.push_back(c & 0xff);
      b.push_back((c >> 8) & 0xff);
      b.push_back((c >> 16) & 0xff);
    }
    while (b.size() % 4) b.push_back(0);
  }
  return b;
}

// A temporary folder, removed with everything in it by the destructor.
struct TempDir {
  TempDir();
  ~TempDir();
  std::string path;
  std::string write(const std::string& name, const Bytes& bytes) const;  // returns the full path
};

// Open file descriptors of this process.
int openDescriptorCount();
