// Still pictures of the capture: PNG files, shrunk thumbnails and the
// contact sheet that lays one thumbnail per second of show out on a grid.
// Images are RGB bytes, top row first, rows tightly packed. Main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes an RGB image as a PNG file. False when the file cannot be written.
bool writePng(const char* path, const uint8_t* rgb, int width, int height);

// Shrinks (or stretches) src into dst by averaging, for each destination
// pixel, the source pixels whose centres fall inside its footprint (at least
// the nearest one). dst holds dstWidth x dstHeight x 3 bytes.
void resampleBox(const uint8_t* src, int srcWidth, int srcHeight, uint8_t* dst, int dstWidth, int dstHeight);

struct ContactSheet {
  int columns;      // thumbnails per row
  int thumbWidth;   // pixels
  int thumbHeight;  // pixels
  std::vector<std::vector<uint8_t>> thumbs;  // in order of addition
};

constexpr int kSheetGap = 4;                  // pixels around and between thumbnails
constexpr uint8_t kSheetBackground = 24;      // grey level of the gaps

// An empty sheet whose thumbnails are thumbWidth wide and keep the aspect of
// frames of frameWidth x frameHeight (at least 1 pixel high).
ContactSheet contactSheetMake(int columns, int thumbWidth, int frameWidth, int frameHeight);

// Adds a thumbnail of the frame (frameWidth x frameHeight RGB).
void contactSheetAdd(ContactSheet* sheet, const uint8_t* rgb, int frameWidth, int frameHeight);

// The sheet's size in pixels for its current thumbnails: as many columns as
// are used (up to `columns`), rows as needed, kSheetGap around and between.
void contactSheetSize(const ContactSheet& sheet, int* width, int* height);

// The sheet as one RGB image (contactSheetSize).
std::vector<uint8_t> contactSheetCompose(const ContactSheet& sheet);

// Composes the sheet and writes it as a PNG. False when it has no thumbnail
// or the file cannot be written.
bool contactSheetWrite(const ContactSheet& sheet, const char* path);
