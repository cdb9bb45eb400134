// startMusic with the real sound library, offline: the hook follows
// instrument 1 of the module, and a second start plays from the beginning.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "music.h"
#include "recorded_boxes.h"
#include "sound_hooks.h"
#include "test_modules.h"

namespace {

constexpr int C4 = 49;

class MusicPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    keepBoxesQuiet(true);
    reportBoxesAtExit();  // a failing start's box, written as the process ends
    char pattern[] = "/tmp/quendaloop-music-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    ASSERT_NE(getcwd(home, sizeof home), nullptr);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    soundSelectOutput(kSoundOutputOffline);
  }
  void TearDown() override {
    std::remove((folder + "/pelvorgrind.xm").c_str());
    ASSERT_EQ(chdir(home), 0);
    rmdir(folder.c_str());
  }
  // Instrument 1 on every fourth row, instrument 2 on the others, 16 rows
  // of 6 ticks at 882 frames: a hit of instrument 1 every 480 ms from 0.
  void writeModule() {
    std::vector<TestRow> rows;
    for (int r = 0; r < 16; ++r) rows.push_back({noteCell(C4, r % 4 == 0 ? 1 : 2), noteCell(C4 + 3, 2)});
    ASSERT_TRUE(xmWriteFile(testModule({rows}), "pelvorgrind.xm"));
  }
  std::string folder;
  char home[4096];
};

TEST_F(MusicPlay, InstrumentOneRaisesTheFlashAndOthersDoNot) {
  writeModule();
  startMusic();
  ASSERT_NE(musicModule, nullptr);
  flashDepth = -20.0f;
  // 0.5 s holds the hits at 0 and 480 ms; the 13 notes of instrument 2 leave no mark.
  soundRenderOffline(musicModule, nullptr, 22050);
  EXPECT_EQ(flashDepth.load(), 18.0f);
  EXPECT_EQ(FMUSIC_GetTime(musicModule), 500);
  soundRenderOffline(musicModule, nullptr, 44100 * 3);
  EXPECT_EQ(flashDepth.load(), 56.0f);  // four hits in all, then the module has ended
}

TEST_F(MusicPlay, StartingAgainPlaysFromTheBeginning) {
  writeModule();
  startMusic();
  soundRenderOffline(musicModule, nullptr, 44100);
  EXPECT_EQ(FMUSIC_GetTime(musicModule), 1000);
  startMusic();  // what a fullscreen toggle does
  EXPECT_EQ(FMUSIC_GetTime(musicModule), 0);
  flashDepth = 0.0f;
  soundRenderOffline(musicModule, nullptr, 100);
  EXPECT_EQ(flashDepth.load(), 19.0f);  // the first hit again
}

TEST_F(MusicPlay, WithoutTheModuleTheProcessEnds) {
  EXPECT_EXIT(startMusic(), ::testing::ExitedWithCode(1), "Ravnel demoengine\\|0x40\\|there is no module!");
}

TEST_F(MusicPlay, ABrokenModuleIsNoModule) {
  FILE* file = std::fopen("pelvorgrind.xm", "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("Extended Module: but nothing else", file);
  std::fclose(file);
  EXPECT_EXIT(startMusic(), ::testing::ExitedWithCode(1), "there is no module!");
}

}  // namespace
