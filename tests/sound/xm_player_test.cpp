// Which notes trigger, and at exactly which frame, for small generated modules.
#include "xm_player.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_modules.h"

namespace {

constexpr int64_t kTick = 882;  // frames per tick at 125 BPM, 44100 Hz

struct Played {
  std::vector<XmTrigger> triggers;
  int64_t frames = 0;
};

Played play(const XmModule& module) {
  const std::vector<uint8_t> bytes = xmEncode(module);
  XmPlayer* player = xmPlayerLoadMemory(bytes.data(), bytes.size());
  EXPECT_NE(player, nullptr);
  Played played;
  if (player == nullptr) return played;
  EXPECT_TRUE(xmPlayerStart(player));
  const int16_t* pcm = nullptr;
  for (int guard = 0; guard < 100000; ++guard) {
    const size_t frames = xmPlayerRenderTick(player, &pcm, played.triggers);
    if (frames == 0) break;
    played.frames += static_cast<int64_t>(frames);
  }
  EXPECT_TRUE(xmPlayerEnded(player));
  EXPECT_EQ(xmPlayerFramesRendered(player), played.frames);
  xmPlayerFree(player);
  return played;
}

// Tick index (from the start, in 882-frame ticks) and instrument of each trigger.
std::vector<std::pair<int64_t, int>> ticksOf(const Played& played) {
  std::vector<std::pair<int64_t, int>> out;
  for (const XmTrigger& t : played.triggers) {
    EXPECT_EQ(t.frame % kTick, 0) << "trigger off a tick boundary at frame " << t.frame;
    out.emplace_back(t.frame / kTick, t.instrument);
  }
  return out;
}

using Ticks = std::vector<std::pair<int64_t, int>>;
constexpr int C4 = 49;

TEST(XmPlayerTriggers, NotesTakeTheirOwnOrTheChannelsLastInstrument) {
  const XmModule module = testModule({{
      {noteCell(C4, 1), noteCell(0, 2)},   // row 0: ins 1; channel 1 only selects ins 2
      {noteCell(C4 + 2, 0), {}},           // row 1: no number, channel's last is 1
      {noteCell(C4, 2), noteCell(C4, 0)},  // row 2: ins 2; channel 1 plays its selected 2
      {noteCell(C4 + 4, 0), {}},           // row 3: channel 0's last is now 2
  }});
  const Played played = play(module);
  EXPECT_EQ(ticksOf(played), (Ticks{{0, 1}, {6, 1}, {12, 2}, {12, 2}, {18, 2}}));
  EXPECT_EQ(played.frames, 4 * 6 * kTick);  // plays once, no loop back
}

TEST(XmPlayerTriggers, NoteWithoutAnyInstrumentIsSilent) {
  const Played played = play(testModule({{{noteCell(C4, 0)}, {noteCell(C4, 1)}}}));
  EXPECT_EQ(ticksOf(played), (Ticks{{6, 1}}));
}

TEST(XmPlayerTriggers, NoteDelayFiresAtTheDelayedTickUnlessPastTheRow) {
  const XmModule module = testModule({{
      {noteCell(C4, 1, 0x0E, 0xD3)},  // delayed to tick 3
      {noteCell(C4, 1, 0x0E, 0xD6)},  // delay == speed: never plays
      {noteCell(C4, 2, 0x0E, 0xDF)},  // far beyond the row
      {noteCell(C4, 2, 0x0E, 0xD0)},  // no delay
      {noteCell(C4, 0, 0x0E, 0xD5)},  // last tick of the row, channel's instrument
  }});
  EXPECT_EQ(ticksOf(play(module)), (Ticks{{3, 1}, {18, 2}, {29, 2}}));
}

TEST(XmPlayerTriggers, KeyOffsPortamentoTargetsAndInstrumentOnlyCellsAreNotTriggers) {
  const XmModule module = testModule({{
      {noteCell(C4, 1)},
      {noteCell(97, 1)},                  // key-off, even with an instrument number
      {noteCell(C4 + 7, 1, 0x03, 0x20)},  // tone portamento target
      {noteCell(C4 + 3, 0, 0x05, 0x01)},  // tone portamento + volume slide
      {noteCell(C4, 0, 0, 0, 0xF4)},      // volume-column tone portamento
      {noteCell(0, 2)},                   // instrument only
      {noteCell(97, 0)},                  // key-off
      {noteCell(C4, 0)},                  // plays instrument 2, selected above
  }});
  EXPECT_EQ(ticksOf(play(module)), (Ticks{{0, 1}, {42, 2}}));
}

TEST(XmPlayerTriggers, PatternLoopRepeatsItsNotes) {
  const XmModule module = testModule({{
      {noteCell(0, 0, 0x0E, 0x60)},  // loop start
      {noteCell(C4, 1)},
      {noteCell(0, 0, 0x0E, 0x62)},  // back to the start twice
      {noteCell(C4, 2)},
  }});
  const Played played = play(module);
  EXPECT_EQ(ticksOf(played), (Ticks{{6, 1}, {24, 1}, {42, 1}, {54, 2}}));
  EXPECT_EQ(played.frames, 10 * 6 * kTick);
}

TEST(XmPlayerTriggers, PatternDelayDoesNotReplayTheRow) {
  const XmModule module = testModule({{
      {noteCell(C4, 1, 0x0E, 0xE1)},  // the row lasts twice as long
      {noteCell(C4, 2)},
  }});
  EXPECT_EQ(ticksOf(play(module)), (Ticks{{0, 1}, {12, 2}}));
}

TEST(XmPlayerTriggers, SpeedAndTempoChangesMoveTheFrames) {
  const XmModule module = testModule({{
      {noteCell(C4, 1, 0x0F, 0x03)},  // speed 3
      {noteCell(C4, 1)},
      {noteCell(C4, 2, 0x0F, 175)},  // 175 BPM: ticks of 630 frames
      {noteCell(C4, 2, 0x0E, 0xD2)},
      {noteCell(C4, 1)},
  }});
  const Played played = play(module);
  std::vector<std::pair<int64_t, int>> frames;
  for (const XmTrigger& t : played.triggers) frames.emplace_back(t.frame, t.instrument);
  const int64_t row2 = 6 * kTick;
  EXPECT_EQ(frames, (std::vector<std::pair<int64_t, int>>{
                        {0, 1}, {3 * kTick, 1}, {row2, 2}, {row2 + 5 * 630, 2}, {row2 + 6 * 630, 1}}));
  EXPECT_EQ(played.frames, row2 + 9 * 630);
}

TEST(XmPlayerTriggers, NotesOfAMissingInstrumentAreSilent) {
  const XmModule module = testModule({{{noteCell(C4, 7)}, {noteCell(C4, 0)}, {noteCell(C4, 2)}}});
  EXPECT_EQ(ticksOf(play(module)), (Ticks{{12, 2}}));
}

}  // namespace
