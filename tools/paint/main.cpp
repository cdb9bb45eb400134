// quendaloop_paint: paints the show's five pictures and writes them as BMP
// files into the folder given on the command line (the repository's Data/).
//
//   quendaloop_paint DIR
//   quendaloop_paint --icons DIR    the program's icon as DIR/quendaloop-SIZE.png
//   quendaloop_paint --ico FILE     the same sizes in one Windows icon file
//
// Each picture uses a different BMP layout, so the show's own assets exercise
// the loader: 24-bit with the 40-byte header, 24-bit with the 12-byte core
// header, 8-bit with a palette, and 8-bit run-length encoded.
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include <stb_image_write.h>

#include "bmp_write.h"
#include "byte_fields.h"
#include "pictures.h"

namespace {

const int kIconSizes[] = {16, 32, 48, 64, 128, 256};  // the usual hicolor sizes
const int kIconOversampling = 4;                      // painted at 4x, then averaged down

// Paints the icon at `size` pixels as RGBA rows, top row first.
std::vector<uint8_t> paintIconRgba(int size) {
  const int big = size * kIconOversampling;
  std::vector<float> alpha;
  const Canvas c = paintIcon(big, &alpha);
  std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
  const float cells = kIconOversampling * kIconOversampling;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      // Coverage-weighted mean, so colour outside the tile does not bleed in.
      float r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kIconOversampling; ++sy)
        for (int sx = 0; sx < kIconOversampling; ++sx) {
          const size_t i = static_cast<size_t>(y * kIconOversampling + sy) * big + x * kIconOversampling + sx;
          const Rgb& p = c.pixels[i];
          r += clamp01(p.r) * alpha[i];
          g += clamp01(p.g) * alpha[i];
          b += clamp01(p.b) * alpha[i];
          a += alpha[i];
        }
      uint8_t* out = &rgba[(static_cast<size_t>(y) * size + x) * 4];
      const auto byte = [](float v) { return static_cast<uint8_t>(clamp01(v) * 255 + 0.5f); };
      out[0] = a > 0 ? byte(r / a) : 0;
      out[1] = a > 0 ? byte(g / a) : 0;
      out[2] = a > 0 ? byte(b / a) : 0;
      out[3] = byte(a / cells);
    }
  return rgba;
}

// Paints the icon at `size` pixels and writes it as an RGBA PNG.
bool writeIcon(const std::string& path, int size) {
  const std::vector<uint8_t> rgba = paintIconRgba(size);
  return stbi_write_png(path.c_str(), size, size, 4, rgba.data(), size * 4) != 0;
}

// Writes every icon size into one .ico file, each image stored as a PNG
// (which Windows reads since Vista): the directory of 16-byte entries, then
// the images. A size of 256 is written as 0 in the entry's byte.
bool writeIco(const char* program, const char* path) {
  const int count = static_cast<int>(std::size(kIconSizes));
  std::vector<uint8_t> file;
  putLe16(file, 0);  // reserved
  putLe16(file, 1);  // an icon, not a cursor
  putLe16(file, count);
  std::vector<uint8_t> images;
  uint32_t offset = 6 + 16 * count;
  for (int size : kIconSizes) {
    const std::vector<uint8_t> rgba = paintIconRgba(size);
    std::vector<uint8_t> png;
    const auto append = [](void* context, void* data, int length) {
      auto* bytes = static_cast<uint8_t*>(data);
      static_cast<std::vector<uint8_t>*>(context)->insert(static_cast<std::vector<uint8_t>*>(context)->end(),
                                                          bytes, bytes + length);
    };
    if (!stbi_write_png_to_func(append, &png, size, size, 4, rgba.data(), size * 4)) {
      std::fprintf(stderr, "%s: could not encode the %d-pixel icon\n", program, size);
      return false;
    }
    file.push_back(static_cast<uint8_t>(size & 0xFF));
    file.push_back(static_cast<uint8_t>(size & 0xFF));
    file.push_back(0);  // no palette
    file.push_back(0);  // reserved
    putLe16(file, 1);   // planes
    putLe16(file, 32);  // bits per pixel
    putLe32(file, static_cast<uint32_t>(png.size()));
    putLe32(file, offset);
    offset += static_cast<uint32_t>(png.size());
    images.insert(images.end(), png.begin(), png.end());
  }
  file.insert(file.end(), images.begin(), images.end());
  if (writeFileBytes(path, file)) return true;
  std::fprintf(stderr, "%s: could not write %s\n", program, path);
  return false;
}

int writeIcons(const char* program, const std::string& dir) {
  for (int size : kIconSizes) {
    const std::string path = dir + "/quendaloop-" + std::to_string(size) + ".png";
    if (!writeIcon(path, size)) {
      std::fprintf(stderr, "%s: could not write %s\n", program, path.c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--icons") return writeIcons(argv[0], argv[2]);
  if (argc == 3 && std::string(argv[1]) == "--ico") return writeIco(argv[0], argv[2]) ? 0 : 1;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n       %s --icons OUTPUT_DIR\n       %s --ico FILE\n",
                 argv[0], argv[0], argv[0]);
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
