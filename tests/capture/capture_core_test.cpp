// The capture program's parts that need no GL: options, frame arithmetic,
// WAV and picture output, the ffmpeg pipe (against a stand-in script), the
// temporary-file handling and the progress texts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ffmpeg_pipe.h"
#include "frame_timing.h"
#include "options.h"
#include "outputs.h"
#include "pictures.h"
#include "progress.h"
#include "test_files.h"
#include "wav_file.h"

namespace {

bool parse(std::vector<const char*> args, CaptureOptions* o, std::string* error) {
  args.insert(args.begin(), "quendaloop-capture");
  return parseCaptureOptions(static_cast<int>(args.size()), args.data(), o, error);
}

std::string parseError(std::vector<const char*> args) {
  CaptureOptions o;
  std::string error;
  EXPECT_FALSE(parse(args, &o, &error));
  return error;
}

void writeScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  chmod(path.c_str(), 0755);
}

}  // namespace

TEST(CaptureOptions, DefaultsAndEveryValueForm) {
  CaptureOptions o;
  std::string error;
  ASSERT_TRUE(parse({"--output", "show.mp4"}, &o, &error)) << error;
  EXPECT_EQ(o.width, 640);
  EXPECT_EQ(o.height, 480);
  EXPECT_EQ(o.rate.num, 60);
  EXPECT_EQ(o.rate.den, 1);
  EXPECT_EQ(o.fromMicros, 0);
  EXPECT_EQ(o.toMicros, 60000000);
  EXPECT_EQ(o.mp4Path, "show.mp4");
  EXPECT_EQ(o.progress, CaptureOptions::kProgressAuto);
  EXPECT_EQ(o.preset, "superfast");
  EXPECT_EQ(o.crf, 18);

  ASSERT_TRUE(parse({"-o",      "a.mp4",       "--size=1920x1440",
                     "--fps",   "30000/1001",  "--from=2.5",
                     "--to",    "7",           "--png-dir",
                     "frames",  "--wav=a.wav", "--contact-sheet",
                     "s.png",   "--frame-log", "f.txt",
                     "--data",  "/d",          "--ffmpeg",
                     "/bin/ff", "--preset",    "ultrafast",
                     "--crf",   "0",           "-q"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.width, 1920);
  EXPECT_EQ(o.height, 1440);
  EXPECT_EQ(o.rate.num, 30000);
  EXPECT_EQ(o.rate.den, 1001);
  EXPECT_EQ(o.fromMicros, 2500000);
  EXPECT_EQ(o.toMicros, 7000000);
  EXPECT_EQ(o.pngDir, "frames");
  EXPECT_EQ(o.wavPath, "a.wav");
  EXPECT_EQ(o.sheetPath, "s.png");
  EXPECT_EQ(o.frameLogPath, "f.txt");
  EXPECT_EQ(o.dataDir, "/d");
  EXPECT_EQ(o.ffmpegProgram, "/bin/ff");
  EXPECT_EQ(o.preset, "ultrafast");
  EXPECT_EQ(o.crf, 0);
  EXPECT_EQ(o.progress, CaptureOptions::kProgressNone);

  // --help needs nothing else; an odd size is fine without an MP4.
  ASSERT_TRUE(parse({"--help"}, &o, &error));
  EXPECT_TRUE(o.help);
  EXPECT_TRUE(parse({"--png-dir", "x", "--size", "641x481"}, &o, &error)) << error;
}

TEST(CaptureOptions, RefusesBadCommandLinesWithAReason) {
  EXPECT_EQ(parseError({"--output", "a.mp4", "--bogus"}), "unknown option --bogus");
  EXPECT_EQ(parseError({"-x"}), "unknown option -x");
  EXPECT_EQ(parseError({"show.mp4"}), "unexpected argument show.mp4");
  EXPECT_EQ(parseError({"--output"}), "option --output needs a value");
  EXPECT_EQ(parseError({"--help=yes"}), "option --help takes no value");
  EXPECT_NE(parseError({"-o", "a.mp4", "--fps", "0"}).find("bad value for --fps"), std::string::npos);
  EXPECT_NE(parseError({"-o", "a.mp4", "--size", "640"}).find("bad value for --size"), std::string::npos);
  EXPECT_NE(parseError({"-o", "a.mp4", "--from", "-1"}).find("bad value for --from"), std::string::npos);
  EXPECT_NE(parseError({"-o", "a.mp4", "--preset", "warp"}).find("bad value for --preset"),
            std::string::npos);
  EXPECT_NE(parseError({"-o", "a.mp4", "--progress", "loud"}).find("bad value for --progress"),
            std::string::npos);
  EXPECT_NE(parseError({"-o", "a.mp4", "--crf", "52"}).find("bad value for --crf"), std::string::npos);
  EXPECT_NE(parseError({"-o", "a.mp4", "--from", "10", "--to", "10"}).find("range is empty"),
            std::string::npos);
  EXPECT_NE(parseError({"--fps", "30"}).find("nothing to write"), std::string::npos);
  EXPECT_NE(parseError({"-o", "a.mp4", "--size", "641x480"}).find("even width and height"),
            std::string::npos);
}

TEST(CaptureOptions, FrameRatesAreExactFractionsWithinLimits) {
  FrameRate r{0, 0};
  ASSERT_TRUE(parseFrameRate("29.97", &r));
  EXPECT_EQ(r.num, 2997);
  EXPECT_EQ(r.den, 100);
  ASSERT_TRUE(parseFrameRate("60.0", &r));
  EXPECT_EQ(r.num, 60);
  EXPECT_EQ(r.den, 1);
  ASSERT_TRUE(parseFrameRate("50/2", &r));
  EXPECT_EQ(r.num, 25);
  EXPECT_EQ(r.den, 1);
  ASSERT_TRUE(parseFrameRate("1", &r));
  EXPECT_EQ(r.num, 1);
  EXPECT_EQ(r.den, 1);
  ASSERT_TRUE(parseFrameRate("1001/1001", &r));
  EXPECT_EQ(r.num, 1);
  EXPECT_EQ(r.den, 1);
  EXPECT_TRUE(parseFrameRate("1000", &r));
  // 1 to 1000 frames per second: below one, a frame would carry more than a
  // second of sound.
  for (const char* bad : {"", "0", "0/5", "60/0", "1000.5", "2001/2", "abc", "60fps", "-60", "6e1", "1/",
                          "/2", "1.2.3", "30000/1001/2", "0.5", "0.9999", "0.0001", "999/1000", "1/2"})
    EXPECT_FALSE(parseFrameRate(bad, &r)) << bad;
}

TEST(CaptureOptions, SecondsAndSizesParseExactly) {
  int64_t us = -1;
  ASSERT_TRUE(parseSeconds("2.5", &us));
  EXPECT_EQ(us, 2500000);
  ASSERT_TRUE(parseSeconds("0.000001", &us));
  EXPECT_EQ(us, 1);
  ASSERT_TRUE(parseSeconds("86400", &us));
  EXPECT_EQ(us, 86400000000LL);
  for (const char* bad : {"", "-1", "1.1234567", "86400.5", "1e3", ".5", "5.", "nan", "999999999"})
    EXPECT_FALSE(parseSeconds(bad, &us)) << bad;
  int w = 0, h = 0;
  ASSERT_TRUE(parseSize("1920x1440", &w, &h));
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1440);
  for (const char* bad :
       {"640", "0x480", "640x0", "640x", "x480", "640X480", "65536x1", "64 0x480", "-640x480"})
    EXPECT_FALSE(parseSize(bad, &w, &h)) << bad;
}

TEST(FrameTiming, SamplesPerFrameAddUpExactlyAtAnyRate) {
  const FrameRate sixty{60, 1};
  EXPECT_EQ(sampleAtFrame(sixty, 0), 0);
  for (int64_t n = 0; n < 60; ++n) EXPECT_EQ(sampleAtFrame(sixty, n + 1) - sampleAtFrame(sixty, n), 735);
  // NTSC: chunks of 1471 or 1472 samples that add up to 1001 s per 30000 frames.
  const FrameRate ntsc{30000, 1001};
  EXPECT_EQ(sampleAtFrame(ntsc, 30000), 44100LL * 1001);
  for (int64_t n = 0; n < 3000; ++n) {
    const int64_t chunk = sampleAtFrame(ntsc, n + 1) - sampleAtFrame(ntsc, n);
    ASSERT_TRUE(chunk == 1471 || chunk == 1472) << n;
  }
  // A long show at a high rate stays exact (no overflow).
  const FrameRate fast{1000, 1};
  EXPECT_EQ(sampleAtFrame(fast, 86400LL * 1000), 86400LL * 44100);
}

TEST(FrameTiming, RangesAndMusicTimeLandOnTheRightFrames) {
  const FrameRate sixty{60, 1};
  EXPECT_EQ(firstFrameAtOrAfter(sixty, 0), 0);
  EXPECT_EQ(firstFrameAtOrAfter(sixty, 2000000), 120);
  EXPECT_EQ(firstFrameAtOrAfter(sixty, 2000001), 121);
  EXPECT_EQ(firstFrameAtOrAfter(FrameRate{30, 1}, 100000), 3);  // 0.1 s * 30 is exactly 3
  EXPECT_EQ(firstFrameAtOrAfter(FrameRate{2997, 100}, 1000000), 30);
  // The frame at 11 s of a 60 fps capture sees the music at exactly 11000 ms,
  // the one before it 10983 ms.
  EXPECT_EQ(musicMsAtSample(sampleAtFrame(sixty, 660)), 11000);
  EXPECT_EQ(musicMsAtSample(sampleAtFrame(sixty, 659)), 10983);
  // At a rate with whole samples per frame the music time is the frame's
  // nominal time in whole ms; otherwise the start sample rounds down first,
  // which can take one more millisecond off (frame 24 at 23.976 fps starts
  // at 1.001 s nominally, at sample 44144 = 1000.99 ms).
  for (int64_t n = 0; n < 5000; ++n) ASSERT_EQ(musicMsAtSample(sampleAtFrame(sixty, n)), n * 1000 / 60) << n;
  const FrameRate odd{24000, 1001};
  EXPECT_EQ(musicMsAtSample(sampleAtFrame(odd, 24)), 1000);
  for (int64_t n = 0; n < 5000; ++n) {
    const int64_t nominal = n * 1000 * 1001 / 24000;
    const int64_t ms = musicMsAtSample(sampleAtFrame(odd, n));
    ASSERT_TRUE(ms == nominal || ms == nominal - 1) << n;
  }
  EXPECT_DOUBLE_EQ(framesPerSecond(FrameRate{2997, 100}), 29.97);
}

TEST(FrameTiming, TheContactSheetTakesTheFirstFrameOfEachSecond) {
  // 10 fps from 0 to 2.5 s: frames 0, 10, 20.
  EXPECT_EQ(secondStartFrames(FrameRate{10, 1}, 0, 25), (std::vector<int64_t>{0, 10, 20}));
  // From 1.25 s: the first frame stands for second 1, then 20 and 30.
  EXPECT_EQ(secondStartFrames(FrameRate{10, 1}, 13, 31), (std::vector<int64_t>{13, 20, 30}));
  // At 29.97 fps second 1 starts with frame 30 (1.001 s), second 2 with 60.
  EXPECT_EQ(secondStartFrames(FrameRate{2997, 100}, 0, 61), (std::vector<int64_t>{0, 30, 60}));
  EXPECT_EQ(secondStartFrames(FrameRate{1, 1}, 0, 60).size(), 60u);
  EXPECT_TRUE(secondStartFrames(FrameRate{1, 1}, 5, 5).empty());
}

TEST(WavFile, HeaderAndDataMatchWhatWasWritten) {
  uint8_t header[44];
  wavHeader(header, 735);
  const std::string h(reinterpret_cast<char*>(header), 44);
  EXPECT_EQ(h.substr(0, 4), "RIFF");
  EXPECT_EQ(h.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(h.substr(36, 4), "data");
  EXPECT_EQ(header[40] | header[41] << 8 | header[42] << 16, 735 * 4);
  EXPECT_EQ(header[4] | header[5] << 8 | header[6] << 16, 36 + 735 * 4);
  EXPECT_EQ(header[24] | header[25] << 8 | header[26] << 16, 44100);
  EXPECT_EQ(header[22], 2);   // channels
  EXPECT_EQ(header[34], 16);  // bits

  TempDir dir;
  std::string error;
  const std::string path = dir.path + "/a.wav";
  WavFile* wav = wavOpen(path.c_str());
  ASSERT_NE(wav, nullptr);
  std::vector<int16_t> pcm(2 * 3000);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(i * 37 - 30000);
  ASSERT_TRUE(wavWrite(wav, pcm.data(), 1000));
  ASSERT_TRUE(wavWrite(wav, pcm.data() + 2000, 2000));  // spans the writer's internal blocks
  ASSERT_TRUE(wavClose(wav, &error)) << error;
  const std::string file = readFile(path);
  ASSERT_EQ(file.size(), 44u + 3000 * 4);
  uint8_t expected[44];
  wavHeader(expected, 3000);
  EXPECT_EQ(file.substr(0, 44), std::string(reinterpret_cast<char*>(expected), 44));
  for (size_t i = 0; i < pcm.size(); ++i) {
    const auto lo = static_cast<uint8_t>(file[44 + 2 * i]);
    const auto hi = static_cast<uint8_t>(file[45 + 2 * i]);
    ASSERT_EQ(static_cast<int16_t>(lo | hi << 8), pcm[i]) << i;
  }
  EXPECT_EQ(wavOpen((dir.path + "/missing/a.wav").c_str()), nullptr);
}

// /dev/full takes the open and refuses every write with ENOSPC: a full disk
// without root.
TEST(WavFile, AFullDiskIsReportedWithItsReason) {
  WavFile* wav = wavOpen("/dev/full");
  ASSERT_NE(wav, nullptr);
  std::vector<int16_t> pcm(2 * 44100);
  bool written = true;
  for (int i = 0; i < 4 && written; ++i) written = wavWrite(wav, pcm.data(), 44100);
  EXPECT_FALSE(written);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_FALSE(wavWrite(wav, pcm.data(), 1));  // and stays failed
  std::string error;
  EXPECT_FALSE(wavClose(wav, &error));
  EXPECT_EQ(error, "No space left on device");

  // A short file fails at the close's flush.
  wav = wavOpen("/dev/full");
  ASSERT_NE(wav, nullptr);
  EXPECT_TRUE(wavWrite(wav, pcm.data(), 10));
  EXPECT_FALSE(wavClose(wav, &error));
  EXPECT_EQ(error, "No space left on device");
}

TEST(Pictures, BoxResamplingAveragesEachFootprint) {
  // 2x2 black/white blocks shrink by four to an even grey.
  std::vector<uint8_t> checker(8 * 8 * 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      for (int c = 0; c < 3; ++c) checker[(y * 8 + x) * 3 + c] = ((x / 2 + y / 2) % 2) ? 255 : 0;
  std::vector<uint8_t> small(2 * 2 * 3);
  resampleBox(checker.data(), 8, 8, small.data(), 2, 2);
  for (uint8_t v : small) EXPECT_EQ(v, 128);

  // 5 -> 2 columns: pixel centres 0.5, 1.5 fall in the first output pixel,
  // 2.5 (exactly on the border), 3.5, 4.5 in the second.
  const uint8_t row[] = {10, 0, 0, 20, 0, 0, 60, 0, 0, 80, 0, 0, 100, 0, 0};
  uint8_t out[6];
  resampleBox(row, 5, 1, out, 2, 1);
  EXPECT_EQ(out[0], 15);
  EXPECT_EQ(out[3], 80);

  // Stretching copies the nearest pixel.
  const uint8_t one[] = {1, 2, 3};
  uint8_t big[9 * 3];
  resampleBox(one, 1, 1, big, 3, 3);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(big[i * 3 + 2], 3);
}

TEST(Pictures, ContactSheetLaysThumbnailsOutOnAGrid) {
  ContactSheet sheet = contactSheetMake(3, 4, 8, 6);
  EXPECT_EQ(sheet.thumbHeight, 3);
  int64_t w = 0, h = 0;
  contactSheetSize(sheet, &w, &h);
  EXPECT_EQ(w, kSheetGap);
  EXPECT_EQ(h, kSheetGap);
  std::vector<uint8_t> frame(8 * 6 * 3);
  for (int i = 0; i < 4; ++i) {
    std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(100 + i));
    contactSheetAdd(&sheet, frame.data(), 8, 6);
  }
  contactSheetSize(sheet, &w, &h);
  EXPECT_EQ(w, kSheetGap + 3 * (4 + kSheetGap));
  EXPECT_EQ(h, kSheetGap + 2 * (3 + kSheetGap));
  const std::vector<uint8_t> image = contactSheetCompose(sheet);
  ASSERT_EQ(image.size(), static_cast<size_t>(w * h * 3));
  auto at = [&](int x, int y) { return image[(y * w + x) * 3]; };
  EXPECT_EQ(at(0, 0), kSheetBackground);
  EXPECT_EQ(at(kSheetGap, kSheetGap), 100);                               // first, top left
  EXPECT_EQ(at(kSheetGap + 3, kSheetGap + 2), 100);                       // its far corner
  EXPECT_EQ(at(kSheetGap + 4, kSheetGap), kSheetBackground);              // the gap after it
  EXPECT_EQ(at(2 * kSheetGap + 4, kSheetGap), 101);                       // second
  EXPECT_EQ(at(kSheetGap, 2 * kSheetGap + 3), 103);                       // fourth starts row two
  EXPECT_EQ(at(2 * kSheetGap + 4, 2 * kSheetGap + 3), kSheetBackground);  // empty cell

  // Row by row, as the PNG writer asks for them, the same image.
  std::vector<uint8_t> rows;
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  for (int64_t y = 0; y < h; ++y) {
    contactSheetRow(sheet, y, row.data());
    rows.insert(rows.end(), row.begin(), row.end());
  }
  EXPECT_EQ(rows, image);

  TempDir dir;
  std::string error;
  EXPECT_TRUE(contactSheetWrite(sheet, (dir.path + "/s.png").c_str(), &error)) << error;
  EXPECT_EQ(readFile(dir.path + "/s.png").substr(1, 3), "PNG");
  EXPECT_FALSE(contactSheetWrite(contactSheetMake(3, 4, 8, 6), (dir.path + "/empty.png").c_str(), &error));
  EXPECT_EQ(error, "no thumbnail to lay out");
}

TEST(Pictures, ContactSheetsBeyondTheLimitsAreToldApartBeforeDrawing) {
  // 160 x 120 thumbnails, 10 a row: the whole show fits easily.
  const ContactSheet small = contactSheetMake(10, 160, 640, 480);
  EXPECT_EQ(contactSheetTooLarge(small, 60), "");
  int64_t w = 0, h = 0;
  contactSheetSizeFor(small, 60, &w, &h);
  EXPECT_EQ(w, 4 + 10 * 164);
  EXPECT_EQ(h, 4 + 6 * 124);
  // An 8 x 682 frame as a 4096-wide thumbnail is 349184 high: one of them
  // is 1.4 gigapixels, over the limit in all (its height alone would fit).
  const ContactSheet tall = contactSheetMake(10, 4096, 8, 682);
  EXPECT_EQ(tall.thumbHeight, 349184);
  EXPECT_NE(contactSheetTooLarge(tall, 1).find("it would be 4104x349192 pixels"), std::string::npos);
  // Sixty of them: six rows, 2095132 pixels high, over the side limit; the
  // sizes are 64-bit all the way (no int overflow).
  contactSheetSizeFor(tall, 60, &w, &h);
  EXPECT_EQ(w, 41004);
  EXPECT_EQ(h, 4 + 6 * (349184 + 4));
  EXPECT_NE(contactSheetTooLarge(tall, 60).find("it would be 41004x2095132 pixels"), std::string::npos);
  // A day of one thumbnail a row, each as high as possible.
  const ContactSheet column = contactSheetMake(1, 4096, 1, 65535);
  contactSheetSizeFor(column, 86400, &w, &h);
  EXPECT_EQ(h, 4 + 86400 * (int64_t{4096} * 65535 + 4));
  EXPECT_NE(contactSheetTooLarge(column, 86400), "");
  // Thumbnails of a square frame, 16376 wide: one makes a sheet of exactly
  // 16384 x 16384, the limit in all; two are over it.
  const ContactSheet square = contactSheetMake(1, 16376, 1, 1);
  EXPECT_EQ(square.thumbHeight, 16376);
  EXPECT_EQ(contactSheetTooLarge(square, 1), "");  // 16384 x 16384
  EXPECT_NE(contactSheetTooLarge(square, 2), "");
}

TEST(Pictures, PngWritesAreCheckedAndTheirFailuresExplained) {
  TempDir dir;
  std::string error;
  std::vector<uint8_t> rgb(64 * 48 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 13);
  const std::string path = dir.path + "/a.png";
  ASSERT_TRUE(writePng(path.c_str(), rgb.data(), 64, 48, &error)) << error;
  const std::string png = readFile(path);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");  // complete

  EXPECT_FALSE(writePng("/dev/full", rgb.data(), 64, 48, &error));
  EXPECT_EQ(error, "No space left on device");
  EXPECT_FALSE(writePng((dir.path + "/missing/a.png").c_str(), rgb.data(), 64, 48, &error));
  EXPECT_EQ(error, "No such file or directory");
  EXPECT_FALSE(writePngRows(
      path.c_str(), kPngMaxSide + 1, 1, [&](int64_t) { return rgb.data(); }, &error));
  EXPECT_EQ(error, "a PNG is 1 to 1000000 pixels on each side, not 1000001x1");
  EXPECT_EQ(readFile(path), png);  // refused before the file was touched
}

TEST(Progress, TextsShowFramesRateAndTimeLeft) {
  EXPECT_EQ(formatDuration(0), "0:00");
  EXPECT_EQ(formatDuration(-5), "0:00");
  EXPECT_EQ(formatDuration(59.2), "1:00");
  EXPECT_EQ(formatDuration(61), "1:01");
  EXPECT_EQ(formatDuration(3600), "1:00:00");
  EXPECT_EQ(formatDuration(3725), "1:02:05");
  EXPECT_EQ(progressLine(360, 3600, 187.26, 17.3), "capture: 360/3600 frames, 187.3 fps, 0:18 left");
  const std::string half = progressBar(50, 100, 10, 5, 60);
  EXPECT_LE(half.size(), 60u);
  const size_t filled = half.find_first_not_of('#', 1) - 1;
  const size_t open = half.find(']') - 1;
  EXPECT_EQ(filled, open / 2);
  EXPECT_EQ(progressBar(100, 100, 10, 0, 60).find('-'), std::string::npos);
  EXPECT_NE(progressBar(0, 100, 10, 0, 60).find("[-"), std::string::npos);
  EXPECT_EQ(progressBar(1, 2, 1, 1, 10).front(), '1');  // too narrow for a bar: numbers only
}

TEST(EncoderPipe, ArgumentsDescribeTheRawInputsAndTheMp4) {
  const std::vector<std::string> args =
      mp4Arguments({"ffmpeg", "/out/a:b.mp4", 1920, 1440, {30000, 1001}, "veryfast", 18});
  auto after = [&](const std::string& flag) {
    for (size_t i = 0; i + 1 < args.size(); ++i)
      if (args[i] == flag) return args[i + 1];
    return std::string("(missing)");
  };
  EXPECT_EQ(args.front(), "ffmpeg");
  EXPECT_EQ(args.back(), "file:/out/a:b.mp4");
  EXPECT_EQ(after("-video_size"), "1920x1440");
  EXPECT_EQ(after("-framerate"), "30000/1001");
  EXPECT_EQ(after("-pix_fmt"), "rgb24");
  EXPECT_EQ(after("-ar"), "44100");
  EXPECT_EQ(after("-c:v"), "libx264");
  EXPECT_EQ(after("-c:a"), "aac");
  EXPECT_NE(std::find(args.begin(), args.end(), "pipe:3"), args.end());
  EXPECT_EQ(mp4Arguments({"ffmpeg", "rel.mp4", 2, 2, {1, 1}, "fast", 1}).back(), "file:./rel.mp4");
}

// Writes 40 frames with their sound through `script` (run as
// `script DIR`, to leave DIR/video and DIR/audio) and checks both arrive whole.
void expectStreamsDelivered(const std::string& scriptBody) {
  TempDir dir;
  const std::string fake = dir.path + "/fake-ffmpeg";
  writeScript(fake, scriptBody);
  std::string error;
  EncoderPipe* pipe = encoderStart({fake, dir.path}, -1, "", kEncoderTimeoutSeconds, &error);
  ASSERT_NE(pipe, nullptr) << error;
  std::string video, audio;
  std::vector<uint8_t> frame(300000), pcm(2940);
  for (int n = 0; n < 40; ++n) {
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + n);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 3 + n);
    ASSERT_TRUE(encoderWrite(pipe, frame.data(), frame.size(), pcm.data(), pcm.size()));
    video.append(frame.begin(), frame.end());
    audio.append(pcm.begin(), pcm.end());
  }
  ASSERT_TRUE(encoderFinish(pipe, &error)) << error;
  EXPECT_TRUE(readFile(dir.path + "/video") == video);
  EXPECT_TRUE(readFile(dir.path + "/audio") == audio);
}

TEST(EncoderPipe, DeliversBothStreamsWhole) {
  expectStreamsDelivered("cat <&3 > \"$1/audio\" & cat > \"$1/video\"; wait\n");
}

// Like ffmpeg opening its inputs: nothing of the frames is read until 64 KB
// of sound (22 frames' worth here) have arrived; the frames must queue up
// meanwhile instead of blocking the sound.
TEST(EncoderPipe, KeepsSendingSoundWhileTheChildWaitsForIt) {
  expectStreamsDelivered(
      "head -c 65536 <&3 > \"$1/audio\"\n"
      "cat <&3 >> \"$1/audio\" & cat > \"$1/video\"; wait\n");
}

TEST(EncoderPipe, ReportsAMissingProgramAndAChildThatGivesUp) {
  std::string error;
  EXPECT_EQ(encoderStart({"/nonexistent/ffmpeg"}, -1, "", 1, &error), nullptr);
  EXPECT_EQ(error, "/nonexistent/ffmpeg not found");
  EXPECT_EQ(findProgram("/nonexistent/ffmpeg"), "");
  EXPECT_NE(findProgram("sh"), "");

  TempDir dir;
  const std::string plain = dir.path + "/not-executable";
  std::ofstream(plain) << "x";
  EXPECT_EQ(findProgram(plain), "");

  // A child that exits at once: delivery fails instead of hanging or
  // killing the writer with SIGPIPE, and the exit status is reported.
  const std::string quitter = dir.path + "/quitter";
  writeScript(quitter, "exit 3\n");
  EncoderPipe* pipe = encoderStart({quitter}, -1, "", 1, &error);
  ASSERT_NE(pipe, nullptr) << error;
  std::vector<uint8_t> big(4 << 20);
  encoderWrite(pipe, big.data(), big.size(), big.data(), 4096);  // may fail now or at the end
  EXPECT_FALSE(encoderFinish(pipe, &error));
  EXPECT_EQ(error, "the encoder " + quitter + " stopped reading (exit status 3)");

  // A child that reads everything and then fails.
  const std::string reader = dir.path + "/reader";
  writeScript(reader, "cat <&3 >/dev/null & cat >/dev/null; wait; exit 4\n");
  pipe = encoderStart({reader}, -1, "", 1, &error);
  ASSERT_NE(pipe, nullptr) << error;
  EXPECT_TRUE(encoderWrite(pipe, big.data(), big.size(), big.data(), 4096));
  EXPECT_FALSE(encoderFinish(pipe, &error));
  EXPECT_EQ(error, "the encoder " + reader + " failed (exit status 4)");
}

TEST(Outputs, FilesAppearOnlyOnCommitAndFailuresLeaveNothing) {
  TempDir dir;
  std::string error;
  const std::string final = dir.path + "/show.mp4";
  std::ofstream(final) << "old";
  const OutputFile file = outputReserve(final, &error);
  ASSERT_FALSE(file.path.empty()) << error;
  EXPECT_GE(file.fd, 0);  // unnamed: nothing to see in the folder
  std::ofstream(file.path) << "new";
  ASSERT_TRUE(outputPrepareFolder(dir.path + "/frames", &error)) << error;
  const OutputFile frame = outputReserve(dir.path + "/frames/frame-000000.png", &error);
  ASSERT_FALSE(frame.path.empty()) << error;
  EXPECT_EQ(listing(dir.path), "show.mp4\n");  // the frame folder comes at commit

  // Failure: the old file stays, nothing else appears.
  outputsDiscardAll();
  EXPECT_EQ(readFile(final), "old");
  EXPECT_EQ(listing(dir.path), "show.mp4\n");

  // Success: the new content replaces the old; the frame appears under its name.
  std::ofstream(outputReserve(final, &error).path) << "new";
  ASSERT_TRUE(outputPrepareFolder(dir.path + "/frames", &error)) << error;
  std::ofstream(outputReserve(dir.path + "/frames/frame-000000.png", &error).path) << "png";
  ASSERT_TRUE(outputsCommit(&error)) << error;
  EXPECT_EQ(readFile(final), "new");
  EXPECT_EQ(readFile(dir.path + "/frames/frame-000000.png"), "png");
  outputsDiscardAll();
  EXPECT_EQ(listing(dir.path), "frames\nshow.mp4\n");
  EXPECT_EQ(listing(dir.path + "/frames"), "frame-000000.png\n");

  EXPECT_EQ(outputReserve(dir.path + "/missing/show.mp4", &error).path, "");
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  EXPECT_EQ(outputReserve(dir.path, &error).path, "");
  EXPECT_NE(error.find("it is a folder"), std::string::npos) << error;
  EXPECT_FALSE(outputPrepareFolder(final, &error));
  EXPECT_NE(error.find("not a folder"), std::string::npos) << error;
  EXPECT_FALSE(outputPrepareFolder(dir.path + "/missing/frames", &error));
}

TEST(Outputs, TemporaryNamesFitWhereTheFinalNameFits) {
  EXPECT_EQ(temporaryName("show.mp4", 255, "0a1b2c3d"), ".show.mp4.0a1b2c3d.part");
  // 255 bytes: cut to the budget.
  const std::string cut = temporaryName(std::string(251, 'n') + ".wav", 255, "0a1b2c3d");
  EXPECT_EQ(cut.size(), 255u);
  EXPECT_EQ(cut.substr(0, 20), "." + std::string(19, 'n'));
  EXPECT_EQ(cut.substr(cut.size() - 14), ".0a1b2c3d.part");
  EXPECT_LE(temporaryName(std::string(255, 'x'), 143, "0a1b2c3d").size(), 143u);  // eCryptfs
  // A cut never splits a UTF-8 character: "é" is two bytes.
  std::string accents;
  for (int i = 0; i < 127; ++i) accents += "\xc3\xa9";
  for (size_t budget = 40; budget < 48; ++budget) {
    const std::string name = temporaryName(accents, budget, "0a1b2c3d");
    ASSERT_LE(name.size(), budget);
    const std::string kept = name.substr(1, name.find('.', 1) - 1);
    EXPECT_EQ(kept.size() % 2, 0u) << name;
    EXPECT_EQ(accents.substr(0, kept.size()), kept);
  }
  // No room even for a cut name.
  EXPECT_EQ(temporaryName("a", 8, "0a1b2c3d"), "");
}

TEST(Outputs, FilesThatAreNotRegularAreToldApart) {
  TempDir dir;
  const std::string fifo = dir.path + "/fifo", socket = dir.path + "/socket";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(makeSocket(socket));
  std::ofstream(dir.path + "/plain") << "x";
  EXPECT_EQ(nonRegularKind(fifo), "a FIFO");
  EXPECT_EQ(nonRegularKind(socket), "a socket");
  EXPECT_EQ(nonRegularKind(dir.path), "a folder");
  EXPECT_EQ(nonRegularKind("/dev/null"), "a device");  // looked at only
  EXPECT_EQ(nonRegularKind(dir.path + "/plain"), "");
  EXPECT_EQ(nonRegularKind(dir.path + "/missing"), "");
}
