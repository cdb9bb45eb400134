#include "show_context.h"

#include "offscreen_gl.h"
#include "resize_scene.h"

bool openShowContext(int width, int height) {
  if (!offscreenGlOpen(width, height)) return false;
  resizeScene(width, height);  // the show window's own viewport and projection
  return true;
}

std::vector<uint8_t> readShowFrame(int width, int height) {
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
  offscreenGlRead(rgb.data());
  return rgb;
}

void closeShowContext() { offscreenGlClose(); }
