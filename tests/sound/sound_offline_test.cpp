// The six operations with the offline output: time, callbacks, determinism,
// the end of the module, restarts and bad input.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "sound.h"
#include "sound_hooks.h"
#include "test_modules.h"
#include "xm_player.h"

namespace {

constexpr int C4 = 49;

// Two patterns of notes on both instruments, with a delay and a speed change.
XmModule song() {
  std::vector<TestRow> first, second;
  for (int r = 0; r < 16; ++r) {
    first.push_back(
        {noteCell(r % 4 == 0 ? C4 : 0, r % 4 == 0 ? 1 : 0), noteCell(r % 3 == 0 ? C4 + 7 : 0, 2)});
    second.push_back({noteCell(C4 + r % 5, r % 2 + 1, r == 5 ? 0x0E : 0, r == 5 ? 0xD2 : 0),
                      noteCell(r == 0 ? 0 : 0, 0, r == 0 ? 0x0F : 0, r == 0 ? 4 : 0)});
  }
  return testModule({first, second});
}

uint64_t fnv1a(const std::vector<int16_t>& pcm) {
  uint64_t hash = 1469598103934665603ull;
  for (int16_t v : pcm) {
    for (int b = 0; b < 2; ++b) {
      hash ^= static_cast<uint8_t>(static_cast<uint16_t>(v) >> (8 * b));
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

struct Call {
  int instrument;
  int timeMs;  // FMUSIC_GetTime inside the callback
  std::thread::id thread;
};
std::vector<Call> calls;

void record(FMUSIC_MODULE* mod, unsigned char param) {
  calls.push_back(Call{param, FMUSIC_GetTime(mod), std::this_thread::get_id()});
}

class SoundOffline : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    soundSelectOutput(kSoundOutputOffline);
    ASSERT_EQ(FSOUND_Init(44100, 64, 2), 1);
    ASSERT_EQ(soundActiveOutput(), kSoundActiveOffline);
    path = writeTestModule(song(), "offline");
  }
  void TearDown() override { std::remove(path.c_str()); }

  // Loads, plays and hooks both instruments.
  FMUSIC_MODULE* start() {
    FMUSIC_MODULE* mod = FMUSIC_LoadSong(path.c_str());
    EXPECT_NE(mod, nullptr);
    EXPECT_EQ(FMUSIC_PlaySong(mod), 1);
    EXPECT_EQ(FMUSIC_SetInstCallback(mod, record, 1), 1);
    EXPECT_EQ(FMUSIC_SetInstCallback(mod, record, 2), 1);
    return mod;
  }

  // Renders `total` frames in steps of `step`.
  std::vector<int16_t> render(FMUSIC_MODULE* mod, size_t total, size_t step) {
    std::vector<int16_t> pcm(total * 2);
    for (size_t at = 0; at < total; at += step) {
      const size_t n = std::min(step, total - at);
      EXPECT_EQ(soundRenderOffline(mod, pcm.data() + at * 2, n), n);
    }
    return pcm;
  }

  std::string path;
};

TEST_F(SoundOffline, TimeIsFramesRenderedAndCallbacksComeInOrderWhenHeard) {
  FMUSIC_MODULE* mod = start();
  EXPECT_EQ(FMUSIC_GetTime(mod), 0);
  int64_t rendered = 0;
  int last = 0;
  for (int frame = 0; frame < 400; ++frame) {  // 10 s in video-frame steps
    ASSERT_EQ(soundRenderOffline(mod, nullptr, 1102), 1102u);
    rendered += 1102;
    const int now = FMUSIC_GetTime(mod);
    EXPECT_EQ(now, rendered * 1000 / 44100);
    EXPECT_GE(now, last);
    last = now;
  }
  const std::vector<XmTrigger> expected = playerTriggers(path);
  ASSERT_EQ(calls.size(), expected.size());
  ASSERT_GT(calls.size(), 20u);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].instrument, expected[i].instrument) << i;
    // Heard: the step that holds the trigger has been rendered, and no more.
    EXPECT_GE(calls[i].timeMs, expected[i].frame * 1000 / 44100) << i;
    EXPECT_LE(calls[i].timeMs, (expected[i].frame + 1102) * 1000 / 44100 + 1) << i;
    EXPECT_EQ(calls[i].thread, std::this_thread::get_id());
  }
}

TEST_F(SoundOffline, RenderingIsDeterministicInOnePieceOrInSteps) {
  FMUSIC_MODULE* mod = start();
  const size_t total = 44100 * 8;
  const std::vector<int16_t> whole = render(mod, total, total);
  const std::vector<Call> wholeCalls = calls;
  bool sound = false;
  for (int16_t v : whole) sound = sound || v != 0;
  EXPECT_TRUE(sound);

  for (size_t step : {size_t{735}, size_t{1}, size_t{4999}}) {
    calls.clear();
    FMUSIC_MODULE* again = start();  // a second copy of the same file
    const std::vector<int16_t> stepped = step == 1 ? render(again, 44100, 1) : render(again, total, step);
    if (step == 1) {
      EXPECT_EQ(std::vector<int16_t>(whole.begin(), whole.begin() + 44100 * 2), stepped);
    } else {
      EXPECT_EQ(fnv1a(whole), fnv1a(stepped)) << "step " << step;
      ASSERT_EQ(calls.size(), wholeCalls.size());
      for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].instrument, wholeCalls[i].instrument);
    }
  }
}

TEST_F(SoundOffline, PlaysOnceThenSilenceWhileTimeGoesOn) {
  FMUSIC_MODULE* mod = start();
  const std::vector<int16_t> pcm = render(mod, 44100 * 20, 44100 * 20);
  // 16 rows at speed 6 and 16 at speed 4, 882-frame ticks: 141120 frames.
  const size_t songFrames = 16 * 6 * 882 + 16 * 4 * 882;
  size_t lastSound = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    if (pcm[i] != 0) lastSound = i / 2;
  }
  EXPECT_GT(lastSound, songFrames - 882);
  EXPECT_LT(lastSound, songFrames);
  const size_t callsAtEnd = calls.size();
  render(mod, 44100 * 5, 44100);
  EXPECT_EQ(calls.size(), callsAtEnd);  // no second pass
  EXPECT_EQ(FMUSIC_GetTime(mod), 25000);
}

TEST_F(SoundOffline, PlaySongStartsAgainFromZero) {
  FMUSIC_MODULE* first = start();
  render(first, 44100 * 3, 44100);
  EXPECT_EQ(FMUSIC_GetTime(first), 3000);
  const std::vector<Call> firstCalls = calls;

  // The same module again: from its beginning, with the same notes.
  EXPECT_EQ(FMUSIC_PlaySong(first), 1);
  EXPECT_EQ(FMUSIC_GetTime(first), 0);
  calls.clear();
  render(first, 44100 * 3, 44100);
  ASSERT_EQ(calls.size(), firstCalls.size());

  // Another module: it starts at 0 and the first stops, its time held.
  FMUSIC_MODULE* second = start();
  EXPECT_EQ(FMUSIC_GetTime(second), 0);
  render(second, 44100, 441);
  EXPECT_EQ(FMUSIC_GetTime(second), 1000);
  EXPECT_EQ(FMUSIC_GetTime(first), 3000);
  EXPECT_EQ(soundRenderOffline(first, nullptr, 100), 0u);
}

TEST_F(SoundOffline, BadArgumentsAreRefusedAndChangeNothing) {
  FMUSIC_MODULE* mod = start();
  EXPECT_EQ(FMUSIC_SetInstCallback(mod, record, 0), 0);
  EXPECT_EQ(FMUSIC_SetInstCallback(mod, record, 3), 0);  // the song has two instruments
  EXPECT_EQ(FMUSIC_SetInstCallback(nullptr, record, 1), 0);
  EXPECT_EQ(FMUSIC_PlaySong(nullptr), 0);
  EXPECT_EQ(FMUSIC_GetTime(nullptr), 0);
  EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
  // Not regular files: refused without waiting for a FIFO's writer.
  char fifo[] = "/tmp/quendaloop-fifo-XXXXXX";
  ASSERT_NE(mkdtemp(fifo), nullptr);
  const std::string fifoPath = std::string(fifo) + "/song.xm";
  ASSERT_EQ(mkfifo(fifoPath.c_str(), 0600), 0);
  EXPECT_EQ(FMUSIC_LoadSong(fifoPath.c_str()), nullptr);
  EXPECT_EQ(FMUSIC_LoadSong(fifo), nullptr);
  EXPECT_EQ(FMUSIC_LoadSong("/dev/zero"), nullptr);
  unlink(fifoPath.c_str());
  rmdir(fifo);
  EXPECT_EQ(soundRenderOffline(nullptr, nullptr, 10), 0u);
  EXPECT_EQ(FSOUND_Init(0, 64, 0), 0);
  EXPECT_EQ(FSOUND_Init(44100, -1, 0), 0);
  // The refused initialisations left the playing module alone.
  EXPECT_EQ(soundRenderOffline(mod, nullptr, 4410), 4410u);
  EXPECT_EQ(FMUSIC_GetTime(mod), 100);
  // Removing a callback silences it.
  EXPECT_EQ(FMUSIC_SetInstCallback(mod, nullptr, 1), 1);
  EXPECT_EQ(FMUSIC_SetInstCallback(mod, nullptr, 2), 1);
  calls.clear();
  soundRenderOffline(mod, nullptr, 44100 * 4);
  EXPECT_TRUE(calls.empty());
}

std::vector<int> refusals;
void reinitialiseFromCallback(FMUSIC_MODULE* mod, unsigned char) {
  refusals.push_back(FSOUND_Init(44100, 64, 2));
  refusals.push_back(FMUSIC_PlaySong(mod));
  refusals.push_back(FMUSIC_LoadSong("any.xm") != nullptr);
}

TEST_F(SoundOffline, ACallbackCannotPullTheModuleFromUnderTheRender) {
  FMUSIC_MODULE* mod = start();
  refusals.clear();
  ASSERT_EQ(FMUSIC_SetInstCallback(mod, reinitialiseFromCallback, 1), 1);
  EXPECT_EQ(soundRenderOffline(mod, nullptr, 44100 * 2), 44100u * 2);
  ASSERT_FALSE(refusals.empty());
  for (int result : refusals) EXPECT_EQ(result, 0);
  EXPECT_EQ(FMUSIC_GetTime(mod), 2000);  // still the same, still playing
}

TEST_F(SoundOffline, ReinitialisingFreesTheEarlierModules) {
  FMUSIC_MODULE* old = start();
  render(old, 44100, 44100);
  ASSERT_EQ(FSOUND_Init(44100, 64, 2), 1);
  // The old handle is dead: refused, never followed.
  EXPECT_EQ(FMUSIC_GetTime(old), 0);
  EXPECT_EQ(FMUSIC_PlaySong(old), 0);
  EXPECT_EQ(soundRenderOffline(old, nullptr, 10), 0u);
  FMUSIC_MODULE* fresh = start();
  render(fresh, 4410, 4410);
  EXPECT_EQ(FMUSIC_GetTime(fresh), 100);
}

TEST_F(SoundOffline, BrokenFilesGiveANullHandle) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(good.size(), 400u);
  auto loadBytes = [&](const std::vector<char>& bytes) {
    const std::string broken = path + ".broken";
    std::ofstream(broken, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FMUSIC_MODULE* mod = FMUSIC_LoadSong(broken.c_str());
    std::remove(broken.c_str());
    return mod;
  };
  EXPECT_EQ(FMUSIC_LoadSong((path + ".missing").c_str()), nullptr);
  EXPECT_EQ(FMUSIC_LoadSong("/"), nullptr);  // a folder
  EXPECT_EQ(loadBytes({}), nullptr);
  EXPECT_EQ(loadBytes(std::vector<char>(4096, 'x')), nullptr);
  for (size_t cut : {size_t{17}, size_t{59}, size_t{60}, size_t{80}, size_t{336}}) {
    EXPECT_EQ(loadBytes(std::vector<char>(good.begin(), good.begin() + static_cast<long>(cut))), nullptr)
        << "cut at " << cut;
  }
  // Header sizes and counts turned to nonsense.
  for (size_t at : {size_t{60}, size_t{68}, size_t{70}, size_t{72}}) {
    std::vector<char> bad = good;
    bad[at] = bad[at + 1] = static_cast<char>(0xff);
    if (FMUSIC_MODULE* mod = loadBytes(bad)) {
      // libxmp may accept a damaged header: then the module must still play.
      EXPECT_EQ(FMUSIC_PlaySong(mod), 1);
      EXPECT_EQ(soundRenderOffline(mod, nullptr, 44100), 44100u);
    }
  }
  // A good file still loads after all that.
  EXPECT_NE(FMUSIC_LoadSong(path.c_str()), nullptr);
}

}  // namespace
