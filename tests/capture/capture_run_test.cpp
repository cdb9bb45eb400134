// The capture program run for real (offscreen llvmpipe, offline sound):
// what each frame shows against the music time it was drawn at, exact
// repeatability, ranges, the MP4 as ffprobe sees it, and every error path.
#include <gtest/gtest.h>

#include <stb_image.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bmp_loader.h"
#include "frame_timing.h"
#include "test_files.h"

namespace {

const std::string kProgram = CAPTURE_PROGRAM;
const std::string kDataDir = SHOW_DATA_DIR;

// Names in `dir` (dot files too), for checking that nothing was left behind.
std::string listing(const std::string& dir) {
  const std::string out = dir + ".listing";
  std::system(("ls -A '" + dir + "' > '" + out + "' 2>&1").c_str());
  const std::string names = readFile(out);
  std::remove(out.c_str());
  return names;
}

struct Result {
  int status;          // exit status, or -1 when it did not exit normally
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs the capture program with `args` (shell words) in `dir`, with `env`
// (shell assignments) in front.
Result capture(const std::string& dir, const std::string& args, const std::string& env = "") {
  const std::string out = dir + "/.stdout", err = dir + "/.stderr";
  const std::string command = "cd '" + dir + "' && " + env + " '" + kProgram + "' --data '" + kDataDir + "' " + args +
                              " > '" + out + "' 2> '" + err + "' < /dev/null";
  const int raw = std::system(command.c_str());
  Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
  std::remove(out.c_str());
  std::remove(err.c_str());
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
double frameCounterAt(int64_t n) { return static_cast<double>(static_cast<float>(1.5 * static_cast<double>(n))); }

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
        for (int x = static_cast<int>(left + u0 * spanX); x < static_cast<int>(left + u1 * spanX); ++x, ++frameCount)
          for (int c = 0; c < 3; ++c) frameSum[c] += frame.at(x, y)[c];
      for (int y = static_cast<int>(v0 * picture.height); y < static_cast<int>(v1 * picture.height); ++y)
        for (int x = static_cast<int>(u0 * picture.width); x < static_cast<int>(u1 * picture.width);
             ++x, ++pictureCount) {
          const int row = picture.height - 1 - y;  // the picture is stored bottom row first
          for (int c = 0; c < 3; ++c) pictureSum[c] += picture.pixels[(static_cast<size_t>(row) * picture.width + x) * 3 + c];
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
    result = capture(dir->path,
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
  EXPECT_TRUE(c.substr(44) == a.substr(static_cast<size_t>(44 + (sampleAtFrame(rate, 493) - sampleAtFrame(rate, 490)) * 4)));

  const std::string logA = readFile(dir.path + "/a.log"), logC = readFile(dir.path + "/c.log");
  EXPECT_EQ(logA, readFile(dir.path + "/b.log"));
  EXPECT_EQ(logC.substr(logC.find('\n') + 1), logA.substr(logA.find("\n493 ") + 1));
}

TEST(CaptureMp4, FfprobeSeesTheAskedSizeRateDurationAndSound) {
  TempDir dir;
  const Result r = capture(dir.path, "--size 320x240 --fps 25 --from 10 --to 11.2 --output show.mp4 --preset ultrafast");
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_NE(r.errors.find("wrote " + dir.path + "/show.mp4"), std::string::npos) << r.errors;
  EXPECT_EQ(listing(dir.path), "show.mp4\n");  // no temporary file left
  const std::string probe = dir.path + "/probe.txt";
  ASSERT_EQ(std::system(("ffprobe -v error -show_entries stream=codec_type,codec_name,width,height,r_frame_rate,"
                         "nb_frames,duration,pix_fmt,color_space -of default=noprint_wrappers=1 '" + dir.path + "/show.mp4' > '" + probe +
                         "'").c_str()),
            0);
  const std::string p = readFile(probe);
  for (const char* expected : {"codec_name=h264", "codec_type=video", "width=320", "height=240", "r_frame_rate=25/1",
                               "nb_frames=30", "pix_fmt=yuv420p", "color_space=bt709", "codec_name=aac",
                               "codec_type=audio"})
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
  EXPECT_NE(r.errors.find("cannot write " + dir.path + "/file/a.mp4: Not a directory"), std::string::npos) << r.errors;
  r = capture(dir.path, "--wav missing/a.wav --to 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("cannot write " + dir.path + "/missing/a.wav: No such file or directory"),
            std::string::npos)
      << r.errors;
  r = capture(dir.path, "--wav a.wav --png-dir file/frames --to 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.errors.find("cannot make the folder " + dir.path + "/file/frames"), std::string::npos) << r.errors;
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

  const std::string quitter = dir.path + "/quitter";
  std::ofstream(quitter) << "#!/bin/sh\necho 'stand-in encoder: giving up' >&2\nexit 1\n";
  chmod(quitter.c_str(), 0755);
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
  EXPECT_EQ(listing(dir.path), "a.mp4\nquitter\n");
}

// Under a desktop session a broken picture's box still goes to standard
// error: a box on the display would wait for a click that never comes
// (`timeout` ends such a run with status 124).
TEST(CaptureErrors, OnADesktopABrokenPictureIsReportedOnStandardError) {
  PrivateDisplay display;
  ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
  TempDir dir, data;
  ASSERT_EQ(std::system(("cp -r '" + kDataDir + "/pelvorgrind.xm' '" + kDataDir + "/Data' '" + data.path + "'").c_str()),
            0);
  std::ofstream(data.path + "/Data/crate.bmp", std::ios::trunc) << "not a picture";
  const Result r = capture(dir.path, "--png-dir frames --to 1 --data " + data.path,
                           "DISPLAY=" + display.name + " timeout 120");
  EXPECT_EQ(r.status, 1) << r.errors;
  EXPECT_NE(r.errors.find("Error: Unknown DIB file format.\n"), std::string::npos) << r.errors;
  EXPECT_NE(r.errors.find("pictures could not be loaded"), std::string::npos) << r.errors;
  EXPECT_EQ(listing(dir.path), "");
}

}  // namespace
