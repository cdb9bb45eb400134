// startMusic against a scripted sound library: the calls it makes, its three
// failures, and the hook's arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "fake_sound.h"
#include "music.h"
#include "recorded_boxes.h"

namespace {

class MusicStart : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A failing start ends the process; its box is then all it writes.
    keepBoxesQuiet(true);
    reportBoxesAtExit();
    fakeVersion = 3.6f;
    fakeInitResult = 1;
    fakeLoadFails = false;
    fakeCalls.clear();
  }
};

TEST_F(MusicStart, ChecksInitialisesLoadsPlaysAndHooksInstrumentOne) {
  startMusic();
  ASSERT_NE(musicModule, nullptr);
  EXPECT_EQ(fakeCalls, (std::vector<std::string>{"GetVersion", "Init 44100 64 2", "LoadSong pelvorgrind.xm",
                                                 "PlaySong module 0", "SetInstCallback module 0 1"}));
  EXPECT_EQ(fakeCallback, &onInstrumentTrigger);
  // Again, as after a fullscreen toggle: a new module replaces the handle.
  FMUSIC_MODULE* first = musicModule;
  fakeCalls.clear();
  startMusic();
  EXPECT_NE(musicModule, first);
  EXPECT_EQ(fakeCalls.size(), 5u);
  EXPECT_EQ(fakeCalls[3], "PlaySong module 1");
}

TEST_F(MusicStart, AWrongVersionEndsTheProcessAfterTheBox) {
  fakeVersion = 3.59f;
  EXPECT_EXIT(startMusic(), ::testing::ExitedWithCode(1),
              "^no owner\\|Ravnel demoengine\\|0x40\\|You are using the wrong DLL version! "
              "You should be using FMOD 3.6.0\n$");
}

TEST_F(MusicStart, AVersionJustBelowTheFloatOfThreePointSixFails) {
  fakeVersion = std::nextafter(3.6f, 0.0f);
  EXPECT_EXIT(startMusic(), ::testing::ExitedWithCode(1), "wrong DLL version");
  fakeVersion = std::nextafter(3.6f, 4.0f);
  startMusic();
  EXPECT_EQ(fakeCalls[1], "Init 44100 64 2");
}

TEST_F(MusicStart, AFailedInitialisationEndsTheProcessAfterTheBox) {
  fakeInitResult = 0;
  EXPECT_EXIT(startMusic(), ::testing::ExitedWithCode(1),
              "^no owner\\|Ravnel demoengine\\|0x40\\|Init failed\n$");
}

TEST_F(MusicStart, AMissingModuleEndsTheProcessAfterTheBox) {
  fakeLoadFails = true;
  EXPECT_EXIT(startMusic(), ::testing::ExitedWithCode(1),
              "^no owner\\|Ravnel demoengine\\|0x40\\|there is no module!\n$");
}

TEST(InstrumentHook, AddsNineteenPerTrigger) {
  flashDepth = -20.0f;
  for (int i = 0; i < 3; ++i) onInstrumentTrigger(nullptr, 1);
  EXPECT_EQ(flashDepth.load(), 37.0f);
  onInstrumentTrigger(nullptr, 200);  // whatever the library passes
  EXPECT_EQ(flashDepth.load(), 56.0f);
}

TEST(InstrumentHook, RaisesFromSeveralThreadsAreNeverLost) {
  flashDepth = 0.0f;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 1000; ++i) onInstrumentTrigger(nullptr, 1);
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(flashDepth.load(), 76000.0f);  // exact: every partial sum is a whole number below 2^24
}

}  // namespace
