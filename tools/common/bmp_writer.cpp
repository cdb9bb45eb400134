#include "bmp_writer.h"

#include <cstddef>

#include "byte_fields.h"

std::vector<uint8_t> buildDib(const DibSpec& s) {
  std::vector<uint8_t> dib;
  putLe32(dib, s.headerSize);
  if (s.headerSize == 12) {
    putLe16(dib, static_cast<uint32_t>(s.width));
    putLe16(dib, static_cast<uint32_t>(s.height));
    putLe16(dib, s.planes);
    putLe16(dib, s.bits);
  } else {
    putLe32(dib, static_cast<uint32_t>(s.width));
    putLe32(dib, static_cast<uint32_t>(s.height));
    putLe16(dib, s.planes);
    putLe16(dib, s.bits);
    putLe32(dib, s.compression);
    putLe32(dib, s.imageSize);
    putLe32(dib, 2835);  // 72 dpi
    putLe32(dib, 2835);
    putLe32(dib, s.colorsUsed);
    putLe32(dib, s.colorsImportant);
    while (dib.size() < s.headerSize) dib.push_back(0);  // later header versions
  }
  for (uint32_t m : s.masks) putLe32(dib, m);
  for (uint32_t c : s.palette) {
    dib.push_back(c & 0xff);
    dib.push_back((c >> 8) & 0xff);
    dib.push_back((c >> 16) & 0xff);
    if (s.headerSize != 12) dib.push_back(0);  // core headers' entries are 3 bytes
  }
  for (uint32_t i = 0; i < s.gap; ++i) dib.push_back(0xee);
  const size_t pixelOffset = dib.size();
  dib.insert(dib.end(), s.pixels.begin(), s.pixels.end());
  if (!s.fileHeader) return dib;
  std::vector<uint8_t> file{'B', 'M'};
  putLe32(file, static_cast<uint32_t>(14 + dib.size()));
  putLe32(file, 0);  // two reserved words
  putLe32(file, static_cast<uint32_t>(14 + pixelOffset));
  file.insert(file.end(), dib.begin(), dib.end());
  return file;
}
