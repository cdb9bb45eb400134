// The BMP loader. The file is mapped read-only and its headers and pixel data
// are used where they lie. A 40-byte working header with the colour table
// describes the source; every layout is converted into a 24-bit target bitmap
// (rows of B, G, R padded to 4 bytes, bottom row first), and one
// copy-and-swap loop turns that bitmap into the R, G, B rows of the result.
// An uncompressed 24-bit source already has the target's layout, so its rows
// are read straight from the mapping.
#include "bmp_loader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cpu_shuffle.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace {

constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;
// Largest pixel block accepted (bytes); bigger pictures are refused before
// anything is allocated.
constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 30;

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t colorsForBitCount(uint16_t bits) {
  switch (bits) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

// The normalised header that describes the source pixels, followed by the
// colour table as 4-byte entries blue, green, red, 0.
struct WorkingHeader {
  uint32_t size;
  int32_t width;
  int32_t height;  // negative for a top-down source
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;
  uint32_t imageSize;
  int32_t xPelsPerMeter, yPelsPerMeter;
  uint32_t colorsUsed;
  uint32_t colorsImportant;
};
static_assert(sizeof(WorkingHeader) == 40);

// The colour table right behind the working header.
inline uint8_t* colorTable(WorkingHeader* wh) { return reinterpret_cast<uint8_t*>(wh) + 40; }
inline const uint8_t* colorTable(const WorkingHeader* wh) {
  return reinterpret_cast<const uint8_t*>(wh) + 40;
}

void showBox(const char* text) { platformMessageBox(platformFocusWindow(), text, "Error", MB_OK); }

// The 24-bit target bitmap: `rows` rows of B, G, R bytes, `stride` bytes
// apart (a multiple of 4), row 0 at `base` being the bottom row.
struct Target {
  const uint8_t* base;
  std::ptrdiff_t stride;
};

struct Source {
  const uint8_t* data;  // first byte of the pixel data
  size_t available;     // bytes from `data` to the end of the file
};

// Widens the channel under `mask` to 8 bits by repeating its bits.
struct Channel {
  uint32_t mask;
  int shift;
  int bits;
};

bool makeChannel(uint32_t mask, Channel& c) {
  c.mask = mask;
  c.shift = 0;
  c.bits = 0;
  if (mask == 0) return true;
  while (!((mask >> c.shift) & 1)) ++c.shift;
  uint32_t m = mask >> c.shift;
  while (c.bits < 32 && ((m >> c.bits) & 1)) ++c.bits;
  // Holes in a mask are refused; `m >> bits` would be nonzero.
  return c.bits == 32 || (m >> c.bits) == 0;
}

uint8_t channelValue(const Channel& c, uint32_t pixel) {
  if (c.bits == 0) return 0;
  uint32_t v = (pixel & c.mask) >> c.shift;
  if (c.bits >= 8) return static_cast<uint8_t>(v >> (c.bits - 8));
  uint32_t out = 0;
  int shift = 8 - c.bits;
  for (; shift > 0; shift -= c.bits) out |= v << shift;
  out |= v >> (-shift);
  return static_cast<uint8_t>(out);
}

uint64_t sourceRowBytes(uint32_t bits, int32_t width) {
  return (static_cast<uint64_t>(bits) * static_cast<uint64_t>(width) + 31) / 32 * 4;
}

// Writes colour-table entry `index` (black past the table) as B, G, R.
inline void putIndexed(uint8_t* dst, const WorkingHeader* wh, uint32_t colorCount, uint32_t index) {
  if (index < colorCount) {
    const uint8_t* q = colorTable(wh) + 4 * index;
    dst[0] = q[0];
    dst[1] = q[1];
    dst[2] = q[2];
  } else {
    dst[0] = dst[1] = dst[2] = 0;
  }
}

enum class Convert { kOk, kUnsupported, kTruncated };

// Uncompressed rows of 1, 4, 8, 16 or 32 bits into the target bitmap. `rows`
// rows of the source are read; a top-down source is written flipped.
Convert convertRows(const WorkingHeader* wh, uint32_t colorCount, const Channel masks[3], Source src,
                    uint8_t* target, size_t targetStride, int32_t rows, bool topDown) {
  const int32_t width = wh->width;
  const uint64_t rowBytes = sourceRowBytes(wh->bitCount, width);
  const uint64_t lastRowBytes = (static_cast<uint64_t>(wh->bitCount) * width + 7) / 8;
  if (rowBytes * (rows - 1) + lastRowBytes > src.available) return Convert::kTruncated;
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* s = src.data + rowBytes * y;
    uint8_t* d = target + targetStride * (topDown ? rows - 1 - y : y);
    switch (wh->bitCount) {
      case 1:
        for (int32_t x = 0; x < width; ++x, d += 3)
          putIndexed(d, wh, colorCount, (s[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x, d += 3)
          putIndexed(d, wh, colorCount, (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xf);
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x, d += 3) putIndexed(d, wh, colorCount, s[x]);
        break;
      case 16:
        for (int32_t x = 0; x < width; ++x, d += 3) {
          uint32_t p = read16(s + 2 * x);
          d[0] = channelValue(masks[2], p);
          d[1] = channelValue(masks[1], p);
          d[2] = channelValue(masks[0], p);
        }
        break;
      case 32:
        for (int32_t x = 0; x < width; ++x, d += 3) {
          uint32_t p = read32(s + 4 * x);
          d[0] = channelValue(masks[2], p);
          d[1] = channelValue(masks[1], p);
          d[2] = channelValue(masks[0], p);
        }
        break;
      default: return Convert::kUnsupported;
    }
  }
  return Convert::kOk;
}

// RLE8 (`nibbles` false) or RLE4 run-length data into the zero-filled target
// bitmap. Pixels outside the picture are dropped; pixels never written stay
// black. The data must end with an end-of-bitmap code or fill every row.
Convert convertRunLength(const WorkingHeader* wh, uint32_t colorCount, Source src, uint8_t* target,
                         size_t targetStride, bool nibbles) {
  const int64_t width = wh->width, height = wh->height;
  const uint8_t* p = src.data;
  const uint8_t* end = src.data + src.available;
  // The position; y < height at the start of every code, x may lie past the
  // right edge, where pixels are dropped.
  int64_t x = 0, y = 0;
  while (y < height) {
    if (end - p < 2) return Convert::kTruncated;
    uint8_t count = p[0], value = p[1];
    p += 2;
    if (count > 0) {  // a run: one index, or two alternating nibbles
      if (x >= width) continue;
      int64_t n = std::min<int64_t>(count, width - x);
      uint8_t* d = target + targetStride * y + 3 * x;
      uint8_t first[3], second[3];
      putIndexed(first, wh, colorCount, nibbles ? value >> 4 : value);
      putIndexed(second, wh, colorCount, nibbles ? value & 0xf : value);
      for (int64_t i = 0; i < n; ++i, d += 3) std::memcpy(d, (i & 1) ? second : first, 3);
      x += n;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return Convert::kOk;
    } else if (value == 2) {  // delta: move right and up
      if (end - p < 2) return Convert::kTruncated;
      x += p[0];
      y += p[1];
      p += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      size_t bytes = nibbles ? (value + 1u) / 2 : value;
      size_t padded = (bytes + 1) & ~size_t{1};
      if (static_cast<size_t>(end - p) < padded) return Convert::kTruncated;
      if (x < width) {
        int64_t n = std::min<int64_t>(value, width - x);
        uint8_t* d = target + targetStride * y + 3 * x;
        for (int64_t i = 0; i < n; ++i, d += 3)
          putIndexed(d, wh, colorCount, nibbles ? ((i & 1) ? p[i / 2] & 0xf : p[i / 2] >> 4) : p[i]);
        x += n;
      }
      p += padded;
    }
  }
  return Convert::kOk;
}

bool validLayout(uint16_t bits, uint32_t compression, bool topDown) {
  switch (compression) {
    case kBiRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kBiRle8: return bits == 8 && !topDown;
    case kBiRle4: return bits == 4 && !topDown;
    case kBiBitfields: return bits == 16 || bits == 32;
    default: return false;
  }
}

// One row of `width` pixels, B, G, R to R, G, B, four pixels per step
// through 32-bit words (little-endian: byte 0 is the lowest).
void swapRowWords(const uint8_t* s, uint8_t* d, int32_t width) {
  int32_t x = 0;
  for (; x + 4 <= width; x += 4, s += 12, d += 12) {
    uint32_t a, b, c;  // B0 G0 R0 B1 | G1 R1 B2 G2 | R2 B3 G3 R3
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + 4, 4);
    std::memcpy(&c, s + 8, 4);
    uint32_t oa = ((a >> 16) & 0xff) | (a & 0xff00) | ((a & 0xff) << 16) | (((b >> 8) & 0xff) << 24);
    uint32_t ob = (b & 0xff) | ((a >> 24) << 8) | ((c & 0xff) << 16) | ((b >> 24) << 24);
    uint32_t oc =
        ((b >> 16) & 0xff) | ((c >> 24) << 8) | (((c >> 16) & 0xff) << 16) | (((c >> 8) & 0xff) << 24);
    std::memcpy(d, &oa, 4);
    std::memcpy(d + 4, &ob, 4);
    std::memcpy(d + 8, &oc, 4);
  }
  for (; x < width; ++x, s += 3, d += 3) {
    d[0] = s[2];
    d[1] = s[1];
    d[2] = s[0];
  }
}

// The same with one byte shuffle per five pixels, for processors with SSSE3.
// Each step reads and writes 16 bytes of which 15 are its own, so it runs
// only while a sixth pixel follows in the row.
typedef uint8_t Bytes16 __attribute__((vector_size(16)));
__attribute__((target("ssse3"))) void swapRowShuffle(const uint8_t* s, uint8_t* d, int32_t width) {
  int32_t x = 0;
  for (; x + 6 <= width; x += 5, s += 15, d += 15) {
    Bytes16 v;
    std::memcpy(&v, s, 16);
    Bytes16 o = __builtin_shufflevector(v, v, 2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    std::memcpy(d, &o, 16);
  }
  swapRowWords(s, d, width - x);
}

// Copies the target bitmap into the result, B, G, R to R, G, B, dropping the
// row padding: the loader's one per-pixel loop.
void copyAndSwap(Target t, int32_t width, int32_t height, uint8_t* out) {
  static const bool shuffle = cpuHasByteShuffle();
  const size_t rowOut = static_cast<size_t>(width) * 3;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = t.base + t.stride * y;
    uint8_t* d = out + rowOut * y;
    if (shuffle)
      swapRowShuffle(s, d, width);
    else
      swapRowWords(s, d, width);
  }
}

}  // namespace

uint16_t dibColorCount(const uint8_t* header) {
  uint32_t size = read32(header);
  if (size == kCoreHeaderSize) return colorsForBitCount(read16(header + 10));
  uint16_t used = static_cast<uint16_t>(read32(header + 32) & 0xffff);
  if (read32(header + 32) != 0) return used;
  return colorsForBitCount(read16(header + 14));
}

namespace {

// Everything one load holds, released in reverse order by loadBitmapImage's
// single exit; each step below fills its part or names what went wrong.
struct Load {
  int fd = -1;
  const uint8_t* view = nullptr;  // the file, mapped whole and read-only
  size_t fileSize = 0;            // bytes
  bool hasFileHeader = false;
  const uint8_t* header = nullptr;  // the 12- or 40-byte header in the mapping
  uint32_t headerSize = 0;          // bytes
  uint32_t colorCount = 0;
  WorkingHeader* working = nullptr;  // with the colour table behind it
  int32_t rows = 0;                  // the picture's height, whichever way its rows run
  bool topDown = false;
  Channel masks[3];  // red, green, blue
  Source src{};
  uint8_t* targetBits = nullptr;  // the 24-bit target bitmap, when the source is not one already
  Target target{};
  uint8_t* pixels = nullptr;
  RgbImage* image = nullptr;
};

// Opens and maps the file. Only a regular file is read: the open does not
// wait for a FIFO's writer, and the check refuses it. False when the file
// cannot be opened or mapped.
bool mapFile(const char* fileName, Load& l) {
  l.fd = fileName ? open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
  if (l.fd < 0) return false;
  struct stat st;
  if (fstat(l.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;
  void* mapped = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, l.fd, 0);
  if (mapped == MAP_FAILED) return false;
  l.view = static_cast<const uint8_t*>(mapped);
  l.fileSize = static_cast<size_t>(st.st_size);
  return true;
}

// Finds the DIB header behind a BMP file header, or at the start of a bare
// DIB, and checks its size. Returns the failure's text, or null.
const char* readHeaders(Load& l) {
  if (l.fileSize < 2) return "Truncated DIB file.";
  l.hasFileHeader = read16(l.view) == 0x4D42;
  const size_t headerPos = l.hasFileHeader ? kFileHeaderSize : 0;
  if (l.fileSize < headerPos + 4) return "Truncated DIB file.";
  l.header = l.view + headerPos;
  l.headerSize = read32(l.header);
  if (l.headerSize != kCoreHeaderSize && l.headerSize != kInfoHeaderSize) return "Unknown DIB file format.";
  if (l.fileSize - headerPos < l.headerSize) return "Truncated DIB file.";
  return nullptr;
}

// Builds the 40-byte working header with its colour table from either header
// kind, checks the picture's size and layout, and finds the pixel data and
// the channel masks. Returns the failure's text, or null.
const char* buildWorkingHeader(Load& l) {
  const uint8_t* header = l.header;
  const size_t headerPos = static_cast<size_t>(header - l.view);
  l.colorCount = dibColorCount(header);
  l.working = static_cast<WorkingHeader*>(std::malloc(44 + 4 * static_cast<size_t>(l.colorCount)));
  if (!l.working) return "Out of memory.";
  WorkingHeader* working = l.working;

  const size_t entryBytes = l.headerSize == kCoreHeaderSize ? 3 : 4;
  size_t tableOffset = 0;  // bytes from the header to the colour table
  if (l.headerSize == kCoreHeaderSize) {
    working->size = kInfoHeaderSize;
    working->width = read16(header + 4);
    working->height = read16(header + 6);
    working->planes = read16(header + 8);
    working->bitCount = read16(header + 10);
    working->compression = kBiRgb;
    working->imageSize = 0;
    working->xPelsPerMeter = working->yPelsPerMeter = 0;
    working->colorsUsed = working->colorsImportant = l.colorCount;
    tableOffset = kCoreHeaderSize;
  } else {
    working->size = kInfoHeaderSize;
    working->width = static_cast<int32_t>(read32(header + 4));
    working->height = static_cast<int32_t>(read32(header + 8));
    working->planes = read16(header + 12);
    working->bitCount = read16(header + 14);
    working->compression = read32(header + 16);
    working->imageSize = read32(header + 20);
    working->xPelsPerMeter = static_cast<int32_t>(read32(header + 24));
    working->yPelsPerMeter = static_cast<int32_t>(read32(header + 28));
    working->colorsUsed = read32(header + 32);
    working->colorsImportant = read32(header + 36);
    // Bit-field masks sit between the header and the colour table.
    tableOffset = kInfoHeaderSize + (working->compression == kBiBitfields ? 12 : 0);
  }
  if (working->imageSize == 0)
    working->imageSize = static_cast<uint32_t>(
        (static_cast<uint64_t>(working->bitCount) * static_cast<uint32_t>(working->width) + 7) / 8 *
        static_cast<uint32_t>(working->height));
  if (working->colorsUsed == 0) working->colorsUsed = l.colorCount;

  // Sizes: a top-down picture becomes bottom-up; empty or oversized pictures
  // are refused before anything is allocated for the pixels.
  l.topDown = working->height < 0;
  if (working->width <= 0 || working->height == 0 || working->height == INT32_MIN)
    return "Invalid DIB image size.";
  l.rows = l.topDown ? -working->height : working->height;
  if (static_cast<uint64_t>(l.rows) * static_cast<uint64_t>(working->width) * 3 > kMaxPixelBytes)
    return "DIB image too large.";
  const uint32_t compression = working->compression;
  const uint16_t bits = working->bitCount;
  if (!validLayout(bits, compression, l.topDown)) return "Image file conversion error.";

  const uint8_t* table = header + tableOffset;
  const size_t tableBytes = entryBytes * l.colorCount;
  if (l.fileSize - headerPos < tableOffset + tableBytes) return "Truncated DIB file.";
  for (uint32_t i = 0; i < l.colorCount; ++i) {
    const uint8_t* e = table + entryBytes * i;
    uint8_t* w = colorTable(working) + 4 * i;
    w[0] = e[0];
    w[1] = e[1];
    w[2] = e[2];
    w[3] = entryBytes == 4 ? e[3] : 0;
  }
  size_t pixelPos = headerPos + tableOffset + tableBytes;
  if (l.hasFileHeader) pixelPos = read32(l.view + 10);

  if (compression == kBiBitfields) {
    bool contiguous = true;
    for (int i = 0; i < 3; ++i)
      contiguous = makeChannel(read32(header + 40 + 4 * i), l.masks[i]) && contiguous;
    if (!contiguous) return "Image file conversion error.";
  } else if (bits == 16) {
    makeChannel(0x7c00, l.masks[0]);
    makeChannel(0x03e0, l.masks[1]);
    makeChannel(0x001f, l.masks[2]);
  } else {
    makeChannel(0x00ff0000, l.masks[0]);
    makeChannel(0x0000ff00, l.masks[1]);
    makeChannel(0x000000ff, l.masks[2]);
  }
  if (pixelPos > l.fileSize) return "Truncated DIB file.";
  l.src = Source{l.view + pixelPos, l.fileSize - pixelPos};
  return nullptr;
}

// Converts the source pixels into the 24-bit target bitmap; an uncompressed
// 24-bit source already is one, and its rows are used where they lie.
// Returns the failure's text, or null.
const char* convertPixels(Load& l) {
  const WorkingHeader* working = l.working;
  const size_t targetStride = (static_cast<size_t>(working->width) * 3 + 3) & ~size_t{3};
  const uint32_t compression = working->compression;
  if (working->bitCount == 24 && compression == kBiRgb) {
    const uint64_t lastRow = static_cast<uint64_t>(working->width) * 3;
    if (targetStride * static_cast<uint64_t>(l.rows - 1) + lastRow > l.src.available)
      return "Truncated DIB file.";
    l.target.base = l.topDown ? l.src.data + targetStride * (l.rows - 1) : l.src.data;
    l.target.stride =
        l.topDown ? -static_cast<std::ptrdiff_t>(targetStride) : static_cast<std::ptrdiff_t>(targetStride);
    return nullptr;
  }
  const bool runLength = compression == kBiRle8 || compression == kBiRle4;
  l.targetBits = static_cast<uint8_t*>(runLength ? std::calloc(l.rows, targetStride)
                                                 : std::malloc(targetStride * l.rows));
  if (!l.targetBits) return "Out of memory.";
  const Convert result =
      runLength
          ? convertRunLength(working, l.colorCount, l.src, l.targetBits, targetStride, compression == kBiRle4)
          : convertRows(working, l.colorCount, l.masks, l.src, l.targetBits, targetStride, l.rows, l.topDown);
  if (result == Convert::kTruncated) return "Truncated DIB file.";
  if (result == Convert::kUnsupported) return "Image file conversion error.";
  l.target.base = l.targetBits;
  l.target.stride = static_cast<std::ptrdiff_t>(targetStride);
  return nullptr;
}

// Copies the target bitmap out into the result's pixel block and record.
// Returns the failure's text, or null.
const char* copyOut(Load& l) {
  const int32_t width = l.working->width;
  l.pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(l.rows) * static_cast<size_t>(width) * 3));
  if (!l.pixels) return "Out of memory.";
  copyAndSwap(l.target, width, l.rows, l.pixels);
  l.image = static_cast<RgbImage*>(std::malloc(sizeof(RgbImage)));
  if (!l.image) return "Out of memory.";
  l.image->width = width;
  l.image->height = l.rows;
  l.image->pixels = l.pixels;
  return nullptr;
}

}  // namespace

RgbImage* loadBitmapImage(const char* fileName) {
  Load l;
  const bool opened = mapFile(fileName, l);
  const char* failure = nullptr;
  if (opened && !(failure = readHeaders(l)) && !(failure = buildWorkingHeader(l)) &&
      !(failure = convertPixels(l)))
    failure = copyOut(l);
  if (failure) {
    // The box has the loader's own words; whoever runs the show from a
    // terminal (or a page) also learns which file it was.
    std::fprintf(stderr, "%s: %s\n", fileName, failure);
    showBox(failure);  // while the file is still held, as it is read
  }

  // Release in reverse order of acquisition; an open failure is reported
  // only once everything is released.
  std::free(l.targetBits);
  std::free(l.working);
  if (l.view) munmap(const_cast<uint8_t*>(l.view), l.fileSize);
  if (l.fd >= 0) close(l.fd);
  if (opened && !failure) return l.image;
  std::free(l.image);
  std::free(l.pixels);
  if (!opened) {
    char text[256];
    std::snprintf(text, sizeof text, "Failed to open DIB file %s.\n", fileName ? fileName : "(null)");
    showBox(text);
  }
  return nullptr;
}
