#include "texture_set.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

GLuint textures[6] = {0, 0, 0, 0, 0, 0};

const char* const kTextureFiles[5] = {"Data/bkgrnd2.bmp", "Data/creds.bmp", "Data/crate.bmp",
                                      "Data/logotyp.bmp", "Data/grusk4.bmp"};

RgbImage* loadImageIfPresent(const char* fileName) {
  if (!fileName) return nullptr;
  // A picture that cannot be opened fails with no box of its own (the caller
  // shows one), and its reason on standard error for whoever runs the show
  // from a terminal. So does anything but a regular file: a FIFO or a device
  // could block the show for good, and the open itself must not wait for a
  // writer.
  const int probe = open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (probe < 0) {
    std::fprintf(stderr, "%s: %s\n", fileName, std::strerror(errno));
    return nullptr;
  }
  struct stat st;
  const bool regular = fstat(probe, &st) == 0 && S_ISREG(st.st_mode);
  close(probe);
  if (!regular) {
    std::fprintf(stderr, "%s: not a regular file\n", fileName);
    return nullptr;
  }
  return loadBitmapImage(fileName);
}

bool loadTextureSet() {
  bool result = false;
  RgbImage* images[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
  bool all = true;
  for (int i = 0; i < 5 && all; ++i) {
    images[i] = loadImageIfPresent(kTextureFiles[i]);
    all = images[i] != nullptr;
  }
  if (all) {
    result = true;
    glGenTextures(5, textures);
    // Rows of the pictures are tightly packed, whatever their width.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < 5; ++i) {
      glBindTexture(GL_TEXTURE_2D, textures[i]);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexImage2D(GL_TEXTURE_2D, 0, 3, images[i]->width, images[i]->height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                   images[i]->pixels);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  }
  for (RgbImage* image : images) {
    if (!image) continue;
    std::free(image->pixels);
    std::free(image);
  }
  return result;
}
