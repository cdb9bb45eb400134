// BMP files and bare DIBs built byte by byte from a description of their
// headers: the core (12-byte) and info (40-byte and longer) headers, colour
// tables, bit-field masks and pixel data as stored. Every field is written as
// given, so the description can also make files that a reader must refuse.
#pragma once

#include <cstdint>
#include <vector>

struct DibSpec {
  bool fileHeader = true;    // "BM" + 14 bytes, or a bare DIB
  uint32_t headerSize = 40;  // 12: core header; more than 40: zeros after the info fields
  int32_t width = 1, height = 1;
  uint16_t planes = 1, bits = 24;
  uint32_t compression = 0;
  uint32_t imageSize = 0;
  uint32_t colorsUsed = 0;
  uint32_t colorsImportant = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB, written as the header's entries
  std::vector<uint32_t> masks;    // written right behind the header
  uint32_t gap = 0;               // bytes (0xEE) between colour table and pixels
  std::vector<uint8_t> pixels;    // the pixel data as stored
};

// The file (or the bare DIB) that `spec` describes. The file header's size and
// pixel offset are those of the bytes built; the pictures are stored at 72 dpi.
std::vector<uint8_t> buildDib(const DibSpec& spec);
