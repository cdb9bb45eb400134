// libFuzzer over the BMP loader: each input is written to an in-memory file
// and loaded through its path, the way the show loads its pictures. A
// decoded picture must have the announced size; a refused one must show
// exactly one of the loader's messages (this program stands in for the
// window system's boxes: they are kept, not shown).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bmp_loader.h"
#include "platform.h"

namespace {

struct Box {
  std::string text;
  std::string caption;
  unsigned style;
};
std::vector<Box> boxes;  // the boxes of the current input

uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Pictures announcing more than this many pixels are skipped: the loader
// accepts them, but their blocks would take the fuzzer's memory for nothing.
constexpr uint64_t kMaxFuzzPixels = uint64_t{1} << 22;

bool tooBig(const uint8_t* data, size_t size) {
  size_t header = size >= 2 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
  if (size < header + 12) return false;
  const uint8_t* h = data + header;
  uint64_t w, rows;
  if (read32(h) == 12) {
    w = h[4] | h[5] << 8;
    rows = h[6] | h[7] << 8;
  } else {
    int64_t sw = static_cast<int32_t>(read32(h + 4)), sh = static_cast<int32_t>(read32(h + 8));
    w = static_cast<uint64_t>(sw < 0 ? 0 : sw);
    rows = static_cast<uint64_t>(sh < 0 ? -sh : sh);
  }
  return w * rows > kMaxFuzzPixels;
}

// Aborts unless the box is one of the loader's own.
void checkBox(const Box& box) {
  static const char* const known[] = {"Unknown DIB file format.", "Image file conversion error.",
                                      "Truncated DIB file.",      "Invalid DIB image size.",
                                      "DIB image too large.",     "Out of memory."};
  bool ok = box.text.rfind("Failed to open DIB file ", 0) == 0;
  for (const char* k : known) ok = ok || box.text == k;
  if (!ok || box.caption != "Error" || box.style != MB_OK) {
    std::fprintf(stderr, "unexpected box: %s / %s / %u\n", box.caption.c_str(), box.text.c_str(), box.style);
    std::abort();
  }
}

}  // namespace

int platformMessageBox(PlatformWindow* owner, const char* text, const char* caption, unsigned style,
                       int fallbackAnswer) {
  boxes.push_back({text ? text : "", caption ? caption : "", style});
  return (style & 0x0F) == MB_YESNO ? fallbackAnswer : IDOK;
}

PlatformWindow* platformFocusWindow() { return nullptr; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (tooBig(data, size)) return 0;
  int fd = memfd_create("fuzz_bmp", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd);
  boxes.clear();
  RgbImage* image = loadBitmapImage(path.c_str());
  for (const Box& box : boxes) checkBox(box);
  if (image) {
    if (!boxes.empty() || image->width <= 0 || image->height <= 0) std::abort();
    // Touch every byte of the block so a short block shows up under ASan.
    size_t bytes = static_cast<size_t>(image->width) * image->height * 3;
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < bytes; i += 61) sink = sink ^ image->pixels[i];
    sink = sink ^ image->pixels[bytes - 1];
    std::free(image->pixels);
    std::free(image);
  } else if (boxes.size() != 1) {
    std::abort();
  }
  close(fd);
  return 0;
}
