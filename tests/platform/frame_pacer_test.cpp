// The frame pacer against a clock the test moves by hand.
#include "frame_pacer.h"

#include <gtest/gtest.h>

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
  framePacerReset(P, /*driverWaits=*/false, /*enabled=*/true);
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
  framePacerReset(P, /*driverWaits=*/true, true);
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
  framePacerReset(P, true, true);
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

}  // namespace
