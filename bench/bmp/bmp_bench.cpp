// Decoding speed of the BMP loader, printed as MB/s of R, G, B output:
// a 4096 x 4096 24-bit picture and a 4096 x 4096 RLE8 picture, both read
// from in-memory files (memfd), beside stb_image decoding the same 24-bit
// file from memory and a plain memcpy of its pixel bytes, into a new block
// (which pays for fresh pages, as every decoder's result does) and into a
// block already in use. Then each of the show's own five pictures, read from
// the repository's Data folder.
//
//   bmp_bench [rounds]
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bmp_loader.h"
#include "bmp_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kSide = 4096;

// A BMP file of kSide x kSide with a 40-byte header, `palette` as its colour
// table and `pixels` as stored.
Bytes bmpFile(int bits, uint32_t compression, std::vector<uint32_t> palette, Bytes pixels) {
  DibSpec spec;
  spec.width = spec.height = kSide;
  spec.bits = static_cast<uint16_t>(bits);
  spec.compression = compression;
  spec.imageSize = static_cast<uint32_t>(pixels.size());
  spec.colorsUsed = static_cast<uint32_t>(palette.size());
  spec.palette = std::move(palette);
  spec.pixels = std::move(pixels);
  return buildDib(spec);
}

Bytes picture24() {
  Bytes pixels(static_cast<size_t>(kSide) * kSide * 3);
  uint32_t state = 12345;
  for (auto& p : pixels) {
    state = state * 1664525u + 1013904223u;
    p = static_cast<uint8_t>(state >> 24);
  }
  return bmpFile(24, 0, {}, std::move(pixels));
}

// Rows of runs 1 to 40 long, with every fourth stretch stored as an
// absolute run.
Bytes pictureRle8() {
  Bytes data;
  uint32_t state = 777;
  auto next = [&](uint32_t n) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % n;
  };
  for (int y = 0; y < kSide; ++y) {
    int x = 0;
    while (x < kSide) {
      int len = std::min<int>(1 + static_cast<int>(next(40)), kSide - x);
      if (len >= 3 && next(4) == 0) {
        data.push_back(0);
        data.push_back(static_cast<uint8_t>(len));
        for (int i = 0; i < len; ++i) data.push_back(static_cast<uint8_t>(next(256)));
        if (len & 1) data.push_back(0);
      } else {
        data.push_back(static_cast<uint8_t>(len));
        data.push_back(static_cast<uint8_t>(next(256)));
      }
      x += len;
    }
    data.push_back(0);
    data.push_back(y == kSide - 1 ? 1 : 0);
  }
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 256; ++i) palette.push_back(((i * 7) & 0xff) << 16 | (255 - i) << 8 | i);
  return bmpFile(8, 1, std::move(palette), std::move(data));
}

// An in-memory file holding `bytes`; returns its path under /proc/self/fd.
std::string memoryFile(const char* name, const Bytes& bytes, int& fd) {
  fd = memfd_create(name, MFD_CLOEXEC);
  if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    std::perror("memfd");
    std::exit(1);
  }
  return "/proc/self/fd/" + std::to_string(fd);
}

template <typename F>
double seconds(F run) {
  auto t0 = std::chrono::steady_clock::now();
  run();
  auto t1 = std::chrono::steady_clock::now();
  return std::chrono::duration<double>(t1 - t0).count();
}

void report(const char* what, double seconds, double bytes) {
  std::printf("%-34s %8.2f ms  %8.0f MB/s\n", what, seconds * 1e3, bytes / seconds / 1e6);
}

void freeImage(RgbImage* image) {
  if (!image) {
    std::fprintf(stderr, "decode failed\n");
    std::exit(1);
  }
  std::free(image->pixels);
  std::free(image);
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const double outBytes = static_cast<double>(kSide) * kSide * 3;
  int fd24 = -1, fdRle = -1;
  Bytes file24 = picture24();
  Bytes fileRle = pictureRle8();
  std::string path24 = memoryFile("bmp24", file24, fd24);
  std::string pathRle = memoryFile("bmprle8", fileRle, fdRle);

  std::printf("%d x %d pictures, best of %d rounds, MB/s of RGB output (%.1f MB)\n", kSide, kSide, repeats,
              outBytes / 1e6);
  std::printf("(each round runs every case once, so a busy machine slows all of them alike)\n");
  std::vector<uint8_t> reused(static_cast<size_t>(outBytes), 1);
  enum { kLoader24, kLoaderRle, kStb, kCopyNew, kCopyReused, kCases };
  double best[kCases];
  std::fill(best, best + kCases, 1e9);
  for (int round = 0; round < repeats; ++round) {
    double t[kCases];
    t[kLoader24] = seconds([&] { freeImage(loadBitmapImage(path24.c_str())); });
    t[kLoaderRle] = seconds([&] { freeImage(loadBitmapImage(pathRle.c_str())); });
    t[kStb] = seconds([&] {
      int w = 0, h = 0, n = 0;
      stbi_uc* p = stbi_load_from_memory(file24.data(), static_cast<int>(file24.size()), &w, &h, &n, 3);
      if (!p) std::exit(1);
      stbi_image_free(p);
    });
    t[kCopyNew] = seconds([&] {
      uint8_t* out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(outBytes)));
      std::memcpy(out, file24.data() + 54, static_cast<size_t>(outBytes));
      __asm__ volatile("" : : "r"(out) : "memory");
      std::free(out);
    });
    t[kCopyReused] = seconds([&] {
      std::memcpy(reused.data(), file24.data() + 54, reused.size());
      __asm__ volatile("" : : "r"(reused.data()) : "memory");
    });
    for (int c = 0; c < kCases; ++c) best[c] = std::min(best[c], t[c]);
  }
  report("loader, 24-bit", best[kLoader24], outBytes);
  report("loader, 8-bit RLE8", best[kLoaderRle], outBytes);
  std::printf("  (RLE8 file: %.1f MB)\n", fileRle.size() / 1e6);
  report("stb_image, 24-bit from memory", best[kStb], outBytes);
  report("memcpy into a new block", best[kCopyNew], outBytes);
  report("memcpy into a reused block", best[kCopyReused], outBytes);
  std::printf("loader 24-bit vs stb_image: %.1fx; vs memcpy into a new block: %.2fx\n",
              best[kStb] / best[kLoader24], best[kCopyNew] / best[kLoader24]);
  close(fd24);
  close(fdRle);

  // The show's own pictures: small enough that the page cache holds them and
  // the per-picture costs (mapping, headers, blocks) weigh more.
  std::printf("\nthe show's pictures, best of %d rounds of 20 loads each\n", repeats);
  const char* names[] = {"bkgrnd2", "creds", "crate", "logotyp", "grusk4"};
  double totalBytes = 0, totalSeconds = 0;
  for (const char* name : names) {
    const std::string path = std::string(QUENDALOOP_DATA_DIR) + "/Data/" + name + ".bmp";
    RgbImage* probe = loadBitmapImage(path.c_str());
    if (!probe) return 1;
    const double bytes = 3.0 * probe->width * probe->height;
    freeImage(probe);
    double bestLoad = 1e9;
    for (int round = 0; round < repeats; ++round)
      bestLoad = std::min(bestLoad, seconds([&] {
                                      for (int i = 0; i < 20; ++i) freeImage(loadBitmapImage(path.c_str()));
                                    }) / 20);
    report(name, bestLoad, bytes);
    totalBytes += bytes;
    totalSeconds += bestLoad;
  }
  report("all five", totalSeconds, totalBytes);
  return 0;
}
