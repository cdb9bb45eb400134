// The capture program run for real (offscreen llvmpipe, offline sound):
// what each frame shows against the music time it was drawn at, exact
// repeatability, ranges, the MP4 as ffprobe sees it, and every error path.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <stb_image.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bmp_loader.h"
#include "ffmpeg_pipe.h"
#include "frame_timing.h"
#include "test_files.h"

extern char** environ;

namespace {

const std::string kProgram = CAPTURE_PROGRAM;
const std::string kDataDir = SHOW_DATA_DIR;

// Where the programs' standard output and error go: beside, not inside, the
// folders the tests look at (which may be full).
const TempDir& outputFolder() {
  static const TempDir folder;
  return folder;
}

struct Result {
  int status;          // exit status, or -1 when it did not exit normally
  std::string output;  // standard output
  std::string errors;  // standard error
};

// A capture program started in the background.
struct Running {
  pid_t pid = -1;
  std::string output;  // its standard output and error go to this + ".stdout", ".stderr"
};

// Starts the capture program with `args` (shell words) in `dir`, with `env`
// (assignments) in its environment. The stop signals and SIGPIPE have their
// default actions, whatever this process has; `shellSetup` runs in the shell
// before it becomes the program (a trap, say).
Running start(const std::string& dir, const std::string& args, const std::string& env = "",
              const std::string& shellSetup = "") {
  static int runs = 0;
  Running run;
  run.output = outputFolder().path + "/" + std::to_string(++runs);
  const std::string command = "cd '" + dir + "' && " + shellSetup + " exec env " + env + " '" + kProgram +
                              "' --data '" + kDataDir + "' " + args + " > '" + run.output + ".stdout' 2> '" +
                              run.output + ".stderr' < /dev/null";
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults, none;
  sigemptyset(&defaults);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaddset(&defaults, s);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  if (posix_spawn(&run.pid, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), environ) != 0)
    run.pid = -1;
  posix_spawnattr_destroy(&attributes);
  return run;
}

// Waits for a started capture to end, at most `seconds` (then kills it and
// says so in `errors`), and collects its output.
Result finish(const Running& run, double seconds = 240) {
  int raw = 0;
  bool ended = run.pid > 0 && waitpid(run.pid, &raw, WNOHANG) == run.pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (run.pid > 0 && !ended && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ended = waitpid(run.pid, &raw, WNOHANG) == run.pid;
  }
  Result r{-1, readFile(run.output + ".stdout"), readFile(run.output + ".stderr")};
  if (ended) {
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  } else if (run.pid > 0) {
    kill(run.pid, SIGKILL);
    waitpid(run.pid, &raw, 0);
    r.errors += "(test: the capture did not end within " + std::to_string(seconds) + " s and was killed)";
  } else {
    r.errors += "(test: the capture could not be started)";
  }
  std::remove((run.output + ".stdout").c_str());
  std::remove((run.output + ".stderr").c_str());
  return r;
}

// A private Xvfb for the life of the object, standing for a desktop session.
struct PrivateDisplay {
  pid_t pid = -1;
  std::string name;  // ":N", empty when the server did not start

  PrivateDisplay() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      // The server writes its display number to descriptor 3 once it accepts clients.
      if (fds[1] != 3) {
        dup2(fds[1], 3);
        close(fds[1]);
      }
      if (fds[0] != 3) close(fds[0]);
      execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char c;
    std::string number;
    while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) name = ":" + number;
  }
  ~PrivateDisplay() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

// Runs the capture program with `args` (shell words) in `dir`, with `env`
// (shell assignments) in front, and waits for it (killing it after
// `seconds`, so that a capture that hangs fails its test instead).
Result capture(const std::string& dir, const std::string& args, const std::string& env = "",
               double seconds = 240) {
  return finish(start(dir, args, env), seconds);
}

// Waits up to `seconds` for `ready` to hold. True when it did.
bool waitUntil(const std::function<bool()>& ready, double seconds = 60) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A small tmpfs, standing for a disk that fills up: mounted on a fresh
// folder when the test runs as root, in a mount namespace of this test
// process's own, so that it disappears with the process even when a test
// crashes; unmounted again (and the folder removed) when it goes.
struct SmallDisk {
  TempDir dir;
  bool mounted = false;
  std::string why;  // why not, when not mounted
  explicit SmallDisk(const std::string& size) {
    if (geteuid() != 0) {
      why = "not root: a full disk is a small tmpfs, and mounting one needs root";
      return;
    }
    static const int privateMounts = [] {
      if (unshare(CLONE_NEWNS) != 0) return errno;
      return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 ? 0 : errno;
    }();
    if (privateMounts != 0) {
      why = std::string("cannot make a mount namespace for a small tmpfs: ") + std::strerror(privateMounts);
      return;
    }
    if (mount("tmpfs", dir.path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + size).c_str()) != 0) {
      why = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted = true;
  }
  ~SmallDisk() {
    if (mounted) umount2(dir.path.c_str(), MNT_DETACH);
  }
  const std::string& path() const { return dir.path; }
};

// Writes `path` until the disk it is on is full.
void fillUp(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  const std::vector<char> block(4096, 'f');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  const int failure = errno;
  close(fd);
  ASSERT_EQ(failure, ENOSPC);
}

void writeFile(const std::string& path, const std::string& content) { std::ofstream(path) << content; }

// Copies the files and folders `names` of `from` into `to`, readable by
// every user whatever the modes of the originals. False when one is missing.
bool copyReadable(const std::string& from, const std::string& to, const std::vector<std::string>& names) {
  std::error_code error;
  for (const std::string& name : names) {
    std::filesystem::copy(from + "/" + name, to + "/" + name, std::filesystem::copy_options::recursive,
                          error);
    if (error) return false;
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(to, error))
    chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
  return !error;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Writes a shell script standing for ffmpeg into `folder` (made when
// missing), with the real ffprobe beside it, and gives its path. "$out" in
// `body` is the file the capture asks for.
std::string fakeEncoder(const std::string& folder, const std::string& body) {
  static int made = 0;
  mkdir(folder.c_str(), 0755);
  const std::string path = folder + "/ffmpeg-" + std::to_string(++made);
  std::ofstream(path) << "#!/bin/sh\nfor out; do :; done; out=${out#file:}\n" << body;
  chmod(path.c_str(), 0755);
  symlink(findProgram("ffprobe").c_str(), (folder + "/ffprobe").c_str());
  return path;
}

// Whether a started capture has reported progress: a tenth of its frames done.
std::function<bool()> framesDone(const Running& run) {
  return [&run] { return contains(readFile(run.output + ".stderr"), " frames, "); };
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // top row first
  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

Image loadPng(const std::string& path) {
  Image image;
  int channels = 0;
  uint8_t* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 3);
  if (data) {
    image.rgb.assign(data, data + static_cast<size_t>(image.width) * image.height * 3);
    stbi_image_free(data);
  }
  return image;
}

std::string framePath(const std::string& dir, int64_t n) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%06lld.png", static_cast<long long>(n));
  return dir + name;
}

struct LogLine {
  int64_t frame;
  int64_t musicMs;
  unsigned scene;
  float flashDepth;
};

std::vector<LogLine> readLog(const std::string& path) {
  std::vector<LogLine> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    LogLine l{};
    s >> l.frame >> l.musicMs >> l.scene >> l.flashDepth;
    lines.push_back(l);
  }
  return lines;
}

// The timeline's table: the scene drawn after a frame at `seconds` (whole
// seconds of music) that drew `current`.
unsigned sceneAfter(int64_t seconds, unsigned current) {
  if (seconds <= 10) return current;
  if (seconds <= 22) return 1;
  if (seconds <= 28) return 6;
  if (seconds <= 36) return 2;
  if (seconds <= 40) return 3;
  if (seconds <= 48) return 4;
  if (seconds <= 56) return 5;
  return 7;
}

// The frame counter of frame n: +1.5 per drawn frame from 0, exact in float.
double frameCounterAt(int64_t n) {
  return static_cast<double>(static_cast<float>(1.5 * static_cast<double>(n)));
}

int maxRed(const Image& image) {
  int m = 0;
  for (size_t i = 0; i < image.rgb.size(); i += 3) m = std::max(m, static_cast<int>(image.rgb[i]));
  return m;
}

uint32_t modeColour(const Image& image) {
  std::map<uint32_t, int> counts;
  for (size_t i = 0; i < image.rgb.size(); i += 3)
    ++counts[static_cast<uint32_t>(image.rgb[i]) << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2]];
  uint32_t best = 0;
  int bestCount = -1;
  for (const auto& [colour, count] : counts)
    if (count > bestCount) best = colour, bestCount = count;
  return best;
}

// How far a frame's backdrop area is from a picture: the mean absolute
// difference of 8 x 6 block averages. The backdrop (24 x 18 units) faces the
// camera at `distance` units under the 45-degree view, so it covers the
// fraction 9 / (distance * tan 22.5) of the frame's height and width.
double backdropDistance(const Image& frame, const RgbImage& picture, double distance) {
  const double cover = 9.0 / (distance * std::tan(22.5 * M_PI / 180.0));
  const double left = frame.width * (1 - cover) / 2, top = frame.height * (1 - cover) / 2;
  const double spanX = frame.width * cover, spanY = frame.height * cover;
  double total = 0;
  int samples = 0;
  for (int by = 0; by < 6; ++by)
    for (int bx = 0; bx < 8; ++bx) {
      // The middle 60 % of each block, in the frame and in the picture.
      const double u0 = (bx + 0.2) / 8, u1 = (bx + 0.8) / 8, v0 = (by + 0.2) / 6, v1 = (by + 0.8) / 6;
      double frameSum[3] = {0, 0, 0}, pictureSum[3] = {0, 0, 0};
      int frameCount = 0, pictureCount = 0;
      for (int y = static_cast<int>(top + v0 * spanY); y < static_cast<int>(top + v1 * spanY); ++y)
        for (int x = static_cast<int>(left + u0 * spanX); x < static_cast<int>(left + u1 * spanX);
             ++x, ++frameCount)
          for (int c = 0; c < 3; ++c) frameSum[c] += frame.at(x, y)[c];
      for (int y = static_cast<int>(v0 * picture.height); y < static_cast<int>(v1 * picture.height); ++y)
        for (int x = static_cast<int>(u0 * picture.width); x < static_cast<int>(u1 * picture.width);
             ++x, ++pictureCount) {
          const int row = picture.height - 1 - y;  // the picture is stored bottom row first
          for (int c = 0; c < 3; ++c)
            pictureSum[c] += picture.pixels[(static_cast<size_t>(row) * picture.width + x) * 3 + c];
        }
      for (int c = 0; c < 3; ++c) {
        total += std::fabs(frameSum[c] / frameCount - pictureSum[c] / pictureCount);
        ++samples;
      }
    }
  return total / samples;
}

// The whole show at 10 fps in small frames, captured once for the tests below.
class WholeShow : public ::testing::Test {
 protected:
  static constexpr FrameRate kRate{10, 1};
  static constexpr int64_t kFrames = 582;  // 0 .. 58.1 s
  static TempDir* dir;
  static std::vector<LogLine> log;
  static Result result;

  static void SetUpTestSuite() {
    dir = new TempDir;
    result =
        capture(dir->path,
                "--size 160x120 --fps 10 --to 58.2 --png-dir frames --frame-log frames.log --wav show.wav "
                "--contact-sheet sheet.png --thumb-width 160 --progress lines");
    log = readLog(dir->path + "/frames.log");
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  void SetUp() override {
    ASSERT_EQ(result.status, 0) << result.errors;
    ASSERT_EQ(log.size(), static_cast<size_t>(kFrames));
  }
  static Image frame(int64_t n) { return loadPng(framePath(dir->path + "/frames", n)); }
  // The frames that drew `scene`.
  static std::vector<int64_t> framesOf(unsigned scene) {
    std::vector<int64_t> frames;
    for (const LogLine& l : log)
      if (l.scene == scene) frames.push_back(l.frame);
    return frames;
  }
};
TempDir* WholeShow::dir = nullptr;
std::vector<LogLine> WholeShow::log;
Result WholeShow::result;

TEST_F(WholeShow, EveryFrameSeesItsExactMusicTimeAndTheTimelinesScene) {
  EXPECT_EQ(log[0].scene, 0u);
  for (int64_t n = 0; n < kFrames; ++n) {
    ASSERT_EQ(log[n].frame, n);
    ASSERT_EQ(log[n].musicMs, musicMsAtSample(sampleAtFrame(kRate, n))) << "frame " << n;
    if (n > 0) {
      ASSERT_EQ(log[n].scene, sceneAfter(log[n - 1].musicMs / 1000, log[n - 1].scene)) << "frame " << n;
    }
  }
  // Every scene of the show appears, in the show's order.
  std::vector<unsigned> order;
  for (const LogLine& l : log)
    if (order.empty() || order.back() != l.scene) order.push_back(l.scene);
  EXPECT_EQ(order, (std::vector<unsigned>{0, 1, 6, 2, 3, 4, 5, 7}));
  // Progress went to standard error as plain lines, ending with the total.
  EXPECT_NE(result.errors.find("capture: 582/582 frames"), std::string::npos) << result.errors;
}

TEST_F(WholeShow, BackdropScenesShowTheirPicture) {
  const char* files[5] = {"Data/bkgrnd2.bmp", "Data/creds.bmp", "Data/crate.bmp", "Data/logotyp.bmp",
                          "Data/grusk4.bmp"};
  std::vector<RgbImage*> pictures;
  for (const char* f : files) {
    pictures.push_back(loadBitmapImage((kDataDir + "/" + f).c_str()));
    ASSERT_NE(pictures.back(), nullptr) << f;
  }
  struct Case {
    unsigned scene;
    int slot;         // texture slot of its backdrop
    double distance;  // of the backdrop from the camera
  };
  for (const Case c : {Case{0, 3, 23}, Case{1, 0, 28}, Case{6, 1, 23}}) {
    const std::vector<int64_t> frames = framesOf(c.scene);
    ASSERT_GE(frames.size(), 3u);
    for (const int64_t n : {frames[1], frames[frames.size() / 2], frames.back()}) {
      const Image image = frame(n);
      ASSERT_EQ(image.width, 160);
      int best = -1;
      double bestDistance = 1e9;
      for (int slot = 0; slot < 5; ++slot) {
        const double d = backdropDistance(image, *pictures[slot], c.distance);
        if (d < bestDistance) best = slot, bestDistance = d;
      }
      EXPECT_EQ(best, c.slot) << "scene " << c.scene << ", frame " << n;
      if (c.scene == 6) {
        EXPECT_LT(bestDistance, 12) << "frame " << n;  // the picture alone
      }
      // The backdrop leaves a black margin at the frame's sides.
      EXPECT_EQ(image.at(0, image.height / 2)[0] + image.at(image.width - 1, image.height / 2)[1], 0)
          << "scene " << c.scene << ", frame " << n;
    }
  }
  // The credits stand still: every frame of that scene is the same.
  const std::vector<int64_t> credits = framesOf(6);
  EXPECT_EQ(frame(credits[1]).rgb, frame(credits.back()).rgb);
  for (RgbImage* p : pictures) {
    std::free(p->pixels);
    std::free(p);
  }
}

TEST_F(WholeShow, GridScenesSwitchRedWithTheSine) {
  // White grid: red is there.
  for (const int64_t n : framesOf(2)) ASSERT_GT(maxRed(frame(n)), 0) << "frame " << n;
  // Red only while trunc(5 sin(x)) is at least 1: x = fc / 10 in the slow
  // scene, fc in the fast one. Both cases must occur.
  struct Case {
    unsigned scene;
    double divisor;
  };
  for (const Case c : {Case{3, 10}, Case{4, 1}}) {
    int on = 0, off = 0;
    for (const int64_t n : framesOf(c.scene)) {
      const int red = static_cast<int>(std::trunc(5 * std::sin(frameCounterAt(n) / c.divisor)));
      const int seen = maxRed(frame(n));
      if (red >= 1) {
        ++on;
        EXPECT_GT(seen, 0) << "scene " << c.scene << ", frame " << n << ", red " << red;
      } else {
        ++off;
        EXPECT_EQ(seen, 0) << "scene " << c.scene << ", frame " << n << ", red " << red;
      }
    }
    EXPECT_GT(on, 0) << "scene " << c.scene;
    EXPECT_GT(off, 0) << "scene " << c.scene;
  }
}

TEST_F(WholeShow, FlashQuadIsPushedAwayRightAfterATrigger) {
  // The quad rests at depth -20, a grey plane (fogged white) behind the
  // cubes; a trigger of instrument 1 since the last frame raises it by 19
  // to -1, out of view, leaving black around the cubes.
  int resting = 0, pushed = 0;
  for (const int64_t n : framesOf(5)) {
    const uint32_t mode = modeColour(frame(n));
    if (log[n].flashDepth == -20.0f) {
      ++resting;
      EXPECT_NE(mode, 0u) << "frame " << n;
      EXPECT_TRUE((mode >> 16) == (mode & 0xff) && ((mode >> 8) & 0xff) == (mode & 0xff)) << "frame " << n;
    } else {
      ++pushed;
      EXPECT_GE(log[n].flashDepth, -1.0f) << "frame " << n;
      EXPECT_EQ(mode, 0u) << "frame " << n << ", depth " << log[n].flashDepth;
    }
  }
  EXPECT_GT(resting, 10);
  EXPECT_GT(pushed, 5);
}

TEST_F(WholeShow, AfterTheLastSceneFramesAreBlack) {
  const std::vector<int64_t> frames = framesOf(7);
  ASSERT_FALSE(frames.empty());
  for (const int64_t n : frames) {
    const Image image = frame(n);
    ASSERT_EQ(image.rgb, std::vector<uint8_t>(image.rgb.size(), 0)) << "frame " << n;
  }
}

TEST_F(WholeShow, SoundLastsExactlyAsLongAsTheFrames) {
  const std::string wav = readFile(dir->path + "/show.wav");
  const int64_t samples = sampleAtFrame(kRate, kFrames);
  ASSERT_EQ(wav.size(), static_cast<size_t>(44 + samples * 4));
  int peak = 0;
  for (size_t i = 44; i + 1 < wav.size(); i += 2)
    peak = std::max(peak, std::abs(static_cast<int16_t>(static_cast<uint8_t>(wav[i]) | wav[i + 1] << 8)));
  EXPECT_GT(peak, 1000);  // the music is there
}

TEST_F(WholeShow, ContactSheetHoldsTheFrameOfEverySecond) {
  const Image sheet = loadPng(dir->path + "/sheet.png");
  // 59 seconds (0 .. 58) in rows of 10, 160 x 120 each with 4-pixel gaps.
  ASSERT_EQ(sheet.width, 4 + 10 * 164);
  ASSERT_EQ(sheet.height, 4 + 6 * 124);
  for (const int second : {0, 25, 58}) {
    const Image shown = frame(second * 10);
    const int left = 4 + (second % 10) * 164, top = 4 + (second / 10) * 124;
    bool same = true;
    for (int y = 0; y < 120 && same; ++y)
      for (int x = 0; x < 160 && same; ++x)
        for (int c = 0; c < 3; ++c) same = same && sheet.at(left + x, top + y)[c] == shown.at(x, y)[c];
    EXPECT_TRUE(same) << "second " << second;
  }
}

TEST(CaptureRanges, SameRangeTwiceIsIdenticalAndALaterStartChangesNothing) {
  TempDir dir;
  const std::string common = "--size 320x240 --fps 10 --to 49.6 -q";
  ASSERT_EQ(capture(dir.path, common + " --from 49 --png-dir a --wav a.wav --frame-log a.log").status, 0);
  ASSERT_EQ(capture(dir.path, common + " --from 49 --png-dir b --wav b.wav --frame-log b.log").status, 0);
  ASSERT_EQ(capture(dir.path, common + " --from 49.3 --png-dir c --wav c.wav --frame-log c.log").status, 0);
  for (int64_t n = 490; n < 496; ++n) {
    const std::string a = readFile(framePath(dir.path + "/a", n));
    ASSERT_FALSE(a.empty()) << n;
    EXPECT_TRUE(a == readFile(framePath(dir.path + "/b", n))) << "frame " << n << " differs between two runs";
    if (n >= 493) {
      EXPECT_TRUE(a == readFile(framePath(dir.path + "/c", n))) << "frame " << n << " depends on --from";
    }
  }
  EXPECT_FALSE(exists(framePath(dir.path + "/c", 492)));
  EXPECT_FALSE(exists(framePath(dir.path + "/a", 496)));

  const std::string a = readFile(dir.path + "/a.wav"), c = readFile(dir.path + "/c.wav");
  EXPECT_TRUE(a == readFile(dir.path + "/b.wav"));
  const FrameRate rate{10, 1};
  ASSERT_EQ(a.size(), static_cast<size_t>(44 + (sampleAtFrame(rate, 496) - sampleAtFrame(rate, 490)) * 4));
  ASSERT_EQ(c.size(), static_cast<size_t>(44 + (sampleAtFrame(rate, 496) - sampleAtFrame(rate, 493)) * 4));
  EXPECT_TRUE(c.substr(44) ==
              a.substr(static_cast<size_t>(44 + (sampleAtFrame(rate, 493) - sampleAtFrame(rate, 490)) * 4)));

  const std::string logA = readFile(dir.path + "/a.log"), logC = readFile(dir.path + "/c.log");
  EXPECT_EQ(logA, readFile(dir.path + "/b.log"));
  EXPECT_EQ(logC.substr(logC.find('\n') + 1), logA.substr(logA.find("\n493 ") + 1));
}

TEST(CaptureMp4, FfprobeSeesTheAskedSizeRateDurationAndSound) {
  TempDir dir;
  const Result r =
      capture(dir.path, "--size 320x240 --fps 25 --from 10 --to 11.2 --output show.mp4 --preset ultrafast");
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_NE(r.errors.find("wrote " + dir.path + "/show.mp4"), std::string::npos) << r.errors;
  EXPECT_EQ(listing(dir.path), "show.mp4\n");  // no temporary file left
  const std::string probe = dir.path + "/probe.txt";
  ASSERT_EQ(
      std::system(("ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,r_frame_rate,"
                   "nb_frames,duration,pix_fmt,color_space -of default=noprint_wrappers=1 '" +
                   dir.path + "/show.mp4' > '" + probe + "'")
                      .c_str()),
      0);
  const std::string p = readFile(probe);
  for (const char* expected :
       {"codec_name=h264", "codec_type=video", "width=320", "height=240", "r_frame_rate=25/1", "nb_frames=30",
        "pix_fmt=yuv420p", "color_space=bt709", "codec_name=aac", "codec_type=audio"})
    EXPECT_NE(p.find(expected), std::string::npos) << expected << " in\n" << p;
  // Both streams last 1.2 s.
  size_t at = 0;
  int durations = 0;
  while ((at = p.find("duration=", at)) != std::string::npos) {
    at += 9;
    EXPECT_NEAR(std::atof(p.c_str() + at), 1.2, 0.03) << p;
    ++durations;
  }
  EXPECT_EQ(durations, 2) << p;
}

TEST(CaptureErrors, CommandLineMistakesFailBeforeAnyWork) {
  TempDir dir;
  Result r = capture(dir.path, "--output a.mp4 --bogus");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("unknown option --bogus"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("--help"), std::string::npos) << r.errors;
  r = capture(dir.path, "--fps 30");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("nothing to write"), std::string::npos) << r.errors;
  r = capture(dir.path, "--wav a.wav --fps 1 --from 0.2 --to 0.5");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("holds no frame"), std::string::npos) << r.errors;
  EXPECT_EQ(listing(dir.path), "");

  r = capture(dir.path, "--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("advance once per drawn"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("--from"), std::string::npos) << r.output;
}

TEST(CaptureErrors, MissingFfmpegAndUnwritableOutputsLeaveNothingBehind) {
  TempDir dir;
  std::ofstream(dir.path + "/file") << "x";
  Result r = capture(dir.path, "--output a.mp4 --to 1", "PATH=/nonexistent");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("ffmpeg not found"), std::string::npos) << r.errors;
  r = capture(dir.path, "--output a.mp4 --to 1 --ffmpeg /nonexistent/ffmpeg");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("/nonexistent/ffmpeg not found"), std::string::npos) << r.errors;
  r = capture(dir.path, "--output file/a.mp4 --to 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("cannot write " + dir.path + "/file/a.mp4: Not a directory"), std::string::npos)
      << r.errors;
  r = capture(dir.path, "--wav missing/a.wav --to 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("cannot write " + dir.path + "/missing/a.wav: No such file or directory"),
            std::string::npos)
      << r.errors;
  r = capture(dir.path, "--wav a.wav --png-dir file/frames --to 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("cannot make the folder " + dir.path + "/file/frames"), std::string::npos)
      << r.errors;
  r = capture(dir.path, "--contact-sheet . --to 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("it is a folder"), std::string::npos) << r.errors;
  EXPECT_EQ(listing(dir.path), "file\n");
}

TEST(CaptureErrors, ImpossibleSizesMissingDataAndAFailingEncoderLeaveOldFilesAlone) {
  TempDir dir;
  std::ofstream(dir.path + "/a.mp4") << "old";
  Result r = capture(dir.path, "--size 65534x65534 --png-dir frames --wav a.wav --to 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("larger than the GL implementation allows"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("cannot render 65534x65534 frames"), std::string::npos) << r.errors;

  const std::string quitter =
      fakeEncoder(dir.path + "/bin", "echo 'stand-in encoder: giving up' >&2\nexit 1\n");
  r = capture(dir.path, "--output a.mp4 --to 2 --ffmpeg " + quitter);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("stand-in encoder: giving up"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("the encoder"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("exit status 1"), std::string::npos) << r.errors;

  r = capture(dir.path, "--output a.mp4 --to 1 --data /nonexistent");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("cannot enter the data folder /nonexistent"), std::string::npos) << r.errors;

  // A data folder with the module but no pictures, and one with the
  // pictures but no module (the music start ends the process itself).
  TempDir noPictures, noMusic;
  ASSERT_EQ(std::system(("cp '" + kDataDir + "/pelvorgrind.xm' '" + noPictures.path + "'").c_str()), 0);
  ASSERT_EQ(std::system(("cp -r '" + kDataDir + "/Data' '" + noMusic.path + "'").c_str()), 0);
  r = capture(dir.path, "--output a.mp4 --to 1 --data " + noPictures.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("pictures could not be loaded"), std::string::npos) << r.errors;
  r = capture(dir.path, "--output a.mp4 --png-dir frames --to 1 --data " + noMusic.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("there is no module!"), std::string::npos) << r.errors;

  EXPECT_EQ(readFile(dir.path + "/a.mp4"), "old");
  EXPECT_EQ(listing(dir.path), "a.mp4\nbin\n");
}

// Under a desktop session a broken picture's box still goes to standard
// error: a box on the display would wait for a click that never comes
// (`timeout` ends such a run with status 124).
TEST(CaptureErrors, OnADesktopABrokenPictureIsReportedOnStandardError) {
  PrivateDisplay display;
  ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
  TempDir dir, data;
  ASSERT_EQ(
      std::system(
          ("cp -r '" + kDataDir + "/pelvorgrind.xm' '" + kDataDir + "/Data' '" + data.path + "'").c_str()),
      0);
  std::ofstream(data.path + "/Data/crate.bmp", std::ios::trunc) << "not a picture";
  const Result r = capture(dir.path, "--png-dir frames --to 1 --data " + data.path,
                           "DISPLAY=" + display.name + " timeout 120");
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_NE(r.errors.find("Error: Unknown DIB file format.\n"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("pictures could not be loaded"), std::string::npos) << r.errors;
  EXPECT_EQ(listing(dir.path), "");
}

// Every failure is reported with status 1 and its reason, leaves no
// temporary file and keeps the files an earlier run wrote.

// PNG frames, the contact sheet, the WAV, the frame log and the MP4
// on a file system that fills up.
TEST(CaptureFailures, AFullDiskFailsWithTheReasonAndKeepsEarlierFiles) {
  SmallDisk disk("2m");
  if (!disk.mounted) GTEST_SKIP() << disk.why;
  const std::string& d = disk.path();
  ASSERT_EQ(mkdir((d + "/frames").c_str(), 0755), 0);
  const std::map<std::string, std::string> earlier = {{"frames/frame-000000.png", "old frame"},
                                                      {"sheet.png", "old sheet"},
                                                      {"show.wav", "old sound"},
                                                      {"frames.log", "old log"},
                                                      {"show.mp4", "old video"}};
  for (const auto& [name, content] : earlier) writeFile(d + "/" + name, content);
  auto expectEarlierFilesIntact = [&](const std::string& step) {
    for (const auto& [name, content] : earlier)
      EXPECT_EQ(readFile(d + "/" + name), content) << name << ", " << step;
    EXPECT_EQ(listing(d + "/frames"), "frame-000000.png\n") << step;
  };

  // 30 frames of 640 x 480 need some 7 MB: a few fit, then the disk is full
  // in the middle of a frame.
  Result r = capture(d, "--to 0.5 --png-dir frames");
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "cannot write " + d + "/frames/frame-0000")) << r.errors;
  EXPECT_TRUE(contains(r.errors, ".png: No space left on device")) << r.errors;
  EXPECT_FALSE(contains(r.errors, "wrote")) << r.errors;
  EXPECT_EQ(listing(d), "frames\nframes.log\nsheet.png\nshow.mp4\nshow.wav\n");
  expectEarlierFilesIntact("PNG frames");

  // No room left at all: every other kind of output.
  fillUp(d + "/filler");
  struct Case {
    std::string args;
    std::string message;
  };
  for (const Case& c :
       {Case{"--to 2 --fps 1 --contact-sheet sheet.png",
             "cannot write the contact sheet " + d + "/sheet.png: No space left on device"},
        Case{"--to 1 --wav show.wav", "cannot write " + d + "/show.wav: No space left on device"},
        Case{"--to 1 --frame-log frames.log", "cannot write " + d + "/frames.log: No space left on device"},
        // ffmpeg fails on its header at once, or once it has the frames:
        // either way the encoder's failure is the reason given.
        Case{"--size 64x48 --to 1 --output show.mp4 --preset ultrafast",
             "quendaloop-capture: the encoder "}}) {
    r = capture(d, c.args);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.errors;
    EXPECT_TRUE(contains(r.errors, c.message)) << c.args << "\n" << r.errors;
    EXPECT_EQ(listing(d), "filler\nframes\nframes.log\nsheet.png\nshow.mp4\nshow.wav\n") << c.args;
    expectEarlierFilesIntact(c.args);
  }
}

// A contact sheet larger than the PNG encoder (or the capture's
// memory) holds is refused before anything is drawn, with the limits.
TEST(CaptureFailures, ContactSheetsBeyondTheLimitsAreRefusedBeforeDrawing) {
  TempDir dir;
  writeFile(dir.path + "/x.png", "old sheet");
  struct Case {
    std::string args;
    std::string size;
  };
  for (const Case& c : {Case{"--size 8x682 --to 1", "4104x349192"},
                        Case{"--size 8x682 --to 60", "41004x2095132"}, Case{"--to 60", "41004x18460"}}) {
    const Result r =
        capture(dir.path, c.args + " --fps 1 --thumb-width 4096 --contact-sheet x.png --progress lines");
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.errors;
    EXPECT_TRUE(contains(r.errors, "cannot make the contact sheet " + dir.path + "/x.png: it would be " +
                                       c.size +
                                       " pixels; a contact sheet may be at most 1000000 pixels on each side"))
        << r.errors;
    EXPECT_TRUE(contains(r.errors, "268435456 pixels in all")) << r.errors;
    EXPECT_FALSE(contains(r.errors, " frames, ")) << r.errors;  // no progress: no frame was drawn
    EXPECT_EQ(listing(dir.path), "x.png\n") << c.args;
    EXPECT_EQ(readFile(dir.path + "/x.png"), "old sheet");
  }
}

// Each stop signal ends a capture (frames, sound, sheet and an MP4
// being encoded) with status 1 and removes what it started; one ignored at
// the start (nohup) stays ignored.
TEST(CaptureFailures, EveryStopSignalEndsTheCaptureAndRemovesWhatItStarted) {
  TempDir dir;
  writeFile(dir.path + "/show.wav", "old sound");
  writeFile(dir.path + "/show.mp4", "old video");
  const std::string frames = dir.path + "/frames";
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    const std::string name = sigabbrev_np(signal);
    const Running run =
        start(dir.path,
              "--size 320x240 --to 60 --png-dir frames --wav show.wav --contact-sheet sheet.png "
              "--output show.mp4 --preset ultrafast --progress lines");
    ASSERT_TRUE(waitUntil(framesDone(run))) << name << ": no frame was done";
    kill(run.pid, signal);
    const Result r = finish(run, 60);
    EXPECT_EQ(r.status, 1) << "SIG" << name << "\n" << r.errors;
    EXPECT_TRUE(contains(r.errors, "quendaloop-capture: interrupted by SIG" + name)) << r.errors;
    EXPECT_EQ(listing(dir.path), "show.mp4\nshow.wav\n") << "SIG" << name;  // the frame folder is gone too
    EXPECT_EQ(readFile(dir.path + "/show.wav"), "old sound");
    EXPECT_EQ(readFile(dir.path + "/show.mp4"), "old video");
  }

  // Under nohup SIGHUP is ignored, and the capture goes on to the end.
  const Running run =
      start(dir.path, "--size 320x240 --to 3 --png-dir frames --progress lines", "", "trap '' HUP;");
  ASSERT_TRUE(waitUntil(framesDone(run)));
  kill(run.pid, SIGHUP);
  const Result r = finish(run, 120);
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(listing(frames).size(), 180 * std::string("frame-000000.png\n").size());
}

// A FIFO (or any file that is not a regular one) among the show's
// files or as an output is refused at once, not waited on.
TEST(CaptureFailures, InputsAndOutputsThatAreNotRegularFilesAreRefused) {
  TempDir dir, data;
  ASSERT_EQ(
      std::system(
          ("cp -r '" + kDataDir + "/Data' '" + kDataDir + "/pelvorgrind.xm' '" + data.path + "'").c_str()),
      0);
  writeFile(dir.path + "/show.wav", "old sound");
  for (const std::string input : {"Data/crate.bmp", "pelvorgrind.xm"}) {
    const std::string path = data.path + "/" + input;
    ASSERT_EQ(rename(path.c_str(), (path + ".kept").c_str()), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    const Result r = capture(dir.path, "--to 1 --wav show.wav --data " + data.path, "", 60);
    EXPECT_EQ(r.status, 1) << r.errors;
    EXPECT_TRUE(contains(r.errors, "cannot read " + path + ": it is a FIFO, not a regular file")) << r.errors;
    EXPECT_EQ(listing(dir.path), "show.wav\n");
    EXPECT_EQ(readFile(dir.path + "/show.wav"), "old sound");
    ASSERT_EQ(rename((path + ".kept").c_str(), path.c_str()), 0);
  }

  // A FIFO, or a socket, in an output's place is neither written nor
  // replaced. (Never a real device such as /dev/null here: a capture that
  // got this wrong would replace it, and the tests run as root.)
  const std::string fifo = dir.path + "/fifo", socket = dir.path + "/socket";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ASSERT_TRUE(makeSocket(socket));
  Result r = capture(dir.path, "--to 1 --wav fifo", "", 60);
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "cannot write " + fifo + ": it is a FIFO, not a regular file")) << r.errors;
  r = capture(dir.path, "--to 1 --frame-log socket", "", 60);
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "cannot write " + socket + ": it is a socket, not a regular file"))
      << r.errors;
  struct stat info;
  ASSERT_EQ(stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  ASSERT_EQ(stat(socket.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(listing(dir.path), "fifo\nshow.wav\nsocket\n");
  EXPECT_EQ(readFile(dir.path + "/show.wav"), "old sound");
}

// Ffmpeg named by a relative path or found in a relative PATH entry,
// a relative data folder and relative outputs all mean the folder the
// capture was started from, though it works in the data folder.
TEST(CaptureFailures, RelativePathsMeanTheStartingFolder) {
  TempDir dir;
  const std::string ffmpeg = findProgram("ffmpeg");
  ASSERT_FALSE(ffmpeg.empty());
  ASSERT_EQ(mkdir((dir.path + "/bin").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir.path + "/out").c_str(), 0755), 0);
  ASSERT_EQ(symlink(ffmpeg.c_str(), (dir.path + "/bin/ff").c_str()), 0);
  ASSERT_EQ(symlink(kDataDir.c_str(), (dir.path + "/data").c_str()), 0);
  writeFile(dir.path + "/out/a.mp4", "old video");
  const std::string small = "--size 64x48 --to 0.2 --preset ultrafast --data data ";

  Result r = capture(dir.path, small + "--ffmpeg bin/ff --output out/a.mp4");
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_TRUE(contains(r.errors, "wrote " + dir.path + "/out/a.mp4")) << r.errors;
  EXPECT_EQ(readFile(dir.path + "/out/a.mp4").substr(4, 4), "ftyp");
  r = capture(dir.path, small + "--ffmpeg ff --output out/b.mp4 --wav out/b.wav", "PATH=bin:/usr/bin:/bin");
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(readFile(dir.path + "/out/b.mp4").substr(4, 4), "ftyp");
  EXPECT_EQ(readFile(dir.path + "/out/b.wav").substr(0, 4), "RIFF");

  // A relative name that is not there fails as such, and changes nothing.
  const std::string before = readFile(dir.path + "/out/a.mp4");
  r = capture(dir.path, small + "--ffmpeg bin/missing --output out/a.mp4");
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "bin/missing not found")) << r.errors;
  EXPECT_EQ(readFile(dir.path + "/out/a.mp4"), before);
  EXPECT_EQ(listing(dir.path), "bin\ndata\nout\n");
  EXPECT_EQ(listing(dir.path + "/out"), "a.mp4\nb.mp4\nb.wav\n");
}

// Output names of 250 and 255 bytes, the longest a folder takes,
// are written, and their (shortened) temporary files removed on failure.
TEST(CaptureFailures, TheLongestLegalNamesAreWrittenAndCleanedUp) {
  TempDir dir;
  const std::string wav = std::string(246, 'w') + ".wav";    // 250 bytes
  const std::string log = std::string(251, 'w') + ".log";    // 255, the same start as the WAV's
  const std::string sheet = std::string(251, 's') + ".png";  // 255
  writeFile(dir.path + "/" + wav, "old sound");
  Result r = capture(dir.path,
                     "--fps 10 --to 1.5 --wav " + wav + " --frame-log " + log + " --contact-sheet " + sheet);
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_TRUE(contains(r.errors, "wrote " + dir.path + "/" + wav)) << r.errors;
  EXPECT_EQ(listing(dir.path), sheet + "\n" + wav + "\n" + log + "\n");
  const std::string sound = readFile(dir.path + "/" + wav);
  EXPECT_EQ(sound.size(), 44u + 66150 * 4);
  const std::string lines = readFile(dir.path + "/" + log);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 16);
  EXPECT_EQ(readFile(dir.path + "/" + sheet).substr(1, 3), "PNG");

  // A failure after the outputs were reserved removes the temporary files
  // and leaves the files just written alone.
  const std::string picture = readFile(dir.path + "/" + sheet);
  r = capture(dir.path, "--to 1 --wav " + wav + " --frame-log " + log + " --contact-sheet " + sheet +
                            " --data /nonexistent");
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "cannot enter the data folder /nonexistent")) << r.errors;
  EXPECT_EQ(listing(dir.path), sheet + "\n" + wav + "\n" + log + "\n");
  EXPECT_EQ(readFile(dir.path + "/" + wav), sound);
  EXPECT_EQ(readFile(dir.path + "/" + log), lines);
  EXPECT_EQ(readFile(dir.path + "/" + sheet), picture);
}

// Frame rates from 1 to 1000 only, and no more sound than a WAV
// file holds; both refused before any work.
TEST(CaptureFailures, RatesOutsideOneToAThousandAndOverlongSoundAreRefused) {
  TempDir dir;
  writeFile(dir.path + "/show.wav", "old sound");
  for (const char* rate : {"0.0001", "0.5", "0", "1000.5", "2001/2"}) {
    const Result r = capture(dir.path, std::string("--fps ") + rate + " --to 60 --wav show.wav");
    EXPECT_EQ(r.status, 1) << rate << "\n" << r.errors;
    EXPECT_TRUE(contains(r.errors, std::string("bad value for --fps: \"") + rate +
                                       "\" (frames per second from 1 to 1000, e.g. 60, 29.97 or 30000/1001)"))
        << r.errors;
    EXPECT_EQ(listing(dir.path), "show.wav\n");
  }
  const Result r = capture(dir.path, "--fps 1 --to 86400 --wav show.wav");
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "cannot write " + dir.path +
                                     "/show.wav: the range holds 24:00:00 of sound; a WAV "
                                     "file holds at most 6:45:47 (4 GB)"))
      << r.errors;
  EXPECT_EQ(listing(dir.path), "show.wav\n");
  EXPECT_EQ(readFile(dir.path + "/show.wav"), "old sound");

  // The slowest rate: one frame a second, a second of sound each.
  const Result slow = capture(dir.path, "--size 64x48 --fps 1 --to 3 --wav slow.wav");
  EXPECT_EQ(slow.status, 0) << slow.errors;
  EXPECT_EQ(readFile(dir.path + "/slow.wav").size(), 44u + 3 * 44100 * 4);
  EXPECT_EQ(listing(dir.path), "show.wav\nslow.wav\n");
  EXPECT_EQ(readFile(dir.path + "/show.wav"), "old sound");
}

}  // namespace

// However a capture ends, what it leaves is whole: the encoder's file only
// when it holds what was asked for, a stuck encoder stopped, nothing after
// SIGKILL, all outputs or none.

// Encoders that exit 0 having written nothing, garbage, the wrong streams
// or a file cut short are found out, and the earlier file stays.
TEST(CaptureEnds, WhatTheEncoderWroteIsCheckedBeforeItReplacesAnything) {
  TempDir dir;
  writeFile(dir.path + "/show.mp4", "old video");
  const std::string readAll = "cat <&3 >/dev/null & cat >/dev/null; wait\n";
  const std::string lavfi = "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=10 ";
  const std::string realThenCut = "ffmpeg \"$@\" || exit\n";
  struct Case {
    std::string body;
    std::string problem;
  };
  for (const Case& c : {
           Case{readAll, "ffprobe cannot read it (Invalid data found when processing input)"},
           Case{readAll + "echo garbage > \"$out\"\n", "ffprobe cannot read it ("},
           Case{readAll + lavfi + "-frames:v 10 -f mp4 \"$out\"\n", "it holds 0 sound streams, not one"},
           Case{readAll + lavfi + "-f lavfi -i sine -frames:v 3 -f mp4 \"$out\"\n",
                "its video stream holds 3 frames, not 10"},
           // The real encoder's file, then cut: its index, at the front, still
           // lists every frame.
           Case{realThenCut + "truncate -s $(($(stat -L -c %s \"$out\") / 2)) \"$out\"\n",
                "it is cut short: ffprobe reads "},
           Case{realThenCut + "truncate -s -1 \"$out\"\n", "it is cut short: the file ends at byte "},
           Case{realThenCut +
                    "a=$(od -An -tu4 --endian=big -N4 \"$out\")\n"  // the index's box follows the first
                    "b=$(od -An -tu4 --endian=big -j\"$a\" -N4 \"$out\")\n"
                    "truncate -s $((a + b)) \"$out\"\n",
                "it is cut short: ffprobe reads 0 of the 10 frames of its video stream"},
       }) {
    const std::string fake = fakeEncoder(dir.path + "/bin", c.body);
    const Result r = capture(dir.path, "--size 64x48 --fps 10 --to 1 --output show.mp4 --ffmpeg " + fake);
    EXPECT_EQ(r.status, 1) << c.body << r.errors;
    EXPECT_TRUE(contains(r.errors, "quendaloop-capture: the encoder " + fake + " wrote no usable MP4 for " +
                                       dir.path + "/show.mp4: " + c.problem))
        << r.errors;
    EXPECT_TRUE(readFile(dir.path + "/show.mp4") == "old video") << c.body;  // an MP4 is no message
    EXPECT_EQ(listing(dir.path), "bin\nshow.mp4\n");
  }
  // An encoder with no ffprobe beside it is refused before any work.
  const std::string lonely = dir.path + "/lonely";
  writeFile(lonely, readAll);
  chmod(lonely.c_str(), 0755);
  const Result r = capture(dir.path, "--to 1 --output show.mp4 --ffmpeg " + lonely);
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "no ffprobe beside " + lonely + ": the MP4 is checked")) << r.errors;
  EXPECT_EQ(readFile(dir.path + "/show.mp4"), "old video");
}

// An encoder that takes no input, or once its input has ended neither ends
// nor writes to its file, fails the capture once the timeout has passed; one
// that ignores SIGTERM is killed after the grace, or at once by a second
// stop signal. Nothing is left either way.
TEST(CaptureEnds, AStuckEncoderIsStoppedWithAMessage) {
  TempDir dir;
  writeFile(dir.path + "/show.mp4", "old video");
  // Never reads: 60 large frames queue up, and the last wait times out.
  const std::string sleeper = fakeEncoder(dir.path + "/bin", "trap '' TERM\nexec sleep 600\n");
  Result r = capture(dir.path, "--to 1 --output show.mp4 --encoder-timeout 1 --ffmpeg " + sleeper);
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "the encoder " + sleeper +
                                     " took no input for 1 s; the encoder did not end within 3 s of "
                                     "SIGTERM and was killed"))
      << r.errors;

  // Reads everything, then hangs: stopped once its file has not changed
  // for the timeout. One that keeps writing for longer is waited for.
  const std::string small = "--size 64x48 --fps 10 --to 1 --output show.mp4 --encoder-timeout ";
  const std::string hanger =
      fakeEncoder(dir.path + "/bin", "cat <&3 >/dev/null & cat >/dev/null; exec sleep 600\n");
  r = capture(dir.path, small + "1 --ffmpeg " + hanger, "", 60);
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "the encoder " + hanger +
                                     " neither ended nor wrote to its file for 1 s after its input ended"))
      << r.errors;
  EXPECT_EQ(readFile(dir.path + "/show.mp4"), "old video");
  const std::string slow =
      fakeEncoder(dir.path + "/bin",
                  "ffmpeg \"$@\" || exit\nfor i in 1 2 3 4 5 6 7 8; do sleep 0.5; touch \"$out\"; done\n");
  r = capture(dir.path, small + "2 --ffmpeg " + slow);
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(readFile(dir.path + "/show.mp4").substr(4, 4), "ftyp");
  writeFile(dir.path + "/show.mp4", "old video");

  // Reads everything but ignores SIGTERM: after Ctrl-C, the grace, then SIGKILL.
  const std::string stubborn = fakeEncoder(
      dir.path + "/bin", "trap '' TERM\ncat <&3 >/dev/null & cat >/dev/null & while :; do sleep 1; done\n");
  const std::string args = "--size 64x48 --to 60 --output show.mp4 --progress lines --ffmpeg " + stubborn;
  Running run = start(dir.path, args);
  ASSERT_TRUE(waitUntil(framesDone(run)));
  kill(run.pid, SIGINT);
  r = finish(run, 60);
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(contains(r.errors, "interrupted by SIGINT; the encoder did not end within 3 s of SIGTERM"))
      << r.errors;

  // A second Ctrl-C while it waits kills the encoder at once.
  run = start(dir.path, args);
  ASSERT_TRUE(waitUntil(framesDone(run)));
  kill(run.pid, SIGINT);
  ASSERT_TRUE(waitUntil([&] { return contains(readFile(run.output + ".stderr"), "stopping the encoder"); }));
  kill(run.pid, SIGINT);
  r = finish(run, 60);
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_TRUE(
      contains(r.errors, "interrupted by SIGINT; the encoder was killed at once at another stop signal"))
      << r.errors;
  EXPECT_EQ(readFile(dir.path + "/show.mp4"), "old video");
  EXPECT_EQ(listing(dir.path), "bin\nshow.mp4\n");
}

// kill -9 in a PID namespace (the capture and ffmpeg die together, as in a
// container) leaves nothing in the output folders, and the next capture,
// with the same PID, runs.
TEST(CaptureEnds, AfterKillNineNothingIsLeftAndTheNextCaptureRuns) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: a PID namespace needs root";
  if (std::system("unshare --pid --fork --mount-proc --kill-child true 2>/dev/null") != 0)
    GTEST_SKIP() << "unshare cannot make a PID namespace here (a container without CAP_SYS_ADMIN?)";
  TempDir dir;
  for (const char* name : {"show.mp4", "show.wav", "sheet.png", "frames.log"})
    writeFile(dir.path + "/" + name, "old");
  const std::string outputs =
      "--output show.mp4 --wav show.wav --contact-sheet sheet.png --frame-log frames.log --png-dir frames ";
  const std::string namespaced = "unshare --pid --fork --mount-proc --kill-child";
  const Running run = start(dir.path, outputs + "--size 320x240 --to 60 --progress lines", namespaced);
  ASSERT_TRUE(waitUntil(framesDone(run)));
  kill(run.pid, SIGKILL);  // unshare; its child, the capture, gets SIGKILL with it
  finish(run, 60);
  EXPECT_EQ(listing(dir.path), "frames.log\nsheet.png\nshow.mp4\nshow.wav\n");
  for (const char* name : {"show.mp4", "show.wav", "sheet.png", "frames.log"})
    EXPECT_EQ(readFile(dir.path + "/" + name), "old") << name;

  const Result r = capture(dir.path, outputs + "--size 64x48 --fps 10 --to 1 --preset ultrafast", namespaced);
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(listing(dir.path + "/frames").size(), 10 * std::string("frame-000000.png\n").size());
  EXPECT_EQ(readFile(dir.path + "/show.mp4").substr(4, 4), "ftyp");
}

// In a sticky folder the capture's user cannot replace a file of another
// user: the commit fails there, and the file it had already replaced is put
// back. So with unnamed files, and with the named temporaries that stand in
// for them where there are none (here, with no /proc to reach them by).
TEST(CaptureEnds, AFailedCommitPutsBackWhatItReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: files of two other users need root";
  constexpr uid_t kCaptureUser = 4242, kNobody = 65534;
  const std::string asCaptureUser = "setpriv --reuid=4242 --regid=4242 --clear-groups";
  const std::string withoutProc = "unshare --mount sh -c 'mount -t tmpfs none /proc && exec \"$0\" \"$@\"' ";
  // The checkout may lie in a private folder (a home folder of mode 0700):
  // that user reads a copy of the show's data instead.
  const TempDir shared;
  ASSERT_EQ(chmod(shared.path.c_str(), 0755), 0);
  ASSERT_TRUE(copyReadable(kDataDir, shared.path, {"Data", "pelvorgrind.xm"}));
  const std::string data = "--data " + shared.path;
  std::vector<std::string> prefixes = {asCaptureUser};
  if (std::system((withoutProc + "true").c_str()) == 0) prefixes.push_back(withoutProc + asCaptureUser);
  for (const std::string& prefix : prefixes) {
    TempDir dir;
    ASSERT_EQ(chmod(dir.path.c_str(), 01777), 0);
    writeFile(dir.path + "/a.wav", "old sound");
    writeFile(dir.path + "/b.log", "old log");
    ASSERT_EQ(chown((dir.path + "/a.wav").c_str(), kCaptureUser, kCaptureUser), 0);
    ASSERT_EQ(chown((dir.path + "/b.log").c_str(), kNobody, kNobody), 0);
    Result r = capture(dir.path, "--to 0.5 --wav a.wav --frame-log b.log " + data, prefix);
    EXPECT_EQ(r.status, 1) << prefix << "\n" << r.errors;
    EXPECT_TRUE(contains(r.errors, "cannot write " + dir.path + "/b.log: Operation not permitted"))
        << r.errors;
    EXPECT_EQ(readFile(dir.path + "/a.wav"), "old sound") << prefix;
    EXPECT_EQ(readFile(dir.path + "/b.log"), "old log") << prefix;
    EXPECT_EQ(listing(dir.path), "a.wav\nb.log\n") << prefix;
    // What this user may replace, it does.
    r = capture(dir.path, "--to 0.5 --wav a.wav --frame-log c.log " + data, prefix);
    EXPECT_EQ(r.status, 0) << prefix << "\n" << r.errors;
    EXPECT_EQ(readFile(dir.path + "/a.wav").substr(0, 4), "RIFF") << prefix;
    EXPECT_EQ(listing(dir.path), "a.wav\nb.log\nc.log\n") << prefix;
  }
}

// Frames beyond what the process may hold open become named temporaries
// instead of failing, and leave nothing behind either.
TEST(CaptureEnds, MoreFramesThanOpenFilesAreWrittenWhole) {
  TempDir dir;
  const Result r =
      capture(dir.path, "--size 64x48 --fps 100 --to 2 --png-dir frames", "prlimit --nofile=100:100");
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(listing(dir.path), "frames\n");
  const std::string frames = listing(dir.path + "/frames");
  EXPECT_EQ(frames.size(), 200 * std::string("frame-000000.png\n").size());
  EXPECT_EQ(frames.find(".part"), std::string::npos);
  EXPECT_EQ(loadPng(framePath(dir.path + "/frames", 199)).width, 64);
}

// With descriptors 0-2 closed, no output file takes their place: the
// progress on standard error goes nowhere instead of into the frame log.
TEST(CaptureEnds, ClosedStandardStreamsTakeNoOutputsPlace) {
  TempDir dir;
  const std::string closer = dir.path + "/closed";
  writeFile(closer, "#!/bin/sh\nexec \"$@\" <&- >&- 2>&-\n");
  chmod(closer.c_str(), 0755);
  const std::string args =
      "--fps 10 --to 1 --wav a.wav --contact-sheet a.png --frame-log a.log --progress lines";
  ASSERT_EQ(capture(dir.path, args).status, 0);
  const std::string wav = readFile(dir.path + "/a.wav"), log = readFile(dir.path + "/a.log");
  const Result r = capture(dir.path, args, closer);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.errors, "");
  EXPECT_EQ(readFile(dir.path + "/a.log"), log);
  EXPECT_TRUE(readFile(dir.path + "/a.wav") == wav);
}
