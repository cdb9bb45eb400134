#include "pictures.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "outputs.h"

static_assert(kPngMaxSide == PNG_USER_WIDTH_MAX && kPngMaxSide == PNG_USER_HEIGHT_MAX,
              "kPngMaxSide is libpng's own limit");

namespace {

// Where libpng's bytes go, and what went wrong.
struct PngOutput {
  FILE* file;
  int failure;        // errno of the first failed write or flush, 0 if none
  char message[160];  // libpng's message when it gave up, "" if none
};

void pngWrite(png_structp png, png_bytep data, size_t length) {
  PngOutput* out = static_cast<PngOutput*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, out->file) != length) {
    out->failure = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

void pngFlush(png_structp png) {
  PngOutput* out = static_cast<PngOutput*>(png_get_io_ptr(png));
  if (std::fflush(out->file) != 0) {
    out->failure = errno != 0 ? errno : EIO;
    png_error(png, "flush failed");
  }
}

[[noreturn]] void pngFail(png_structp png, png_const_charp message) {
  PngOutput* out = static_cast<PngOutput*>(png_get_error_ptr(png));
  std::snprintf(out->message, sizeof out->message, "%s", message);
  png_longjmp(png, 1);
}

void pngWarn(png_structp, png_const_charp) {}

// Every libpng call that can fail, under one setjmp. libpng's errors jump
// back here through C frames only, and this frame holds no C++ object that
// a jump would skip.
bool encodePng(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height,
               const std::function<const uint8_t*(int64_t)>& row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (png_uint_32 y = 0; y < height; ++y) png_write_row(png, row(y));
  png_write_end(png, info);
  return true;
}

}  // namespace

bool writePngRows(const char* path, int64_t width, int64_t height,
                  const std::function<const uint8_t*(int64_t)>& row, std::string* error) {
  if (width < 1 || height < 1 || width > kPngMaxSide || height > kPngMaxSide) {
    *error = "a PNG is 1 to " + std::to_string(kPngMaxSide) + " pixels on each side, not " +
             std::to_string(width) + "x" + std::to_string(height);
    return false;
  }
  FILE* file = std::fopen(path, "wb");
  if (!file) {
    *error = std::strerror(errno);
    return false;
  }
  PngOutput out{file, 0, ""};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, pngFail, pngWarn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (png && info) {
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    ok = encodePng(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), row);
  }
  png_destroy_write_struct(&png, &info);
  if (!ok) {
    *error = out.failure != 0 ? std::strerror(out.failure)
             : out.message[0] ? std::string("the PNG encoder gave up: ") + out.message
                              : std::string("out of memory");
    std::fclose(file);
    return false;
  }
  return outputClose(file, error);
}

bool writePng(const char* path, const uint8_t* rgb, int width, int height, std::string* error) {
  const size_t stride = static_cast<size_t>(width) * 3;
  return writePngRows(
      path, width, height, [&](int64_t y) { return rgb + static_cast<size_t>(y) * stride; }, error);
}

namespace {

int64_t ceilDiv(int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); }

// The source pixels [*first, *last) whose centres x + 0.5 fall inside
// destination pixel d, that is in [d * src / dst, (d + 1) * src / dst); at
// least one pixel.
void footprint(int d, int src, int dst, int* first, int* last) {
  int a = static_cast<int>(ceilDiv(static_cast<int64_t>(2 * d) * src - dst, 2 * static_cast<int64_t>(dst)));
  int b =
      static_cast<int>(ceilDiv(static_cast<int64_t>(2 * d + 2) * src - dst, 2 * static_cast<int64_t>(dst)));
  a = std::clamp(a, 0, src - 1);
  b = std::clamp(b, a + 1, src);
  *first = a;
  *last = b;
}

}  // namespace

void resampleBox(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth, int dstHeight) {
  for (int dy = 0; dy < dstHeight; ++dy) {
    int y0 = 0;
    int y1 = 0;
    footprint(dy, srcHeight, dstHeight, &y0, &y1);
    for (int dx = 0; dx < dstWidth; ++dx) {
      int x0 = 0;
      int x1 = 0;
      footprint(dx, srcWidth, dstWidth, &x0, &x1);
      uint64_t sum[3] = {0, 0, 0};
      for (int y = y0; y < y1; ++y) {
        const uint8_t* p = src + (static_cast<size_t>(y) * srcWidth + x0) * 3;
        for (int x = x0; x < x1; ++x, p += 3) {
          sum[0] += p[0];
          sum[1] += p[1];
          sum[2] += p[2];
        }
      }
      const uint64_t count = static_cast<uint64_t>(y1 - y0) * static_cast<uint64_t>(x1 - x0);
      uint8_t* out = dst + (static_cast<size_t>(dy) * dstWidth + dx) * 3;
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
    }
  }
}

ContactSheet contactSheetMake(int columns, int thumbWidth, int frameWidth, int frameHeight) {
  const int64_t h = (static_cast<int64_t>(thumbWidth) * frameHeight + frameWidth / 2) / frameWidth;
  return ContactSheet{columns, thumbWidth, static_cast<int>(std::max<int64_t>(h, 1)), {}};
}

void contactSheetAdd(ContactSheet* sheet, const uint8_t* rgb, int frameWidth, int frameHeight) {
  std::vector<uint8_t> thumb(static_cast<size_t>(sheet->thumbWidth) * sheet->thumbHeight * 3);
  resampleBox(rgb, frameWidth, frameHeight, thumb.data(), sheet->thumbWidth, sheet->thumbHeight);
  sheet->thumbs.push_back(std::move(thumb));
}

void contactSheetSizeFor(const ContactSheet& sheet, int64_t count, int64_t* width, int64_t* height) {
  const int64_t columns = std::min<int64_t>(count, sheet.columns);
  const int64_t rows = count <= 0 ? 0 : (count + sheet.columns - 1) / sheet.columns;
  *width = kSheetGap + columns * (sheet.thumbWidth + kSheetGap);
  *height = kSheetGap + rows * (sheet.thumbHeight + kSheetGap);
}

void contactSheetSize(const ContactSheet& sheet, int64_t* width, int64_t* height) {
  contactSheetSizeFor(sheet, static_cast<int64_t>(sheet.thumbs.size()), width, height);
}

std::string contactSheetTooLarge(const ContactSheet& sheet, int64_t count) {
  int64_t width = 0;
  int64_t height = 0;
  contactSheetSizeFor(sheet, count, &width, &height);
  // Both at most 1e6 first, so the product cannot overflow.
  if (width <= kPngMaxSide && height <= kPngMaxSide && width * height <= kSheetMaxPixels) return "";
  return "it would be " + std::to_string(width) + "x" + std::to_string(height) +
         " pixels; a contact sheet may be at most " + std::to_string(kPngMaxSide) +
         " pixels on each side (the limit of libpng, the PNG encoder) and " +
         std::to_string(kSheetMaxPixels) +
         " pixels in all (16384x16384: the capture holds its thumbnails in memory)";
}

void contactSheetRow(const ContactSheet& sheet, int64_t y, uint8_t* out) {
  int64_t width = 0;
  int64_t height = 0;
  contactSheetSize(sheet, &width, &height);
  std::memset(out, kSheetBackground, static_cast<size_t>(width) * 3);
  const int64_t pitch = sheet.thumbHeight + kSheetGap;  // from one row of thumbnails to the next
  const int64_t row = (y - kSheetGap) / pitch;
  const int64_t inside = (y - kSheetGap) % pitch;
  if (y < kSheetGap || inside >= sheet.thumbHeight) return;  // a gap
  const size_t thumbRow = static_cast<size_t>(sheet.thumbWidth) * 3;
  for (int64_t column = 0; column < sheet.columns; ++column) {
    const size_t i = static_cast<size_t>(row * sheet.columns + column);
    if (i >= sheet.thumbs.size()) break;
    const int64_t left = kSheetGap + column * (sheet.thumbWidth + kSheetGap);
    std::memcpy(out + left * 3, sheet.thumbs[i].data() + static_cast<size_t>(inside) * thumbRow, thumbRow);
  }
}

std::vector<uint8_t> contactSheetCompose(const ContactSheet& sheet) {
  int64_t width = 0;
  int64_t height = 0;
  contactSheetSize(sheet, &width, &height);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  std::vector<uint8_t> image(rowBytes * static_cast<size_t>(height));
  for (int64_t y = 0; y < height; ++y)
    contactSheetRow(sheet, y, image.data() + static_cast<size_t>(y) * rowBytes);
  return image;
}

bool contactSheetWrite(const ContactSheet& sheet, const char* path, std::string* error) {
  if (sheet.thumbs.empty()) {
    *error = "no thumbnail to lay out";
    return false;
  }
  const std::string tooLarge = contactSheetTooLarge(sheet, static_cast<int64_t>(sheet.thumbs.size()));
  if (!tooLarge.empty()) {
    *error = tooLarge;
    return false;
  }
  int64_t width = 0;
  int64_t height = 0;
  contactSheetSize(sheet, &width, &height);
  std::vector<uint8_t> line(static_cast<size_t>(width) * 3);
  return writePngRows(
      path, width, height,
      [&](int64_t y) {
        contactSheetRow(sheet, y, line.data());
        return static_cast<const uint8_t*>(line.data());
      },
      error);
}
