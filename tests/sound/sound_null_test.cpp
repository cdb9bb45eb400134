// The null output keeps time by its clock: an injected clock drives it here.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "sound.h"
#include "sound_hooks.h"
#include "test_modules.h"

namespace {

std::atomic<int64_t> fakeNs{1000000000};
int64_t fakeClock() { return fakeNs.load(); }

class SoundNull : public ::testing::Test {
 protected:
  void SetUp() override {
    soundSetClock(fakeClock);
    path = writeTestModule(testModule({{{noteCell(49, 1)}, {noteCell(49, 2)}}}), "null");
  }
  void TearDown() override {
    soundSelectOutput(kSoundOutputOffline);  // stops the mixer thread
    FSOUND_Init(44100, 64, 0);
    soundSetClock(nullptr);
    unsetenv("QUENDALOOP_SOUND");
    unsetenv("SDL_AUDIODRIVER");
    std::remove(path.c_str());
  }
  std::string path;
};

TEST_F(SoundNull, TimeFollowsTheClockFromPlaySong) {
  soundSelectOutput(kSoundOutputNull);
  ASSERT_EQ(FSOUND_Init(44100, 64, 2), 1);
  EXPECT_EQ(soundActiveOutput(), kSoundActiveNull);
  FMUSIC_MODULE* mod = FMUSIC_LoadSong(path.c_str());
  ASSERT_NE(mod, nullptr);
  fakeNs += 5000000000;  // time before PlaySong does not count
  EXPECT_EQ(FMUSIC_GetTime(mod), 0);
  ASSERT_EQ(FMUSIC_PlaySong(mod), 1);
  EXPECT_EQ(FMUSIC_GetTime(mod), 0);
  fakeNs += 1000000000;
  EXPECT_EQ(FMUSIC_GetTime(mod), 1000);
  EXPECT_EQ(FMUSIC_GetTime(mod), 1000);  // a still clock holds the time
  fakeNs += 250000000;
  EXPECT_EQ(FMUSIC_GetTime(mod), 1250);
  fakeNs += 3600000000000;  // an hour: long after the end, time goes on
  EXPECT_EQ(FMUSIC_GetTime(mod), 3601250);
  // Starting again counts from the new start.
  ASSERT_EQ(FMUSIC_PlaySong(mod), 1);
  EXPECT_EQ(FMUSIC_GetTime(mod), 0);
  fakeNs += 40000000;
  EXPECT_EQ(FMUSIC_GetTime(mod), 40);
}

// With the output left to choose ("auto"), the library opens the null output
// and keeps time by its clock.
void expectAutoPicksTheNullOutput(const std::string& path, int ms) {
  soundSelectOutput(kSoundOutputAuto);
  ASSERT_EQ(FSOUND_Init(44100, 64, 2), 1);
  EXPECT_EQ(soundActiveOutput(), kSoundActiveNull);
  FMUSIC_MODULE* mod = FMUSIC_LoadSong(path.c_str());
  ASSERT_NE(mod, nullptr);
  ASSERT_EQ(FMUSIC_PlaySong(mod), 1);
  fakeNs += int64_t(ms) * 1000000;
  EXPECT_EQ(FMUSIC_GetTime(mod), ms);
}

TEST_F(SoundNull, EnvironmentForcesTheNullOutputForAuto) {
  setenv("QUENDALOOP_SOUND", "null", 1);
  expectAutoPicksTheNullOutput(path, 2000);
}

TEST_F(SoundNull, SdlsDummyDriverCountsAsNoDevice) {
  // The dummy driver paces itself in whole milliseconds; the null output's
  // clock keeps better time, so the library falls back to it.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  expectAutoPicksTheNullOutput(path, 1500);
}

TEST_F(SoundNull, BeforeInitialisationNoOutputIsOpen) {
  // A fresh process: nothing has initialised the library yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const bool none = soundActiveOutput() == kSoundActiveNone;
        const bool refused = FMUSIC_LoadSong(path.c_str()) == nullptr;
        std::exit(none && refused ? 3 : 4);
      },
      ::testing::ExitedWithCode(3), "");
  // A refused initialisation leaves the open output as it was.
  soundSelectOutput(kSoundOutputNull);
  ASSERT_EQ(FSOUND_Init(44100, 64, 2), 1);
  soundSelectOutput(kSoundOutputOffline);
  EXPECT_EQ(FSOUND_Init(1000, 64, 2), 0);
  EXPECT_EQ(soundActiveOutput(), kSoundActiveNull);
}

TEST_F(SoundNull, TheProcessMayExitWhileTheMixerRuns) {
  // The show never closes the library: exit must stop the mixer thread
  // cleanly instead of aborting.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        soundSelectOutput(kSoundOutputNull);
        FSOUND_Init(44100, 64, 2);
        FMUSIC_PlaySong(FMUSIC_LoadSong(path.c_str()));
        std::exit(7);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
