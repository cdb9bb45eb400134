// A floating-point RGB canvas and the small painting helpers the picture
// generator builds its images from: blending, tileable noise and colour
// quantisation to a 256-entry palette.
#pragma once

#include <cstdint>
#include <vector>

struct Rgb {
  float r, g, b;
};

// width x height pixels, top row first; channels 0..1 (values outside are
// clamped when the canvas is written out).
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
};

Canvas makeCanvas(int width, int height, Rgb fill);
Rgb& at(Canvas& c, int x, int y);

Rgb mixRgb(Rgb a, Rgb b, float t);
Rgb scaleRgb(Rgb a, float s);
Rgb addRgb(Rgb a, Rgb b);
float clamp01(float v);
float smoothStep(float e0, float e1, float v);

// Blends `colour` over the pixel at (x, y) with coverage `alpha` (0..1).
void blendPixel(Canvas& c, int x, int y, Rgb colour, float alpha);

// Value noise on a lattice that repeats every `period` cells in x and y, so
// noise over [0, period) tiles seamlessly. Result in 0..1.
float tileNoise(float x, float y, int period, uint32_t seed);
// Sum of `octaves` tileNoise layers, each of twice the frequency and half the
// weight of the one before; repeats every `period` units. Result in 0..1.
float tileFbm(float x, float y, int period, int octaves, uint32_t seed);
// A deterministic hash of a lattice point, 0..1.
float hash01(int x, int y, uint32_t seed);

// 8-bit pixels through a palette of up to 256 colours, top row first.
struct IndexedImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> indices;
  std::vector<Rgb> palette;
};

// Median-cut quantisation of the canvas to at most `colours` entries, with
// nearest-colour mapping (no dithering, so flat areas stay flat and pack
// well with run-length encoding).
IndexedImage quantize(const Canvas& c, int colours);
