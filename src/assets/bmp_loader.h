// The show's BMP loader: reads a Windows bitmap (a BMP file with its 14-byte
// file header, or a bare DIB) into tightly packed 8-bit R, G, B rows, bottom
// row first, ready for a GL_RGB / GL_UNSIGNED_BYTE texture upload.
//
// Accepted: 12- and 40-byte DIB headers; 1, 4 and 8 bits through the colour
// table (uncompressed, and RLE8 / RLE4 run-length data); 16-bit 5-5-5,
// 24-bit and 32-bit; 16- and 32-bit images with BI_BITFIELDS masks;
// top-down images (returned bottom-up with a positive height).
//
// Main thread only: failures are shown in a modal message box (caption
// "Error", one OK button) owned by the window that has the focus.
#pragma once

#include <cstdint>

// A decoded picture. Both the record and its pixel block come from malloc;
// the caller frees the block first, then the record.
struct RgbImage {
  int32_t width;    // pixels
  int32_t height;   // pixels, always positive (row 0 is the bottom row)
  uint8_t* pixels;  // height x width x 3 bytes: R, G, B, rows without padding
};

// Reads the bitmap file `fileName` (an 8-bit path). Returns a new image, or
// null after a message box has said why: "Failed to open DIB file NAME.\n",
// "Unknown DIB file format.", "Image file conversion error.",
// "Truncated DIB file.", "Invalid DIB image size.", "DIB image too large."
// or "Out of memory.". Exactly one box per failed call; nothing stays open.
RgbImage* loadBitmapImage(const char* fileName);

// The number of colour-table entries that the DIB header at `header`
// announces: for the 12-byte header 2, 16 or 256 by bit count 1, 4 or 8
// (else 0); for the 40-byte header its colours-used field (low 16 bits)
// when that is not 0, else the same rule by bit count. Reads at most the
// first 40 bytes (12 for a 12-byte header).
uint16_t dibColorCount(const uint8_t* header);
