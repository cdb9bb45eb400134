// The frame pacer against a clock the test moves by hand.
#include "frame_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const int64_t P = framePeriodNs(60);  // 16,666,666 ns

// Draws one frame that takes `drawNs`, sleeps as the pacer says and swaps;
// the swap itself takes `swapNs` (a driver that waits for the retrace spends
// the rest of the period there). Returns when the swap returned.
int64_t frame(int64_t& now, int64_t drawNs, int64_t swapNs = 0) {
  now += drawNs;
  const int64_t until = framePacerBeforeSwap(now);
  if (until > now) now = until;
  now += swapNs;
  framePacerAfterSwap(now);
  return now;
}

TEST(FramePacer, SelfPacedSwapsKeepToAGridOfDeadlines) {
  framePacerReset(60, /*driverWaits=*/false, /*enabled=*/true);
  EXPECT_EQ(framePacerMode(), PacingMode::kSelf);
  int64_t now = 1000;
  const int64_t start = frame(now, 2000000);  // the first swap sets the grid
  for (int i = 1; i <= 120; ++i) EXPECT_EQ(frame(now, 3000000), start + i * P) << "frame " << i;

  // A frame that runs 0.4 of a period late is swapped at once; the next one
  // goes back to its slot, so nothing drifts.
  const int64_t base = now;
  EXPECT_EQ(frame(now, P + P * 4 / 10), base + P + P * 4 / 10);
  EXPECT_EQ(frame(now, 1000000), base + 2 * P);
  // One that overruns by whole periods gives those slots up: no burst follows.
  EXPECT_EQ(frame(now, 3 * P + P / 2), base + 5 * P + P / 2);
  EXPECT_EQ(frame(now, 1000000), base + 6 * P);
  EXPECT_EQ(frame(now, 1000000), base + 7 * P);
}

TEST(FramePacer, UnknownRateIsSixtyHertzAndOffNeverWaits) {
  EXPECT_EQ(framePeriodNs(0), P);
  EXPECT_EQ(framePeriodNs(75), 1000000000 / 75);
  framePacerReset(0, false, /*enabled=*/false);
  EXPECT_EQ(framePacerMode(), PacingMode::kOff);
  int64_t now = 0;
  for (int i = 1; i <= 50; ++i) EXPECT_EQ(frame(now, 100000), i * 100000);
}

TEST(FramePacer, LearnsWhetherTheDriverWaits) {
  // A driver that keeps to the retrace: the pacer leaves the waiting to it.
  framePacerReset(60, /*driverWaits=*/true, true);
  EXPECT_EQ(framePacerMode(), PacingMode::kProbing);
  int64_t now = 0;
  for (int i = 0; i < 20; ++i) frame(now, 1000000, P - 1000000);
  EXPECT_EQ(framePacerMode(), PacingMode::kDriver);
  const int64_t before = now;
  frame(now, 1000000, P - 1000000);
  EXPECT_EQ(now - before, P) << "no wait of the pacer's own on top of the driver's";

  // It stops waiting (the window was covered, say): the pacer takes over.
  for (int i = 0; i < 40; ++i) frame(now, 1000000);
  EXPECT_EQ(framePacerMode(), PacingMode::kSelf);
  const int64_t grid = frame(now, 1000000);
  EXPECT_EQ(frame(now, 1000000), grid + P);

  // One that accepts the swap interval and never waits: probing frames come
  // at most at twice the rate, then the pacer keeps to the refresh rate.
  framePacerReset(60, true, true);
  now = 0;
  int64_t last = frame(now, 100000);
  for (int i = 0; i < 40; ++i) {
    const int64_t swapped = frame(now, 100000);
    EXPECT_GE(swapped - last, P / 2) << "frame " << i;
    last = swapped;
  }
  EXPECT_EQ(framePacerMode(), PacingMode::kSelf);
  EXPECT_EQ(frame(now, 100000), last + P);
}

// A display refreshing `hz` times a second whose driver, if `showsFor` is not
// 0, shows each frame for that many refreshes: a swap returns at the first
// refresh at or after the call and at least `showsFor` after the previous
// swap's. Returns when the swap returned.
struct Display {
  int hz;
  int showsFor;
  int64_t lastRefresh = -1000;
  int64_t swap(int64_t now) {
    if (showsFor == 0) return now;
    lastRefresh = std::max((now * hz + 999999999) / 1000000000, lastRefresh + showsFor);
    return lastRefresh * 1000000000 / hz;
  }
};

TEST(FramePacer, SixtyFramesASecondFromSixtyHertzUpOneFramePerRefreshBelow) {
  const int kUnknown = 0;
  struct Case {
    int reportedHz;  // the rate the display reports
    bool accepted;   // whether the driver accepted the interval asked for
    int showsFor;    // refreshes the driver really shows each frame for; 0: it does not wait
    int displayHz;   // the display's own rate
    int interval;    // the interval to ask for
    int frames;      // frames drawn in 2 s
    PacingMode mode;
  } cases[] = {
      {50, true, 1, 50, 1, 100, PacingMode::kDriver},  // below 60: every refresh
      {50, false, 0, 50, 1, 100, PacingMode::kSelf},
      {59, true, 1, 59, 1, 118, PacingMode::kDriver},
      {60, true, 1, 60, 1, 120, PacingMode::kDriver},
      {60, false, 0, 60, 1, 120, PacingMode::kSelf},
      {60, true, 0, 60, 1, 120, PacingMode::kSelf},  // accepted, not kept
      {75, true, 1, 75, 1, 120, PacingMode::kSelf},  // not a multiple: the pacer keeps to 60
      {75, false, 0, 75, 1, 120, PacingMode::kSelf},
      {119, true, 2, 119, 2, 119, PacingMode::kDriver},  // 119.88 Hz, as some systems report it
      {120, true, 2, 120, 2, 120, PacingMode::kDriver},  // each frame stays for two refreshes
      {120, true, 0, 120, 2, 120, PacingMode::kSelf},
      {120, false, 1, 120, 2, 120, PacingMode::kSelf},  // 2 refused, waits for 1 all the same
      {144, true, 1, 144, 1, 120, PacingMode::kSelf},
      {144, false, 0, 144, 1, 120, PacingMode::kSelf},
      {165, true, 1, 165, 1, 120, PacingMode::kSelf},
      {240, true, 4, 240, 4, 120, PacingMode::kDriver},
      {240, false, 0, 240, 4, 120, PacingMode::kSelf},
      {kUnknown, true, 1, 144, 1, 120, PacingMode::kSelf},
      {kUnknown, false, 0, 60, 1, 120, PacingMode::kSelf},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.reportedHz << " Hz reported, " << c.displayHz << " Hz shown for "
                                    << c.showsFor << (c.accepted ? ", accepted" : ", refused"));
    EXPECT_EQ(framePacerSwapInterval(c.reportedHz), c.interval);
    framePacerReset(c.reportedHz, c.accepted, true);
    Display display{c.displayHz, c.showsFor};
    int64_t now = 0;
    int drawn = 0;  // from 1 s on, after the driver was learned, for 2 s
    while (now < 3000000000) {
      now += 2000000;  // drawing
      const int64_t until = framePacerBeforeSwap(now);
      now = display.swap(std::max(now, until));
      framePacerAfterSwap(now);
      if (now >= 1000000000 && now < 3000000000) ++drawn;
    }
    EXPECT_NEAR(drawn, c.frames, 1);
    EXPECT_EQ(framePacerMode(), c.mode);
  }
}

}  // namespace
