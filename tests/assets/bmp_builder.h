// Builds BMP files and bare DIBs byte by byte for the loader tests, written
// from the file format's layout and independent of the loader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct DibSpec {
  bool fileHeader = true;  // "BM" + 14 bytes, or a bare DIB
  uint32_t headerSize = 40;
  int32_t width = 1, height = 1;
  uint16_t planes = 1, bits = 24;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB, written as the header's entries
  std::vector<uint32_t> masks;    // written right behind the header
  uint32_t gap = 0;               // bytes between colour table and pixels
  Bytes pixels;                   // the pixel data as stored
};

Bytes buildDib(const DibSpec& spec);

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
