// quendaloop_paint: paints the show's five pictures and writes them as BMP
// files into the folder given on the command line (the repository's Data/).
//
//   quendaloop_paint DIR
//
// Each picture uses a different BMP layout, so the show's own assets exercise
// the loader: 24-bit with the 40-byte header, 24-bit with the 12-byte core
// header, 8-bit with a palette, and 8-bit run-length encoded.
#include <cstdio>
#include <string>

#include "bmp_write.h"
#include "pictures.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  auto path = [&](const char* name) { return dir + "/" + name; };
  bool ok = true;
  ok = writeBmp24(path("bkgrnd2.bmp").c_str(), paintBackdrop(512)) && ok;
  ok = writeBmp8(path("creds.bmp").c_str(), quantize(paintCredits(512), 256), true) && ok;
  ok = writeBmpCore24(path("crate.bmp").c_str(), paintCrate(256)) && ok;
  ok = writeBmp24(path("logotyp.bmp").c_str(), paintLogo(512)) && ok;
  ok = writeBmp8(path("grusk4.bmp").c_str(), quantize(paintGravel(256), 256), false) && ok;
  if (!ok) {
    std::fprintf(stderr, "%s: could not write the pictures into %s\n", argv[0], dir.c_str());
    return 1;
  }
  return 0;
}
