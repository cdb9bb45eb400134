// The writer's output, read back through libxmp: what the player sees is
// what the composer meant.
#include "xm_writer.h"

#include <xmp.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// A loaded module that frees itself.
struct Loaded {
  xmp_context ctx = xmp_create_context();
  xmp_module_info info{};
  bool ok = false;
  explicit Loaded(const std::vector<uint8_t>& bytes) {
    ok = xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) == 0;
    if (ok) xmp_get_module_info(ctx, &info);
  }
  ~Loaded() {
    if (ok) xmp_release_module(ctx);
    xmp_free_context(ctx);
  }
  const xmp_module& mod() const { return *info.mod; }
  const xmp_event& event(int pattern, int row, int channel) const {
    const xmp_module& m = mod();
    return m.xxt[m.xxp[pattern]->index[channel]]->event[row];
  }
};

XmCell cell(uint8_t note, uint8_t instrument, uint8_t volume = 0, uint8_t effect = 0, uint8_t param = 0) {
  XmCell c;
  c.note = note;
  c.instrument = instrument;
  c.volume = volume;
  c.effect = effect;
  c.param = param;
  return c;
}

XmSample ramp(size_t length) {
  XmSample s;
  s.name = "ramp";
  for (size_t i = 0; i < length; ++i) s.data.push_back(int16_t(int(i) * 997 % 65536 - 32768));
  return s;
}

XmModule twoChannelSong() {
  XmModule m;
  m.name = "writer check";
  m.channels = 2;
  m.speed = 5;
  m.bpm = 140;
  m.restartPosition = 1;
  m.order = {1, 0, 1};
  XmPattern first;
  first.rows = 4;
  first.cells.resize(4 * 2);
  first.cells[0] = cell(49, 1, 0x40);              // C-4, instrument 1, volume 48
  first.cells[3] = cell(97, 0);                    // key-off on channel 1, row 1
  first.cells[4] = cell(0, 0, 0, 0x0c, 0x20);      // set volume effect alone
  first.cells[7] = cell(61, 2, 0x50, 0x0f, 0x03);  // every field present
  XmPattern second;
  second.rows = 16;  // no cells: all empty
  m.patterns = {first, second};
  XmInstrument a;
  a.name = "first instrument";
  a.samples.push_back(ramp(100));
  XmInstrument b;
  b.name = "second";
  b.samples.push_back(ramp(10));
  m.instruments = {a, b};
  return m;
}

TEST(XmWriter, HeaderFieldsReadBackThroughLibxmp) {
  Loaded l(xmEncode(twoChannelSong()));
  ASSERT_TRUE(l.ok);
  const xmp_module& m = l.mod();
  EXPECT_STREQ(m.name, "writer check");
  EXPECT_EQ(m.chn, 2);
  EXPECT_EQ(m.spd, 5);
  EXPECT_EQ(m.bpm, 140);
  EXPECT_EQ(m.rst, 1);
  ASSERT_EQ(m.len, 3);
  EXPECT_EQ(m.xxo[0], 1);
  EXPECT_EQ(m.xxo[1], 0);
  EXPECT_EQ(m.xxo[2], 1);
  ASSERT_GE(m.pat, 2);  // libxmp may add a spare empty pattern
  EXPECT_EQ(m.xxp[0]->rows, 4);
  EXPECT_EQ(m.xxp[1]->rows, 16);
  ASSERT_EQ(m.ins, 2);
  EXPECT_STREQ(m.xxi[0].name, "first instrument");
  EXPECT_STREQ(m.xxi[1].name, "second");
}

TEST(XmWriter, PackedCellsReadBackExactly) {
  Loaded l(xmEncode(twoChannelSong()));
  ASSERT_TRUE(l.ok);
  // libxmp numbers notes one octave above the XM file (C-0 = 13).
  const xmp_event& c4 = l.event(0, 0, 0);
  EXPECT_EQ(c4.note, 49 + 12);
  EXPECT_EQ(c4.ins, 1);
  EXPECT_EQ(c4.vol, 0x40 - 0x10 + 1);  // libxmp stores volume + 1
  EXPECT_EQ(l.event(0, 0, 1).note, 0);
  EXPECT_EQ(l.event(0, 0, 1).ins, 0);
  EXPECT_EQ(l.event(0, 1, 1).note, XMP_KEY_OFF);
  EXPECT_EQ(l.event(0, 2, 0).fxt, 0x0c);
  EXPECT_EQ(l.event(0, 2, 0).fxp, 0x20);
  EXPECT_EQ(l.event(0, 2, 0).note, 0);
  const xmp_event& full = l.event(0, 3, 1);
  EXPECT_EQ(full.note, 61 + 12);
  EXPECT_EQ(full.ins, 2);
  EXPECT_EQ(full.vol, 0x41);
  EXPECT_EQ(full.fxt, 0x0f);
  EXPECT_EQ(full.fxp, 3);
  for (int row = 0; row < 16; ++row)
    for (int ch = 0; ch < 2; ++ch) {
      const xmp_event& e = l.event(1, row, ch);
      EXPECT_EQ(e.note | e.ins | e.vol | e.fxt | e.fxp, 0) << "row " << row;
    }
}

TEST(XmWriter, SamplesSurviveDeltaCodingAndKeepTheirParameters) {
  XmModule m = twoChannelSong();
  XmSample& s = m.instruments[0].samples[0];
  s.data = {0, 32767, -32768, 32767, -1, 1, 12345, -12345};  // worst-case deltas wrap
  s.loopType = 2;
  s.loopStart = 2;
  s.loopLength = 6;
  s.volume = 40;
  s.finetune = -16;
  s.panning = 200;
  s.relativeNote = -12;
  m.instruments[0].fadeout = 0x200;
  m.instruments[0].volumeEnvelope.enabled = true;
  m.instruments[0].volumeEnvelope.sustain = true;
  m.instruments[0].volumeEnvelope.sustainPoint = 1;
  m.instruments[0].volumeEnvelope.points = {{0, 64}, {10, 32}, {40, 0}};
  Loaded l(xmEncode(m));
  ASSERT_TRUE(l.ok);
  const xmp_module& mod = l.mod();
  ASSERT_GE(mod.smp, 2);
  const xmp_instrument& ins = mod.xxi[0];
  ASSERT_EQ(ins.nsm, 1);
  const xmp_subinstrument& sub = ins.sub[0];
  EXPECT_EQ(sub.vol, 40);
  EXPECT_EQ(sub.fin, -16);
  EXPECT_EQ(sub.pan, 200);
  EXPECT_EQ(sub.xpo, -12);
  EXPECT_EQ(ins.rls, 2 * 0x200);  // libxmp keeps XM fadeouts doubled
  EXPECT_EQ(ins.aei.npt, 3);
  EXPECT_EQ(ins.aei.data[2], 10);  // (tick, value) pairs
  EXPECT_EQ(ins.aei.data[3], 32);
  EXPECT_TRUE(ins.aei.flg & XMP_ENVELOPE_ON);
  EXPECT_TRUE(ins.aei.flg & XMP_ENVELOPE_SUS);
  EXPECT_EQ(ins.aei.sus, 1);

  const xmp_sample& smp = mod.xxs[sub.sid];
  ASSERT_TRUE(smp.flg & XMP_SAMPLE_16BIT);
  EXPECT_TRUE(smp.flg & XMP_SAMPLE_LOOP);
  EXPECT_TRUE(smp.flg & XMP_SAMPLE_LOOP_BIDIR);
  ASSERT_EQ(smp.len, 8);
  EXPECT_EQ(smp.lps, 2);
  EXPECT_EQ(smp.lpe, 8);
  const int16_t* data = reinterpret_cast<const int16_t*>(smp.data);
  for (size_t i = 0; i < s.data.size(); ++i) EXPECT_EQ(data[i], s.data[i]) << "point " << i;
}

TEST(XmWriter, OutOfRangeInputIsCutToFitTheFormat) {
  XmModule m = twoChannelSong();
  m.name = "a module name far longer than twenty bytes";
  m.order.assign(300, 0);
  // Short: the rest of the pattern is empty. (erase, not resize: GCC 12 at
  // -O3 warns, -Wstringop-overflow, about resize's growing path.)
  m.patterns[0].cells.erase(m.patterns[0].cells.begin() + 3, m.patterns[0].cells.end());
  XmSample& s = m.instruments[1].samples[0];
  s.loopType = 1;
  s.loopStart = 8;
  s.loopLength = 50;  // runs past the end of the 10-point sample
  m.instruments[0].volumeEnvelope.enabled = true;
  for (uint16_t i = 0; i < 20; ++i) m.instruments[0].volumeEnvelope.points.push_back({uint16_t(i * 4), 32});
  m.patterns.resize(300, m.patterns[1]);
  m.instruments.resize(140, m.instruments[1]);
  Loaded l(xmEncode(m));
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(std::string(l.mod().name), "a module name far lo");
  EXPECT_EQ(l.mod().len, 256);
  EXPECT_EQ(l.event(0, 0, 0).note, 49 + 12);
  EXPECT_EQ(l.event(0, 3, 1).note, 0);
  const xmp_sample& smp = l.mod().xxs[l.mod().xxi[1].sub[0].sid];
  EXPECT_EQ(smp.lps, 8);
  EXPECT_EQ(smp.lpe, 10);
  EXPECT_EQ(l.mod().xxi[0].aei.npt, 12);
  EXPECT_LE(l.mod().pat, 257);
  EXPECT_EQ(l.mod().ins, 128);
}

TEST(XmWriter, EncodingIsDeterministicAndPlays) {
  const XmModule m = twoChannelSong();
  const std::vector<uint8_t> bytes = xmEncode(m);
  EXPECT_EQ(bytes, xmEncode(m));
  Loaded l(bytes);
  ASSERT_TRUE(l.ok);
  ASSERT_EQ(xmp_start_player(l.ctx, 44100, 0), 0);
  xmp_frame_info fi{};
  int ticks = 0;
  while (xmp_play_frame(l.ctx) == 0 && ticks < 10000) {
    xmp_get_frame_info(l.ctx, &fi);
    if (fi.loop_count > 0) break;
    ++ticks;
  }
  xmp_end_player(l.ctx);
  // Orders 1, 0, 1: sixteen rows and three at speed 5, then the F03 on
  // the last row of pattern 0 plays it and the sixteen rows after at speed 3.
  EXPECT_EQ(ticks, 16 * 5 + 3 * 5 + 3 + 16 * 3);
}

TEST(XmWriter, WriteFileStoresTheEncodingAndReportsFailure) {
  const XmModule m = twoChannelSong();
  const std::string path = testing::TempDir() + "xm_writer_test.xm";
  ASSERT_TRUE(xmWriteFile(m, path.c_str()));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(stored, xmEncode(m));
  std::remove(path.c_str());
  EXPECT_FALSE(xmWriteFile(m, "/nonexistent-folder/song.xm"));
  // A target that cannot be replaced (a folder) fails and leaves no partial file.
  const std::string folder = testing::TempDir();
  EXPECT_FALSE(xmWriteFile(m, folder.c_str()));
  EXPECT_EQ(std::fopen((folder + ".part").c_str(), "rb"), nullptr);
}

}  // namespace
