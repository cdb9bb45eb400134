#include "pictures.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cstring>

bool writePng(const char* path, const uint8_t* rgb, int width, int height) {
  return stbi_write_png(path, width, height, 3, rgb, width * 3) != 0;
}

namespace {

int64_t ceilDiv(int64_t a, int64_t b) { return a >= 0 ? (a + b - 1) / b : -((-a) / b); }

// The source pixels [*first, *last) whose centres x + 0.5 fall inside
// destination pixel d, that is in [d * src / dst, (d + 1) * src / dst); at
// least one pixel.
void footprint(int d, int src, int dst, int* first, int* last) {
  int a = static_cast<int>(ceilDiv(static_cast<int64_t>(2 * d) * src - dst, 2 * static_cast<int64_t>(dst)));
  int b = static_cast<int>(ceilDiv(static_cast<int64_t>(2 * d + 2) * src - dst, 2 * static_cast<int64_t>(dst)));
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

void contactSheetSize(const ContactSheet& sheet, int* width, int* height) {
  const int count = static_cast<int>(sheet.thumbs.size());
  const int columns = std::min(count, sheet.columns);
  const int rows = count == 0 ? 0 : (count + sheet.columns - 1) / sheet.columns;
  *width = kSheetGap + columns * (sheet.thumbWidth + kSheetGap);
  *height = kSheetGap + rows * (sheet.thumbHeight + kSheetGap);
}

std::vector<uint8_t> contactSheetCompose(const ContactSheet& sheet) {
  int width = 0;
  int height = 0;
  contactSheetSize(sheet, &width, &height);
  std::vector<uint8_t> image(static_cast<size_t>(width) * height * 3, kSheetBackground);
  const size_t thumbRow = static_cast<size_t>(sheet.thumbWidth) * 3;
  for (size_t i = 0; i < sheet.thumbs.size(); ++i) {
    const int column = static_cast<int>(i) % sheet.columns;
    const int row = static_cast<int>(i) / sheet.columns;
    const int left = kSheetGap + column * (sheet.thumbWidth + kSheetGap);
    const int top = kSheetGap + row * (sheet.thumbHeight + kSheetGap);
    for (int y = 0; y < sheet.thumbHeight; ++y)
      std::memcpy(image.data() + (static_cast<size_t>(top + y) * width + left) * 3,
                  sheet.thumbs[i].data() + y * thumbRow, thumbRow);
  }
  return image;
}

bool contactSheetWrite(const ContactSheet& sheet, const char* path) {
  if (sheet.thumbs.empty()) return false;
  int width = 0;
  int height = 0;
  contactSheetSize(sheet, &width, &height);
  const std::vector<uint8_t> image = contactSheetCompose(sheet);
  return writePng(path, image.data(), width, height);
}
