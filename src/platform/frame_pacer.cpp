#include "frame_pacer.h"

#include <algorithm>
#include <cstdlib>

namespace {

// The frame rate the show's motion is made for.
const int kShowRateHz = 60;
// A reported rate this close to a whole multiple of the show's rate counts as
// that multiple: some systems report 59.94 Hz as 59 and 119.88 Hz as 119.
const int kRateSlackHz = 1;

// Swaps watched before deciding whether the driver waits; the first few are
// left out, since a driver fills its queue of buffers without waiting.
const int kWarmUpSwaps = 3;
const int kProbeSwaps = 12;
// While probing, frames come at most at twice the refresh rate: a driver that
// waits shows intervals of a whole period, one that does not shows half.
const int64_t kProbeDivisor = 2;
// An interval shorter than this share of a period is one the driver did not
// wait for.
const int64_t kWaitingShareNum = 3, kWaitingShareDen = 4;
// A driver that waited is watched over windows of this many swaps; when most
// of a window came early, it stopped waiting (an occluded window, say) and
// the pacer takes over.
const int kDriverWindow = 30;

PacingMode mode = PacingMode::kOff;
int64_t period = 0;     // ns, one frame: 1/60 s, or the refreshes the driver shows each frame for
int64_t deadline = -1;  // ns, when self-paced: the next swap's slot on the grid; -1 before the first swap
int64_t lastSwap = -1;  // ns, when the previous swap returned; -1 before the first
int swapsSeen = 0;      // swaps recorded since the reset (probing) or the window began (driver)
int earlySwaps = 0;     // of those, the ones that came before the waiting share of a period

bool cameEarly(int64_t interval) { return interval * kWaitingShareDen < period * kWaitingShareNum; }

void startSelfPacing(int64_t now) {
  mode = PacingMode::kSelf;
  deadline = now + period;
}

}  // namespace

int64_t framePeriodNs(int refreshHz) { return 1000000000LL / (refreshHz > 0 ? refreshHz : kShowRateHz); }

int framePacerSwapInterval(int refreshHz) {
  if (refreshHz <= 0) return 1;
  const int multiple = std::max(1, (refreshHz + kShowRateHz / 2) / kShowRateHz);
  return std::abs(refreshHz - multiple * kShowRateHz) <= kRateSlackHz ? multiple : 1;
}

void framePacerReset(int refreshHz, bool driverWaits, bool enabled) {
  // The driver's waiting gives the show's rate where each frame stays for
  // whole refreshes at 60 Hz or a multiple of it, and below 60 Hz, where one
  // frame per refresh is the most the display shows (the show then runs
  // slower, rather than skipping motion it is made to draw frame by frame).
  // On any other display, or an unknown one, the pacer keeps to 60 itself,
  // and the driver, if it waits, shows each frame at the refresh after its
  // slot.
  const int interval = framePacerSwapInterval(refreshHz);
  const bool driverKeepsRate =
      refreshHz > 0 &&
      (refreshHz < kShowRateHz || std::abs(refreshHz - interval * kShowRateHz) <= kRateSlackHz);
  period = driverKeepsRate ? interval * framePeriodNs(refreshHz) : framePeriodNs(kShowRateHz);
  lastSwap = -1;
  swapsSeen = 0;
  earlySwaps = 0;
  deadline = -1;
  if (!enabled)
    mode = PacingMode::kOff;
  else
    mode = driverWaits && driverKeepsRate ? PacingMode::kProbing : PacingMode::kSelf;
}

PacingMode framePacerMode() { return mode; }

int64_t framePacerBeforeSwap(int64_t now) {
  switch (mode) {
    case PacingMode::kSelf: return deadline < 0 ? now : deadline;
    case PacingMode::kProbing: return lastSwap < 0 ? now : lastSwap + period / kProbeDivisor;
    default: return now;
  }
}

void framePacerAfterSwap(int64_t now) {
  const int64_t interval = lastSwap < 0 ? -1 : now - lastSwap;
  lastSwap = now;
  switch (mode) {
    case PacingMode::kSelf:
      if (deadline < 0) deadline = now;  // the first swap sets the grid
      // The next slot on the grid; a frame that overran by whole periods
      // gives those slots up instead of being followed by a burst.
      deadline += period;
      if (deadline <= now) deadline += ((now - deadline) / period + 1) * period;
      return;
    case PacingMode::kProbing:
      if (interval < 0 || ++swapsSeen <= kWarmUpSwaps) return;
      if (cameEarly(interval)) ++earlySwaps;
      if (swapsSeen < kWarmUpSwaps + kProbeSwaps) return;
      if (earlySwaps * 2 > kProbeSwaps) {
        startSelfPacing(now);
      } else {
        mode = PacingMode::kDriver;
        swapsSeen = earlySwaps = 0;
      }
      return;
    case PacingMode::kDriver:
      if (interval < 0) return;
      if (cameEarly(interval)) ++earlySwaps;
      if (++swapsSeen < kDriverWindow) return;
      if (earlySwaps * 2 > kDriverWindow) {
        startSelfPacing(now);
        return;
      }
      swapsSeen = earlySwaps = 0;
      return;
    case PacingMode::kOff: return;
  }
}
