// Frame pacing: 60 frames a second, the rate the show's motion is made for.
//
// The show advances its motion once per drawn frame, so its speed follows the
// frame rate. On a display of 60 Hz, or a whole multiple of it (120, 180,
// 240 Hz), the driver is asked to show each frame for whole refreshes (a swap
// interval of refresh / 60) and, where it keeps to that, paces the swaps
// itself. On other displays from 60 Hz up (75, 144, 165 Hz), and where the
// driver does not wait (the request refused, or accepted and then not kept,
// as software and virtual drivers do), the pacer says until when to wait
// before each swap, on a grid of deadlines 1/60 s apart, so that slow frames
// do not add up to drift. Below 60 Hz (50 Hz televisions) a display cannot
// show 60 frames a second: the show draws one frame per refresh there, and
// its motion runs that much slower against the music.
//
// Use: when a GL context becomes current, ask the driver for
// framePacerSwapInterval(refresh) and call framePacerReset; then around every
// swap: sleep until framePacerBeforeSwap(now), swap, framePacerAfterSwap(now).
// Times are nanoseconds of a monotonic clock; the pacer reads no clock itself.
// Main thread only.
#pragma once

#include <cstdint>

enum class PacingMode {
  kOff,      // pacing turned off: swaps as fast as frames are drawn
  kProbing,  // watching the first swaps to learn whether the driver waits
  kDriver,   // the driver waits for the retrace
  kSelf,     // the pacer waits, on its deadline grid
};

// The swap interval to ask the driver for on a display of `refreshHz` (0 or
// less: unknown): how many refreshes each frame stays on screen, at least 1.
int framePacerSwapInterval(int refreshHz);

// Starts pacing anew for a context on a display of `refreshHz` (0 or less:
// unknown, and then kept to 60 frames a second by the pacer): `driverWaits`
// tells whether the driver accepted framePacerSwapInterval(refreshHz);
// `enabled` false turns pacing off.
void framePacerReset(int refreshHz, bool driverWaits, bool enabled);

// The time to sleep until before the next swap; a time at or before `now`
// means no wait.
int64_t framePacerBeforeSwap(int64_t now);

// Records that a swap returned at `now`.
void framePacerAfterSwap(int64_t now);

PacingMode framePacerMode();

// One refresh period in nanoseconds, from a rate in Hz (0 or less: 60 Hz).
int64_t framePeriodNs(int refreshHz);
