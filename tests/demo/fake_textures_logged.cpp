// Texture set stand-in for the logged tests: fixed names 11 to 15 in slots
// 0 to 4, slot 5 left at 0, no GL involved.
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
  for (int slot = 0; slot < 5; ++slot) textures[slot] = GLuint(11 + slot);
  return true;
}

RgbImage* loadImageIfPresent(const char*) { return nullptr; }
