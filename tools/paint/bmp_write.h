// Writers for the BMP layouts the show's pictures are stored in. Each returns
// false (and writes nothing usable) when the file cannot be written.
#pragma once

#include "canvas.h"

// 24-bit BMP with a 40-byte info header.
bool writeBmp24(const char* path, const Canvas& c);
// 24-bit BMP with the 12-byte core header.
bool writeBmpCore24(const char* path, const Canvas& c);
// 8-bit BMP with a 40-byte info header and the image's palette; the pixel
// rows are run-length encoded (RLE8) when `rle` is true.
bool writeBmp8(const char* path, const IndexedImage& img, bool rle);
