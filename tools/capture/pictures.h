// Still pictures of the capture: PNG files, shrunk thumbnails and the
// contact sheet that lays one thumbnail per second of show out on a grid.
// Images are RGB bytes, top row first, rows tightly packed. Main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The longest side of a PNG the capture writes: the limit libpng, its PNG
// encoder, keeps to (PNG_USER_WIDTH_MAX and PNG_USER_HEIGHT_MAX).
constexpr int64_t kPngMaxSide = 1000000;

// Writes an RGB image as a PNG file through libpng, every write, flush and
// the close checked. False, with the reason in `error` (strerror, or
// libpng's own message), when the file could not be written whole.
bool writePng(const char* path, const uint8_t* rgb, int width, int height, std::string* error);

// Like writePng for an image given row by row: row(y) returns the width * 3
// bytes of row y, top row first, for y = 0 .. height - 1 in order, and each
// row is needed only until the next is asked for.
bool writePngRows(const char* path, int64_t width, int64_t height,
                  const std::function<const uint8_t*(int64_t y)>& row, std::string* error);

// Shrinks (or stretches) src into dst by averaging, for each destination
// pixel, the source pixels whose centres fall inside its footprint (at least
// the nearest one). dst holds dstWidth x dstHeight x 3 bytes.
void resampleBox(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth, int dstHeight);

struct ContactSheet {
  int columns;                               // thumbnails per row
  int thumbWidth;                            // pixels
  int thumbHeight;                           // pixels
  std::vector<std::vector<uint8_t>> thumbs;  // in order of addition
};

constexpr int kSheetGap = 4;              // pixels around and between thumbnails
constexpr uint8_t kSheetBackground = 24;  // grey level of the gaps
// The most pixels a contact sheet may have, as many as a 16384 x 16384
// frame: its thumbnails are held in memory (3 bytes a pixel, 768 MiB).
constexpr int64_t kSheetMaxPixels = int64_t{16384} * 16384;

// An empty sheet whose thumbnails are thumbWidth wide and keep the aspect of
// frames of frameWidth x frameHeight (at least 1 pixel high).
ContactSheet contactSheetMake(int columns, int thumbWidth, int frameWidth, int frameHeight);

// Adds a thumbnail of the frame (frameWidth x frameHeight RGB).
void contactSheetAdd(ContactSheet* sheet, const uint8_t* rgb, int frameWidth, int frameHeight);

// The sheet's size in pixels for `count` thumbnails: as many columns as
// are used (up to `columns`), rows as needed, kSheetGap around and between.
void contactSheetSizeFor(const ContactSheet& sheet, int64_t count, int64_t* width, int64_t* height);

// The sheet's size in pixels for its current thumbnails.
void contactSheetSize(const ContactSheet& sheet, int64_t* width, int64_t* height);

// "" when a sheet of `count` thumbnails stays within kPngMaxSide on each
// side and kSheetMaxPixels in all; otherwise its size and the limits, as
// the end of a sentence ("it would be 4104x349192 pixels; ...").
std::string contactSheetTooLarge(const ContactSheet& sheet, int64_t count);

// Row y of the sheet (contactSheetSize) as RGB bytes into `out`.
void contactSheetRow(const ContactSheet& sheet, int64_t y, uint8_t* out);

// The sheet as one RGB image (contactSheetSize).
std::vector<uint8_t> contactSheetCompose(const ContactSheet& sheet);

// Writes the sheet as a PNG, row by row (no whole image in memory). False,
// with the reason in `error`, when it has no thumbnail, is larger than the
// limits above or the file cannot be written whole.
bool contactSheetWrite(const ContactSheet& sheet, const char* path, std::string* error);
