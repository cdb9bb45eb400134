#include "bmp_write.h"

#include <cmath>
#include <cstdio>

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
  b.push_back(v & 0xff);
  b.push_back((v >> 8) & 0xff);
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}
uint8_t byteOf(float v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0f)); }

void fileHeader(Bytes& b, uint32_t fileSize, uint32_t pixelOffset) {
  b.push_back('B');
  b.push_back('M');
  put32(b, fileSize);
  put32(b, 0);  // two reserved words
  put32(b, pixelOffset);
}

void infoHeader(Bytes& b, int w, int h, int bits, uint32_t compression, uint32_t imageSize,
                uint32_t colours) {
  put32(b, 40);
  put32(b, static_cast<uint32_t>(w));
  put32(b, static_cast<uint32_t>(h));
  put16(b, 1);
  put16(b, bits);
  put32(b, compression);
  put32(b, imageSize);
  put32(b, 2835);  // 72 dpi
  put32(b, 2835);
  put32(b, colours);
  put32(b, colours);
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

bool writeFile(const char* path, const Bytes& b) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

bool writeBmp24(const char* path, const Canvas& c) {
  Bytes pixels = rows24(c);
  Bytes b;
  fileHeader(b, static_cast<uint32_t>(54 + pixels.size()), 54);
  infoHeader(b, c.width, c.height, 24, 0, static_cast<uint32_t>(pixels.size()), 0);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return writeFile(path, b);
}

bool writeBmpCore24(const char* path, const Canvas& c) {
  Bytes pixels = rows24(c);
  Bytes b;
  fileHeader(b, static_cast<uint32_t>(26 + pixels.size()), 26);
  put32(b, 12);
  put16(b, c.width);
  put16(b, c.height);
  put16(b, 1);
  put16(b, 24);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return writeFile(path, b);
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
  uint32_t colours = static_cast<uint32_t>(img.palette.size());
  uint32_t offset = 54 + 4 * colours;
  Bytes b;
  fileHeader(b, static_cast<uint32_t>(offset + pixels.size()), offset);
  infoHeader(b, img.width, img.height, 8, rle ? 1 : 0, static_cast<uint32_t>(pixels.size()),
             colours);
  for (const Rgb& p : img.palette) {
    b.push_back(byteOf(p.b));
    b.push_back(byteOf(p.g));
    b.push_back(byteOf(p.r));
    b.push_back(0);
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return writeFile(path, b);
}
