// What the capture program, the tests and the benchmarks reach past the six
// operations of sound.h: the choice of output, the offline render, the null
// output's clock and which output is open. The show itself uses none of it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sound.h"

// Where the sound goes, chosen before FSOUND_Init. AUTO is the SDL device
// (or the null output when there is none or QUENDALOOP_SOUND=null);
// NULL the null output; OFFLINE renders only inside soundRenderOffline.
enum SoundOutputKind { kSoundOutputAuto, kSoundOutputNull, kSoundOutputOffline };
void soundSelectOutput(SoundOutputKind kind);

// Offline output only: renders the next `frames` frames of `mod` (44100 Hz,
// stereo, int16 interleaved, so 2 * frames values; `pcm` may be null to
// discard them), calls the callbacks of the triggers heard in them in order on
// the caller's thread, and advances FMUSIC_GetTime(mod) to
// frames-rendered-so-far * 1000 / 44100. Silence after the module's end.
// Returns `frames`, or 0 when the output is not offline or `mod` is not the
// playing module.
size_t soundRenderOffline(FMUSIC_MODULE* mod, int16_t* pcm, size_t frames);

// For tests: the clock that paces the null output, in nanoseconds from any
// fixed origin, monotonic. Null restores the system's monotonic clock.
// Call before FSOUND_Init; the null output reads it from its mixer thread.
typedef int64_t (*SoundClock)();
void soundSetClock(SoundClock clock);

// The output that the last successful FSOUND_Init opened: the SDL device,
// the null output (chosen, or because no device opened) or offline; NONE
// before the library has been initialised.
enum SoundActiveOutput { kSoundActiveNone, kSoundActiveDevice, kSoundActiveNull, kSoundActiveOffline };
SoundActiveOutput soundActiveOutput();
