// The show's module as the show hears it: played through libxmp tick by
// tick at 44100 Hz, with time counted in rendered frames.
#include "render.h"
#include "score.h"
#include "wav_writer.h"

#include <xmp.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 44100.0;

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Trigger {
  long frame;      // frames rendered before the tick that starts the note
  int instrument;  // 1-based
  int channel;
};

// One full playthrough: the PCM, the frame at which each row of the song
// starts (rows counted along the order list), and every note trigger.
struct Playthrough {
  bool loaded = false;
  std::vector<int16_t> pcm;  // interleaved stereo
  std::vector<long> rowStartFrame;
  std::vector<Trigger> triggers;
  long frames() const { return long(pcm.size() / 2); }
};

bool isTonePortamento(const xmp_event& e) {
  return e.fxt == 0x03 || e.fxt == 0x05 || e.f2t == 0x03 || e.f2t == 0x05;
}

// A note with its instrument (or the channel's last one) starts on the
// row's first tick, or on the delayed tick of a note delay shorter than
// the row; key-offs and tone-portamento targets start nothing.
Playthrough play(const std::vector<uint8_t>& bytes) {
  Playthrough p;
  xmp_context ctx = xmp_create_context();
  if (xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) != 0) {
    xmp_free_context(ctx);
    return p;
  }
  p.loaded = true;
  xmp_start_player(ctx, 44100, 0);
  xmp_module_info mi{};
  xmp_get_module_info(ctx, &mi);
  const int channels = mi.mod->chn;
  std::vector<int> lastInstrument(size_t(channels), 0);
  std::map<int, int> rowsBefore;  // order position -> song rows before it
  int songRows = 0;
  for (int pos = 0; pos < mi.mod->len; ++pos) {
    rowsBefore[pos] = songRows;
    songRows += mi.mod->xxp[mi.mod->xxo[pos]]->rows;
  }
  xmp_frame_info fi{};
  long frame = 0;
  while (xmp_play_frame(ctx) == 0) {
    xmp_get_frame_info(ctx, &fi);
    if (fi.loop_count > 0) break;
    if (fi.frame == 0) {
      const size_t songRow = size_t(rowsBefore[fi.pos] + fi.row);
      if (p.rowStartFrame.size() == songRow) p.rowStartFrame.push_back(frame);
    }
    for (int ch = 0; ch < channels; ++ch) {
      const xmp_event& e = fi.channel_info[ch].event;
      if (fi.frame == 0 && e.ins) lastInstrument[size_t(ch)] = e.ins;
      int delay = 0;
      if (e.fxt == 0x0e && (e.fxp >> 4) == 0x0d) delay = e.fxp & 0x0f;
      const bool note = e.note > 0 && e.note <= XMP_MAX_KEYS;
      if (note && !isTonePortamento(e) && delay < fi.speed && fi.frame == delay && lastInstrument[size_t(ch)])
        p.triggers.push_back({frame, lastInstrument[size_t(ch)], ch});
    }
    const int16_t* s = static_cast<const int16_t*>(fi.buffer);
    p.pcm.insert(p.pcm.end(), s, s + fi.buffer_size / 2);
    frame += fi.buffer_size / 4;
  }
  xmp_end_player(ctx);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
  return p;
}

double seconds(long frame) { return double(frame) / kRate; }

// RMS level in dBFS of both channels over [from, to) seconds.
double rmsDb(const Playthrough& p, double from, double to) {
  const size_t a = size_t(from * kRate) * 2, b = std::min(p.pcm.size(), size_t(to * kRate) * 2);
  double sum = 0;
  for (size_t i = a; i < b; ++i) sum += double(p.pcm[i]) * p.pcm[i];
  return 10.0 * std::log10(sum / double(b - a) / (32768.0 * 32768.0) + 1e-20);
}

double peakDb(const Playthrough& p, double from, double to) {
  const size_t a = size_t(from * kRate) * 2, b = std::min(p.pcm.size(), size_t(to * kRate) * 2);
  int peak = 0;
  for (size_t i = a; i < b; ++i) peak = std::max(peak, std::abs(int(p.pcm[i])));
  return 20.0 * std::log10(double(peak) / 32768.0 + 1e-20);
}

class ShowModule : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    bytes = new std::vector<uint8_t>(readFile(QUENDALOOP_MODULE_PATH));
    playthrough = new Playthrough(play(*bytes));
  }
  static void TearDownTestSuite() {
    delete playthrough;
    delete bytes;
  }
  static std::vector<uint8_t>* bytes;
  static Playthrough* playthrough;
};
std::vector<uint8_t>* ShowModule::bytes = nullptr;
Playthrough* ShowModule::playthrough = nullptr;

TEST_F(ShowModule, SectionsStartOnTheSceneChangesWithANewSound) {
  const Playthrough& p = *playthrough;
  ASSERT_TRUE(p.loaded);
  for (int start : kSectionStartSeconds) {
    const size_t row = size_t(start * kRowsPerSecond);
    ASSERT_LT(row, p.rowStartFrame.size());
    const long frame = p.rowStartFrame[row];
    EXPECT_NEAR(seconds(frame), start, 0.050) << "section at " << start << " s";
    int starting = 0;
    for (const Trigger& t : p.triggers) starting += t.frame == frame;
    EXPECT_GE(starting, 3) << "a section at " << start << " s should open with notes";
  }
}

TEST_F(ShowModule, HitSoundsAtLeastTwiceEverySecondThroughTheFlash) {
  const Playthrough& p = *playthrough;
  ASSERT_TRUE(p.loaded);
  std::vector<double> hits;
  for (const Trigger& t : p.triggers)
    if (t.instrument == kHitInstrument && seconds(t.frame) >= 49.0 - 1e-9 && seconds(t.frame) <= 57.0 + 1e-9)
      hits.push_back(seconds(t.frame));
  ASSERT_FALSE(hits.empty());
  EXPECT_LE(hits.front(), 49.5);
  EXPECT_GE(hits.back(), 56.5);
  for (size_t i = 1; i < hits.size(); ++i)
    EXPECT_LE(hits[i] - hits[i - 1], 0.5 + 1e-9) << "gap after " << hits[i - 1];
  for (int second = 49; second < 57; ++second) {
    int count = 0;
    for (double h : hits) count += h >= second && h < second + 1;
    EXPECT_GE(count, 2) << "in second " << second;
  }
}

TEST_F(ShowModule, HitStaysRareOutsideTheFlash) {
  int outside = 0;
  for (const Trigger& t : playthrough->triggers)
    if (t.instrument == kHitInstrument && (seconds(t.frame) < 49.0 || seconds(t.frame) > 57.0)) ++outside;
  EXPECT_LE(outside, 4);
}

TEST_F(ShowModule, PlaysAboutAMinuteOnceAndEndsInSilence) {
  const Playthrough& p = *playthrough;
  ASSERT_TRUE(p.loaded);
  EXPECT_NEAR(seconds(p.frames()), 60.0, 1.5);
  // Everything has been released before the module would loop back.
  EXPECT_LT(peakDb(p, seconds(p.frames()) - 0.3, seconds(p.frames())), -50.0);
  for (const Trigger& t : p.triggers) EXPECT_LT(seconds(t.frame), 58.0);
}

TEST_F(ShowModule, LevelsFollowTheScenesAndNeverClip) {
  const Playthrough& p = *playthrough;
  ASSERT_TRUE(p.loaded);
  EXPECT_LT(peakDb(p, 0, 61), -1.0);
  const double opening = rmsDb(p, 1, 11), torus = rmsDb(p, 11, 23), still = rmsDb(p, 23, 29);
  const double tunnel = rmsDb(p, 29, 49), flash = rmsDb(p, 49, 57);
  EXPECT_LT(still, torus - 3.0);
  EXPECT_LT(still, tunnel - 4.0);
  EXPECT_LT(opening, tunnel - 2.0);
  EXPECT_GT(flash, still + 4.0);
  for (double level : {opening, torus, still, tunnel, flash}) EXPECT_GT(level, -35.0);
}

TEST_F(ShowModule, IsStereo) {
  const Playthrough& p = *playthrough;
  ASSERT_TRUE(p.loaded);
  double difference = 0, total = 0;
  for (size_t i = 0; i + 1 < p.pcm.size(); i += 2) {
    const double l = p.pcm[i], r = p.pcm[i + 1];
    difference += (l - r) * (l - r);
    total += l * l + r * r;
  }
  EXPECT_GT(difference / total, 0.01);
}

TEST_F(ShowModule, UsesEveryPartOfTheBand) {
  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes->data(), long(bytes->size())), 0);
  xmp_module_info mi{};
  xmp_get_module_info(ctx, &mi);
  std::vector<std::string> names;
  for (int i = 0; i < mi.mod->ins; ++i) names.push_back(mi.mod->xxi[i].name);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
  std::map<int, int> played;
  for (const Trigger& t : playthrough->triggers) ++played[t.instrument];
  for (const char* part : {"kick", "snare", "hat", "bass", "lead", "pad"}) {
    bool heard = false;
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i].find(part) != std::string::npos && played[int(i) + 1] > 0) heard = true;
    EXPECT_TRUE(heard) << part;
  }
}

TEST(Composer, ReproducesTheCommittedModule) {
  const std::string out = testing::TempDir() + "composed.xm";
  const std::string command = std::string("\"") + QUENDALOOP_COMPOSER + "\" \"" + out + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<uint8_t> composed = readFile(out);
  std::remove(out.c_str());
  const std::vector<uint8_t> committed = readFile(QUENDALOOP_MODULE_PATH);
  ASSERT_FALSE(committed.empty());
  EXPECT_TRUE(composed == committed) << "regenerate with: quendaloop_compose pelvorgrind.xm";
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(Composer, WavRenderingIsTheWholeModuleAsCdAudio) {
  std::vector<int16_t> pcm;
  ASSERT_TRUE(renderModule(readFile(QUENDALOOP_MODULE_PATH), pcm));
  EXPECT_NEAR(double(pcm.size() / 2) / kRate, 60.0, 1.5);
  const std::string path = testing::TempDir() + "composed.wav";
  ASSERT_TRUE(writeWav(pcm, path.c_str()));
  const std::vector<uint8_t> wav = readFile(path);
  ASSERT_EQ(wav.size(), 44 + pcm.size() * 2);
  EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
  EXPECT_EQ(le32(wav, 4), wav.size() - 8);
  EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(le32(wav, 20) & 0xffff, 1u);  // PCM
  EXPECT_EQ(le32(wav, 20) >> 16, 2u);     // stereo
  EXPECT_EQ(le32(wav, 24), 44100u);
  EXPECT_EQ(le32(wav, 28), 44100u * 4);
  EXPECT_EQ(le32(wav, 32) >> 16, 16u);  // bits per sample
  EXPECT_EQ(le32(wav, 40), pcm.size() * 2);
  const size_t middle = pcm.size() / 2;
  EXPECT_EQ(int16_t(wav[44 + 2 * middle] | wav[45 + 2 * middle] << 8), pcm[middle]);

  // The peak as sox measures it, where sox is installed.
  if (std::system("command -v sox >/dev/null 2>&1") == 0) {
    const std::string command = "sox \"" + path + "\" -n stats 2>&1 | awk '/^Pk lev dB/ {print $4}'";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    double peak = 0;
    EXPECT_EQ(std::fscanf(out, "%lf", &peak), 1);
    pclose(out);
    EXPECT_LT(peak, -1.0);
  }
  EXPECT_FALSE(writeWav(pcm, "/nonexistent-folder/x.wav"));
  std::remove(path.c_str());
}

TEST(Composer, ParsesNoteNames) {
  EXPECT_EQ(parseNote("C0"), 1);
  EXPECT_EQ(parseNote("C4"), 49);
  EXPECT_EQ(parseNote("A4"), 58);
  EXPECT_EQ(parseNote("C#5"), 62);
  EXPECT_EQ(parseNote("Bb3"), 47);
  EXPECT_EQ(parseNote("B7"), 96);
  EXPECT_EQ(parseNote("-"), 97);
  for (const char* bad : {"", "H4", "C", "C8", "Cb0", "C#", "C44", "c4"}) EXPECT_EQ(parseNote(bad), 0) << bad;
  EXPECT_EQ(parseNote(nullptr), 0);
}

}  // namespace
