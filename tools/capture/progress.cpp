#include "progress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

ProgressStyle style = kProgressStyleSilent;
int64_t totalFrames = 0;         // frames of work in all
int64_t lastDone = 0;            // frames done at the last report
int lastTenth = 0;               // tenths of the work reported as lines
Clock::time_point startTime;     // when the work started
Clock::time_point lastDrawTime;  // when the bar was last redrawn
bool barDrawn = false;           // the bar's line is on screen and unfinished

constexpr int kBarColumns = 79;                         // characters in all
constexpr int kBarLength = 30;                          // characters between the brackets
constexpr std::chrono::milliseconds kBarInterval{100};  // between redraws

double secondsSinceStart() { return std::chrono::duration<double>(Clock::now() - startTime).count(); }

void rates(int64_t done, double* fps, double* left) {
  const double elapsed = secondsSinceStart();
  *fps = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
  *left = *fps > 0 ? static_cast<double>(totalFrames - done) / *fps : 0;
}

void drawBar(int64_t done) {
  double fps = 0;
  double left = 0;
  rates(done, &fps, &left);
  std::fprintf(stderr, "\r%s\033[K", progressBar(done, totalFrames, fps, left, kBarColumns).c_str());
  std::fflush(stderr);
  barDrawn = true;
  lastDrawTime = Clock::now();
}

void printLine(int64_t done) {
  double fps = 0;
  double left = 0;
  rates(done, &fps, &left);
  std::fprintf(stderr, "%s\n", progressLine(done, totalFrames, fps, left).c_str());
}

}  // namespace

std::string formatDuration(double seconds) {
  const long long s = seconds > 0 ? static_cast<long long>(std::ceil(seconds)) : 0;
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

std::string progressLine(int64_t done, int64_t total, double fps, double secondsLeft) {
  char text[128];
  std::snprintf(text, sizeof text, "capture: %lld/%lld frames, %.1f fps, %s left",
                static_cast<long long>(done), static_cast<long long>(total), fps,
                formatDuration(secondsLeft).c_str());
  return text;
}

std::string progressBar(int64_t done, int64_t total, double fps, double secondsLeft, int columns) {
  char tail[96];
  std::snprintf(tail, sizeof tail, " %lld/%lld frames  %.1f fps  %s left", static_cast<long long>(done),
                static_cast<long long>(total), fps, formatDuration(secondsLeft).c_str());
  const std::string tailText = tail;
  // A bar of fixed length while it fits, so it does not jump as the numbers grow.
  const int inner = std::min(kBarLength, columns - 2 - static_cast<int>(tailText.size()));
  if (inner < 4) return tailText.substr(1);
  const int64_t share = total > 0 ? static_cast<int64_t>(inner) * done / total : 0;
  const size_t filled = static_cast<size_t>(std::clamp<int64_t>(share, 0, inner));
  // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about the
  // temporaries of a chain of operator+.
  std::string bar;
  bar.reserve(static_cast<size_t>(inner) + 2 + tailText.size());
  bar += '[';
  bar.append(filled, '#');
  bar.append(static_cast<size_t>(inner) - filled, '-');
  bar += ']';
  bar += tailText;
  return bar;
}

void progressStart(ProgressStyle newStyle, int64_t total) {
  style = newStyle;
  totalFrames = total;
  lastDone = 0;
  lastTenth = 0;
  barDrawn = false;
  startTime = Clock::now();
  lastDrawTime = startTime - kBarInterval;
  if (style == kProgressStyleBar) drawBar(0);
}

void progressUpdate(int64_t done) {
  lastDone = done;
  if (style == kProgressStyleBar) {
    if (Clock::now() - lastDrawTime >= kBarInterval) drawBar(done);
  } else if (style == kProgressStyleLines && totalFrames > 0) {
    const int tenth = static_cast<int>(done * 10 / totalFrames);
    if (tenth > lastTenth && done < totalFrames) {
      lastTenth = tenth;
      printLine(done);
    }
  }
}

void progressFinish() {
  if (style == kProgressStyleBar) {
    drawBar(lastDone);
    std::fputc('\n', stderr);
    barDrawn = false;
  } else if (style == kProgressStyleLines) {
    printLine(lastDone);
  }
  style = kProgressStyleSilent;
}

void progressBreakLine() {
  if (barDrawn) std::fputc('\n', stderr);
  barDrawn = false;
}
