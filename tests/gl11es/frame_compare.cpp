// Compares two folders of captured frames (frame-NNNNNN.png, the same size)
// frame by frame: the PSNR of each pair as captured and after a 3x3 box blur
// of both, which keeps a line pixel moved by one from counting as a fault.
//
//   frame_compare REFERENCE_DIR OTHER_DIR FRAME_LOG MIN_BLURRED_DB
//
// FRAME_LOG is the capture's --frame-log of the reference, which names the
// scene of each frame, or - for pictures that are not the show's frames
// (the scene is then -1). Prints one line per frame and a summary; exits 1 when
// a frame's blurred PSNR is under MIN_BLURRED_DB or a frame is missing or
// unreadable.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kIdenticalDb = 99.0;  // reported for frames without a difference

struct Image {
  int width = 0, height = 0;
  std::vector<float> rgb;  // width * height * 3, 0..255
};

bool readPng(const std::string& path, Image* image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) return false;
  image->width = int(png.width);
  image->height = int(png.height);
  image->rgb.assign(bytes.begin(), bytes.end());
  return true;
}

// The mean of each pixel's 3x3 neighbourhood, the edges repeated outwards:
// the mean of three across, then of three of those down.
Image boxBlur(const Image& in) {
  auto at = [&](const Image& image, int x, int y, int c) -> float {
    x = std::clamp(x, 0, image.width - 1);
    y = std::clamp(y, 0, image.height - 1);
    return image.rgb[(size_t(y) * image.width + x) * 3 + c];
  };
  Image across = in, out = in;
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x)
      for (int c = 0; c < 3; ++c)
        across.rgb[(size_t(y) * in.width + x) * 3 + c] =
            at(in, x - 1, y, c) + at(in, x, y, c) + at(in, x + 1, y, c);
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x)
      for (int c = 0; c < 3; ++c)
        out.rgb[(size_t(y) * in.width + x) * 3 + c] =
            (at(across, x, y - 1, c) + at(across, x, y, c) + at(across, x, y + 1, c)) / 9;
  return out;
}

double psnr(const Image& a, const Image& b) {
  double squares = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    const double d = double(a.rgb[i]) - double(b.rgb[i]);
    squares += d * d;
  }
  const double mse = squares / double(a.rgb.size());
  return mse == 0 ? kIdenticalDb : std::min(kIdenticalDb, 10 * std::log10(255.0 * 255.0 / mse));
}

// frame number -> scene, from the capture's frame log.
std::map<long, int> readScenes(const std::string& path) {
  std::map<long, int> scenes;
  if (path == "-") return scenes;
  std::ifstream log(path);
  std::string line;
  while (std::getline(log, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    long frame;
    int musicMs, scene;
    if (fields >> frame >> musicMs >> scene) scenes[frame] = scene;
  }
  return scenes;
}

struct Result {
  std::string name;
  long frame;
  int scene;
  double blurred, plain;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s REFERENCE_DIR OTHER_DIR FRAME_LOG MIN_BLURRED_DB\n", argv[0]);
    return 2;
  }
  const std::string referenceDir = argv[1], otherDir = argv[2];
  const std::map<long, int> scenes = readScenes(argv[3]);
  const double minimum = std::atof(argv[4]);

  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(referenceDir))
    if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  if (names.empty()) {
    std::fprintf(stderr, "no frames in %s\n", referenceDir.c_str());
    return 1;
  }

  bool ok = true;
  std::vector<Result> results;
  std::printf("%-20s %6s %12s %10s\n", "frame", "scene", "blurred dB", "plain dB");
  for (const std::string& name : names) {
    Image a, b;
    if (!readPng(referenceDir + "/" + name, &a) || !readPng(otherDir + "/" + name, &b) ||
        a.width != b.width || a.height != b.height) {
      std::printf("%-20s missing, unreadable or of another size in %s\n", name.c_str(), otherDir.c_str());
      ok = false;
      continue;
    }
    const long frame = std::atol(name.c_str() + name.find('-') + 1);
    const auto scene = scenes.find(frame);
    Result r{name, frame, scene == scenes.end() ? -1 : scene->second, psnr(boxBlur(a), boxBlur(b)),
             psnr(a, b)};
    std::printf("%-20s %6d %12.2f %10.2f%s\n", name.c_str(), r.scene, r.blurred, r.plain,
                r.blurred < minimum ? "  UNDER THE LIMIT" : "");
    if (r.blurred < minimum) ok = false;
    results.push_back(r);
  }
  if (results.empty()) return 1;

  auto summary = [&](const char* what, double Result::*field) {
    std::vector<Result> sorted = results;
    std::sort(sorted.begin(), sorted.end(),
              [&](const Result& x, const Result& y) { return x.*field < y.*field; });
    const Result& worst = sorted.front();
    const Result& median = sorted[sorted.size() / 2];
    std::printf("%s: worst %.2f dB (%s, scene %d), median %.2f dB (%s, scene %d)\n", what, worst.*field,
                worst.name.c_str(), worst.scene, median.*field, median.name.c_str(), median.scene);
  };
  std::printf(
      "\n%zu frames compared, %zu under 40 dB blurred, limit %.1f dB blurred\n", results.size(),
      size_t(std::count_if(results.begin(), results.end(), [](const Result& r) { return r.blurred < 40; })),
      minimum);
  summary("blurred", &Result::blurred);
  summary("plain  ", &Result::plain);
  // Per scene: the worst blurred frame.
  std::map<int, const Result*> worstPerScene;
  for (const Result& r : results)
    if (!worstPerScene[r.scene] || r.blurred < worstPerScene[r.scene]->blurred) worstPerScene[r.scene] = &r;
  for (const auto& [scene, r] : worstPerScene)
    std::printf("scene %d: worst %.2f dB blurred, %.2f dB plain (%s)\n", scene, r->blurred, r->plain,
                r->name.c_str());
  return ok ? 0 : 1;
}
