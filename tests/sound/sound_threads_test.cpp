// The mixer thread: callbacks arrive on it, in order, when the null output's
// clock reaches their notes; re-initialising stops the earlier module.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "sound.h"
#include "sound_hooks.h"
#include "test_modules.h"
#include "xm_player.h"

namespace {

constexpr int C4 = 49;
std::atomic<int64_t> fakeNs{0};
int64_t fakeClock() { return fakeNs.load(); }

struct Heard {
  int tag;  // which of the test's modules: 1 the first started, 2 the second
  int instrument;
  int timeMs;
  std::thread::id thread;
};

std::mutex heardLock;
std::condition_variable heardCv;
std::vector<Heard> heard;

// Handles are addresses, and a freed module's address may come back for the
// next one, so each module of a test gets a callback of its own.
template <int tag>
void record(FMUSIC_MODULE* mod, unsigned char param) {
  const int now = FMUSIC_GetTime(mod);
  {
    std::lock_guard<std::mutex> lock(heardLock);
    heard.push_back(Heard{tag, param, now, std::this_thread::get_id()});
  }
  heardCv.notify_all();
}

// Waits until `count` callbacks have come in, or gives up after a generous
// deadline; returns what came.
std::vector<Heard> waitForCalls(size_t count) {
  std::unique_lock<std::mutex> lock(heardLock);
  heardCv.wait_for(lock, std::chrono::seconds(20), [&] { return heard.size() >= count; });
  return heard;
}

size_t callsFor(int tag) {
  std::lock_guard<std::mutex> lock(heardLock);
  size_t n = 0;
  for (const Heard& h : heard) n += h.tag == tag;
  return n;
}

// 32 rows of alternating instruments on two channels.
XmModule busySong() {
  std::vector<TestRow> rows;
  for (int r = 0; r < 32; ++r)
    rows.push_back({noteCell(C4 + r % 7, r % 2 + 1), noteCell(r % 4 == 0 ? C4 : 0, 2)});
  return testModule({rows});
}

class SoundThreads : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard<std::mutex> lock(heardLock);
      heard.clear();
    }
    soundSetClock(fakeClock);
    soundSelectOutput(kSoundOutputNull);
    ASSERT_EQ(FSOUND_Init(44100, 64, 2), 1);
    path = writeTestModule(busySong(), "threads");
  }
  void TearDown() override {
    soundSelectOutput(kSoundOutputOffline);
    FSOUND_Init(44100, 64, 0);
    soundSetClock(nullptr);
    std::remove(path.c_str());
  }
  FMUSIC_MODULE* start(FMUSIC_CALLBACK callback = record<1>) {
    FMUSIC_MODULE* mod = FMUSIC_LoadSong(path.c_str());
    EXPECT_NE(mod, nullptr);
    EXPECT_EQ(FMUSIC_SetInstCallback(mod, callback, 1), 1);
    EXPECT_EQ(FMUSIC_SetInstCallback(mod, callback, 2), 1);
    EXPECT_EQ(FMUSIC_PlaySong(mod), 1);
    return mod;
  }
  std::string path;
};

TEST_F(SoundThreads, CallbacksComeInOrderOnTheMixerThreadOnceHeard) {
  const std::vector<XmTrigger> expected = playerTriggers(path);
  ASSERT_GT(expected.size(), 30u);
  FMUSIC_MODULE* mod = start();
  // Step the clock through the song a video frame at a time, reading the
  // time as the show does.
  int last = 0;
  for (int step = 0; step < 300; ++step) {
    fakeNs += 16666667;
    const int now = FMUSIC_GetTime(mod);
    EXPECT_GE(now, last);
    last = now;
  }
  const std::vector<Heard> calls = waitForCalls(expected.size());
  ASSERT_EQ(calls.size(), expected.size());
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].instrument, expected[i].instrument) << i;
    EXPECT_NE(calls[i].thread, std::this_thread::get_id());
    // Never before the note is heard.
    EXPECT_GE(calls[i].timeMs, expected[i].frame * 1000 / 44100) << i;
  }
}

TEST_F(SoundThreads, NothingFiresBeforeTheClockReachesTheNote) {
  start();
  // Row 1 starts at 6 ticks of 882 frames = 120 ms. Stop the clock at 100 ms:
  // only row 0's two notes are heard, whatever the mixer renders ahead.
  fakeNs += 100000000;
  const std::vector<Heard> calls = waitForCalls(2);
  ASSERT_EQ(calls.size(), 2u);
  // Make sure the mixer has been round its loop with the clock at 100 ms:
  // a load is handled on the mixer thread after it has rendered and fired.
  ASSERT_NE(FMUSIC_LoadSong(path.c_str()), nullptr);
  ASSERT_NE(FMUSIC_LoadSong(path.c_str()), nullptr);
  EXPECT_EQ(callsFor(1), 2u);
  fakeNs += 30000000;
  EXPECT_EQ(waitForCalls(3).size(), 3u);
}

TEST_F(SoundThreads, ReinitialisingStopsTheEarlierModule) {
  start();
  fakeNs += 500000000;
  waitForCalls(5);
  ASSERT_GE(callsFor(1), 5u);

  ASSERT_EQ(FSOUND_Init(44100, 64, 2), 1);
  const size_t firstCalls = callsFor(1);
  FMUSIC_MODULE* second = start(record<2>);
  EXPECT_EQ(FMUSIC_GetTime(second), 0);
  const size_t expected = playerTriggers(path).size();
  fakeNs += 10000000000;
  const std::vector<Heard> calls = waitForCalls(firstCalls + expected);
  EXPECT_EQ(callsFor(2), expected);
  EXPECT_EQ(callsFor(1), firstCalls);  // the first module fell silent
  EXPECT_EQ(calls.size(), firstCalls + expected);
}

TEST_F(SoundThreads, TimeMayBeReadFromAnotherThreadWhileCallbacksRun) {
  FMUSIC_MODULE* mod = start();
  std::atomic<bool> done{false};
  std::thread reader([&] {
    int last = 0;
    while (!done.load()) {
      const int now = FMUSIC_GetTime(mod);
      EXPECT_GE(now, last);
      last = now;
    }
  });
  for (int step = 0; step < 100; ++step) fakeNs += 20000000;
  size_t due = 0;  // the notes of the first two seconds
  for (const XmTrigger& t : playerTriggers(path)) due += t.frame < 2 * 44100;
  EXPECT_EQ(waitForCalls(due).size(), due);
  done = true;
  reader.join();
  EXPECT_EQ(FMUSIC_GetTime(mod), 2000);
}

}  // namespace
