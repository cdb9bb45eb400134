#include "bmp_write.h"

#include <cmath>
#include <utility>

#include "bmp_writer.h"
#include "byte_fields.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint8_t byteOf(float v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0f)); }

uint32_t packed(const Rgb& p) {
  return static_cast<uint32_t>(byteOf(p.r)) << 16 | static_cast<uint32_t>(byteOf(p.g)) << 8 | byteOf(p.b);
}

// 24-bit rows, bottom row first, each padded to 4 bytes.
Bytes rows24(const Canvas& c) {
  Bytes b;
  for (int y = c.height - 1; y >= 0; --y) {
    for (int x = 0; x < c.width; ++x) {
      const Rgb& p = c.pixels[static_cast<size_t>(y) * c.width + x];
      b.push_back(byteOf(p.b));
      b.push_back(byteOf(p.g));
      b.push_back(byteOf(p.r));
    }
    while (b.size() % 4) b.push_back(0);
  }
  return b;
}

}  // namespace

bool writeBmp24(const char* path, const Canvas& c) {
  DibSpec spec;
  spec.width = c.width;
  spec.height = c.height;
  spec.pixels = rows24(c);
  spec.imageSize = static_cast<uint32_t>(spec.pixels.size());
  return writeFileBytes(path, buildDib(spec));
}

bool writeBmpCore24(const char* path, const Canvas& c) {
  DibSpec spec;
  spec.headerSize = 12;
  spec.width = c.width;
  spec.height = c.height;
  spec.pixels = rows24(c);
  return writeFileBytes(path, buildDib(spec));
}

// RLE8 encoding of the picture, rows bottom first: runs of three or more
// equal pixels as encoded runs, the rest as absolute runs (single pixels or
// pairs as runs of one), each row closed by end of line and the last by end
// of bitmap.
static std::vector<uint8_t> encodeRle8(const IndexedImage& img) {
  Bytes out;
  for (int y = img.height - 1; y >= 0; --y) {
    const uint8_t* row = &img.indices[static_cast<size_t>(y) * img.width];
    int x = 0;
    while (x < img.width) {
      int run = 1;
      while (x + run < img.width && run < 255 && row[x + run] == row[x]) ++run;
      if (run >= 3) {
        out.push_back(static_cast<uint8_t>(run));
        out.push_back(row[x]);
        x += run;
        continue;
      }
      // Gather literal pixels up to the next run of three or more.
      int len = 0;
      while (x + len < img.width && len < 255) {
        int r = 1;
        while (x + len + r < img.width && r < 3 && row[x + len + r] == row[x + len]) ++r;
        if (r >= 3) break;
        ++len;
      }
      if (len < 3) {
        for (int i = 0; i < len; ++i) {
          out.push_back(1);
          out.push_back(row[x + i]);
        }
      } else {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(len));
        out.insert(out.end(), row + x, row + x + len);
        if (len & 1) out.push_back(0);  // absolute runs end on a 16-bit boundary
      }
      x += len;
    }
    out.push_back(0);
    out.push_back(y == 0 ? 1 : 0);  // end of bitmap after the top row, else end of line
  }
  return out;
}

bool writeBmp8(const char* path, const IndexedImage& img, bool rle) {
  Bytes pixels;
  if (rle) {
    pixels = encodeRle8(img);
  } else {
    for (int y = img.height - 1; y >= 0; --y) {
      const uint8_t* row = &img.indices[static_cast<size_t>(y) * img.width];
      pixels.insert(pixels.end(), row, row + img.width);
      while (pixels.size() % 4) pixels.push_back(0);
    }
  }
  DibSpec spec;
  spec.width = img.width;
  spec.height = img.height;
  spec.bits = 8;
  spec.compression = rle ? 1 : 0;  // BI_RLE8 or BI_RGB
  spec.imageSize = static_cast<uint32_t>(pixels.size());
  spec.colorsUsed = spec.colorsImportant = static_cast<uint32_t>(img.palette.size());
  for (const Rgb& p : img.palette) spec.palette.push_back(packed(p));
  spec.pixels = std::move(pixels);
  return writeFileBytes(path, buildDib(spec));
}
