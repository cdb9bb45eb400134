#include "options.h"

#include <cstring>
#include <utility>

namespace {

constexpr int64_t kMaxMicros = 86400LL * 1000000;  // one day of music time
constexpr int64_t kMaxRateNum = 10000000;
constexpr int64_t kMaxRateDen = 10000;
// Frames per second. Below one, a single frame would carry more than a
// second of sound (hours of it at 0.0001 fps) while the show stands still.
constexpr int64_t kMinFps = 1;
constexpr int64_t kMaxFps = 1000;

// Reads an unsigned decimal integer of at most `maxDigits` digits at *p,
// advancing p. False when there is no digit or too many.
bool readDigits(const char** p, int maxDigits, int64_t* value, int* digitCount) {
  int64_t v = 0;
  int n = 0;
  while (**p >= '0' && **p <= '9') {
    if (n == maxDigits) return false;
    v = v * 10 + (**p - '0');
    ++n;
    ++*p;
  }
  if (n == 0) return false;
  *value = v;
  *digitCount = n;
  return true;
}

// Parses "INT" or "INT.FRAC" (FRAC up to maxDecimals digits) exactly as
// whole / scale, the scale a power of ten.
bool parseDecimal(const char* text, int maxDecimals, int64_t* whole, int64_t* scale) {
  const char* p = text;
  int64_t intPart = 0;
  int digits = 0;
  if (!readDigits(&p, 9, &intPart, &digits)) return false;
  int64_t fracPart = 0;
  int fracDigits = 0;
  if (*p == '.') {
    ++p;
    if (!readDigits(&p, maxDecimals, &fracPart, &fracDigits)) return false;
  }
  if (*p != '\0') return false;
  int64_t s = 1;
  for (int i = 0; i < fracDigits; ++i) s *= 10;
  *whole = intPart * s + fracPart;
  *scale = s;
  return true;
}

bool parseInt(const char* text, int low, int high, int* value) {
  const char* p = text;
  int64_t v = 0;
  int digits = 0;
  if (!readDigits(&p, 9, &v, &digits) || *p != '\0' || v < low || v > high) return false;
  *value = static_cast<int>(v);
  return true;
}

int64_t gcd(int64_t a, int64_t b) {
  while (b != 0) {
    const int64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

bool isPreset(const std::string& name) {
  static const char* const presets[] = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                                        "medium",    "slow",      "slower",   "veryslow", "placebo"};
  for (const char* p : presets)
    if (name == p) return true;
  return false;
}

}  // namespace

bool parseFrameRate(const char* text, FrameRate* rate) {
  int64_t num = 0;
  int64_t den = 0;
  const char* slash = std::strchr(text, '/');
  if (slash) {
    const std::string numText(text, slash);
    const char* p = numText.c_str();
    int digits = 0;
    if (!readDigits(&p, 8, &num, &digits) || *p != '\0') return false;
    p = slash + 1;
    if (!readDigits(&p, 5, &den, &digits) || *p != '\0') return false;
  } else if (!parseDecimal(text, 4, &num, &den)) {
    return false;
  }
  if (num <= 0 || den <= 0) return false;
  const int64_t g = gcd(num, den);
  num /= g;
  den /= g;
  if (num > kMaxRateNum || den > kMaxRateDen || num < kMinFps * den || num > kMaxFps * den) return false;
  *rate = {num, den};
  return true;
}

bool parseSeconds(const char* text, int64_t* micros) {
  int64_t whole = 0;
  int64_t scale = 1;
  if (!parseDecimal(text, 6, &whole, &scale)) return false;
  if (whole / scale > kMaxMicros / 1000000) return false;
  const int64_t value = whole * (1000000 / scale);
  if (value > kMaxMicros) return false;
  *micros = value;
  return true;
}

bool parseSize(const char* text, int* width, int* height) {
  const char* x = std::strchr(text, 'x');
  if (!x) return false;
  const std::string widthText(text, x);
  int w = 0;
  int h = 0;
  if (!parseInt(widthText.c_str(), 1, 65535, &w) || !parseInt(x + 1, 1, 65535, &h)) return false;
  *width = w;
  *height = h;
  return true;
}

namespace {

// One option of the command line: its names, whether it takes a value, the
// value expected (said when a value is refused), and what it sets. `apply`
// is given "" for an option without a value and returns false for a bad one.
struct OptionRow {
  const char* shortName;  // "-o", or null
  const char* longName;   // "--output"
  bool takesValue;
  const char* expected;
  bool (*apply)(const char* value, CaptureOptions* o);
};

bool setName(const char* value, std::string* name) {
  if (*value == '\0') return false;
  *name = value;
  return true;
}

bool setProgress(const char* value, CaptureOptions* o) {
  static const std::pair<const char*, CaptureOptions::Progress> modes[] = {
      {"auto", CaptureOptions::kProgressAuto},
      {"bar", CaptureOptions::kProgressBar},
      {"lines", CaptureOptions::kProgressLines},
      {"none", CaptureOptions::kProgressNone}};
  for (const auto& [name, mode] : modes)
    if (std::strcmp(value, name) == 0) {
      o->progress = mode;
      return true;
    }
  return false;
}

using O = CaptureOptions;
const OptionRow kOptionRows[] = {
    {"-o", "--output", true, "a file name", [](const char* v, O* o) { return setName(v, &o->mp4Path); }},
    {nullptr, "--png-dir", true, "a folder name", [](const char* v, O* o) { return setName(v, &o->pngDir); }},
    {nullptr, "--wav", true, "a file name", [](const char* v, O* o) { return setName(v, &o->wavPath); }},
    {nullptr, "--contact-sheet", true, "a file name",
     [](const char* v, O* o) { return setName(v, &o->sheetPath); }},
    {nullptr, "--frame-log", true, "a file name",
     [](const char* v, O* o) { return setName(v, &o->frameLogPath); }},
    {nullptr, "--size", true, "WIDTHxHEIGHT, e.g. 1920x1440",
     [](const char* v, O* o) { return parseSize(v, &o->width, &o->height); }},
    {nullptr, "--fps", true, "frames per second from 1 to 1000, e.g. 60, 29.97 or 30000/1001",
     [](const char* v, O* o) { return parseFrameRate(v, &o->rate); }},
    {nullptr, "--from", true, "seconds of music time, e.g. 12.5",
     [](const char* v, O* o) { return parseSeconds(v, &o->fromMicros); }},
    {nullptr, "--to", true, "seconds of music time, e.g. 30",
     [](const char* v, O* o) { return parseSeconds(v, &o->toMicros); }},
    {nullptr, "--data", true, "a folder name", [](const char* v, O* o) { return setName(v, &o->dataDir); }},
    {nullptr, "--ffmpeg", true, "a program name",
     [](const char* v, O* o) { return setName(v, &o->ffmpegProgram); }},
    {nullptr, "--preset", true, "an x264 preset: ultrafast ... veryslow",
     [](const char* v, O* o) { return isPreset(v) && setName(v, &o->preset); }},
    {nullptr, "--crf", true, "0 to 51", [](const char* v, O* o) { return parseInt(v, 0, 51, &o->crf); }},
    {nullptr, "--encoder-timeout", true, "seconds from 1 to 3600",
     [](const char* v, O* o) { return parseInt(v, 1, 3600, &o->encoderTimeoutSeconds); }},
    {nullptr, "--sheet-columns", true, "1 to 100",
     [](const char* v, O* o) { return parseInt(v, 1, 100, &o->sheetColumns); }},
    {nullptr, "--thumb-width", true, "8 to 4096",
     [](const char* v, O* o) { return parseInt(v, 8, 4096, &o->thumbWidth); }},
    {nullptr, "--progress", true, "auto, bar, lines or none", setProgress},
    {"-q", "--quiet", false, "",
     [](const char*, O* o) {
       o->progress = O::kProgressNone;
       return true;
     }},
    {"-h", "--help", false, "",
     [](const char*, O* o) {
       o->help = true;
       return true;
     }},
};

const OptionRow* findOption(const std::string& name) {
  for (const OptionRow& row : kOptionRows)
    if (name == row.longName || (row.shortName && name == row.shortName)) return &row;
  return nullptr;
}

}  // namespace

bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions* options, std::string* error) {
  CaptureOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    const char* value = nullptr;  // given with "--name=value", or the next argument
    const size_t eq = name.rfind("--", 0) == 0 ? name.find('=') : std::string::npos;
    if (eq != std::string::npos) {
      value = argv[i] + eq + 1;
      name.resize(eq);
    }
    const OptionRow* row = findOption(name);
    if (!row) {
      *error = (name.size() > 1 && name[0] == '-' ? "unknown option " : "unexpected argument ") + name;
      return false;
    }
    if (!row->takesValue && value) {
      *error = "option " + name + " takes no value";
      return false;
    }
    if (row->takesValue && !value) {
      if (i + 1 >= argc) {
        *error = "option " + name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (!row->apply(value ? value : "", &o)) {
      *error = "bad value for " + name + ": \"" + value + "\" (" + row->expected + ")";
      return false;
    }
  }
  if (o.help) {
    *options = o;
    return true;
  }
  if (o.toMicros <= o.fromMicros) {
    *error = "the range is empty: --to must be later than --from";
    return false;
  }
  if (o.mp4Path.empty() && o.pngDir.empty() && o.wavPath.empty() && o.sheetPath.empty() &&
      o.frameLogPath.empty()) {
    *error = "nothing to write: give --output, --png-dir, --wav, --contact-sheet or --frame-log";
    return false;
  }
  if (!o.mp4Path.empty() && (o.width % 2 != 0 || o.height % 2 != 0)) {
    *error = "an MP4 needs an even width and height (H.264 with 4:2:0 colour)";
    return false;
  }
  *options = o;
  return true;
}

std::string captureUsage() {
  return R"(Usage: quendaloop-capture [OPTIONS]

Renders the Quendaloop show offline, frame by frame at a fixed rate, with no
display, GPU or sound card, and writes it as a video, pictures and sound.
Run it from the folder that holds Data/ and pelvorgrind.xm, or name that
folder with --data.

Outputs (at least one):
  -o, --output FILE.mp4   H.264 video with AAC sound, encoded by the ffmpeg program
                          and checked with the ffprobe program beside it: every
                          frame there and read whole
      --png-dir DIR       one PNG per frame: DIR/frame-000000.png, numbered by
                          the frame's place in the whole show
      --wav FILE          the sound of the captured range (44100 Hz, 16-bit stereo)
      --contact-sheet FILE
                          one PNG with a thumbnail for each second of the range
      --frame-log FILE    one line per captured frame: frame, music time in ms,
                          scene drawn, flash depth before the frame

What to render:
      --size WxH          frame size in pixels (default 640x480); any size the
                          GL implementation can give, e.g. 1920x1440
      --fps RATE          frames per second, 1 to 1000 (default 60): 60, 29.97 or
                          30000/1001.
                          The show's animation counters advance once per drawn
                          frame, so motion inside a scene runs faster or slower
                          with the rate; the scene changes follow the music.
      --from SECONDS      start of the range in seconds of music time (default 0)
      --to SECONDS        end of the range (default 60; the scenes end at 57)
                          Frames before --from are drawn but not read back, so
                          every frame looks the same as in a full capture.

Other:
      --data DIR          the folder with Data/ and pelvorgrind.xm
      --ffmpeg PROGRAM    the ffmpeg program to use (default: ffmpeg in PATH)
      --preset NAME       x264 preset from ultrafast (fastest, largest file) to
                          veryslow (default superfast)
      --crf N             x264 quality, 0 (lossless) to 51 (default 18)
      --encoder-timeout SECONDS
                          how long ffmpeg may take no input, or once the input
                          has ended go on without ending or writing its file,
                          before the capture fails, 1 to 3600 (default 30)
      --sheet-columns N   thumbnails per row of the contact sheet (default 10)
      --thumb-width N     thumbnail width in pixels (default 160)
      --progress MODE     auto (a bar on a terminal, lines otherwise), bar,
                          lines or none (default auto)
  -q, --quiet             same as --progress none
  -h, --help              this text

No existing file is replaced until everything was written: an error, a stop
signal or a kill leaves them as they were and, where the file system has unnamed
files, nothing of the capture's own.

Exit status: 0 when everything was written, 1 on any error.
)";
}
