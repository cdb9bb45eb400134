// The show's five pictures as OpenGL textures.
//
// Slots of `textures`: 0 "Data/bkgrnd2.bmp", 1 "Data/creds.bmp",
// 2 "Data/crate.bmp", 3 "Data/logotyp.bmp", 4 "Data/grusk4.bmp" (paths
// relative to the working directory); slot 5 is never written and stays 0,
// the default texture. Main thread only, with the GL context current.
#pragma once

#include <GL/gl.h>

#include "bmp_loader.h"

// Texture names in slots 0 to 4 once loadTextureSet has succeeded in the
// current context; all 0 at start.
extern GLuint textures[6];

// The files of slots 0 to 4, relative to the working directory.
extern const char* const kTextureFiles[5];

// Reads `fileName` with loadBitmapImage if the file can be opened for
// reading; a null name or a file that cannot be opened gives null with no
// message box. The caller frees the pixel block, then the record.
RgbImage* loadImageIfPresent(const char* fileName);

// Loads the five pictures in slot order and, only when all five loaded, makes
// five textures (linear filters, no mipmaps) in slots 0 to 4. Stops at the
// first picture that does not load. Returns false then, with the table
// unchanged. The pictures are freed before it returns either way.
bool loadTextureSet();
