// Texture set stand-in for the GL tests: five 4 x 4 textures of one plain
// colour each (slot 0 red, 1 green, 2 blue, 3 yellow, 4 cyan), made in the
// current context with linear filtering.
#include <cstdint>

#include "demo_fakes.h"
#include "texture_set.h"

GLuint textures[6];

namespace {
bool nextResult = true;
}

void setTextureSetResult(bool ok) { nextResult = ok; }

bool loadTextureSet() {
  callLog().push_back("loadTextureSet");
  if (!nextResult) return false;
  static const uint8_t colours[5][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}};
  glGenTextures(5, textures);
  for (int slot = 0; slot < 5; ++slot) {
    uint8_t pixels[4 * 4 * 3];
    for (int p = 0; p < 16; ++p)
      for (int c = 0; c < 3; ++c) pixels[p * 3 + c] = colours[slot][c];
    glBindTexture(GL_TEXTURE_2D, textures[slot]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
  }
  return true;
}

RgbImage* loadImageIfPresent(const char*) { return nullptr; }
