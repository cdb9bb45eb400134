// Frame pacing: one buffer swap per display refresh.
//
// The show advances its motion once per drawn frame, so its speed follows the
// frame rate; paced, that rate is the display's refresh rate. A driver that
// waits for the vertical retrace paces the swaps itself. Where it does not
// (the request for a swap interval refused, or accepted and then not kept, as
// software and virtual drivers do), the pacer says until when to wait before
// each swap, on a grid of deadlines one refresh period apart, so that slow
// frames do not add up to drift.
//
// Use: framePacerReset when a GL context becomes current, then around every
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

// Starts pacing anew for a context: `periodNs` is one refresh period (0 for
// an unknown rate, taken as 60 Hz); `driverWaits` tells whether the driver
// accepted the request to wait for the retrace; `enabled` false turns pacing
// off.
void framePacerReset(int64_t periodNs, bool driverWaits, bool enabled);

// The time to sleep until before the next swap; a time at or before `now`
// means no wait.
int64_t framePacerBeforeSwap(int64_t now);

// Records that a swap returned at `now`.
void framePacerAfterSwap(int64_t now);

PacingMode framePacerMode();

// One refresh period in nanoseconds, from a rate in Hz (0 or less: 60 Hz).
int64_t framePeriodNs(int refreshHz);
