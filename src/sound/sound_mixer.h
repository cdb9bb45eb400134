// Who runs libxmp for the real-time outputs. Two hosts, one file each, chosen
// by the build:
//   sound_mixer_thread.cpp  a mixer thread of the library's own (desktop),
//                           woken by commands, the output and its deadlines;
//   sound_mixer_frames.cpp  the program's one thread (browser): work runs at
//                           once, and passes run once per displayed frame and
//                           whenever the output asks.
// sound.cpp hands the host its work and the pass that keeps an output fed.
#pragma once

#include <chrono>
#include <functional>

class RealTimeSoundDevice;

// One pass over `out`: feeds the output and calls the callbacks of the notes
// heard so far. Returns how long the host may wait before the next pass.
// Defined by sound.cpp; runs on libxmp's thread only.
std::chrono::nanoseconds soundMixerPass(RealTimeSoundDevice& out);

// Starts running passes over `out`. The controlling thread, while no host runs.
void mixerStart(RealTimeSoundDevice* out);

// Runs `work` on libxmp's thread and returns once it is done. The controlling
// thread, while the host runs.
void mixerRun(const std::function<void()>& work);

// Stops the passes; none runs once it returns. The controlling thread; does
// nothing when no host runs.
void mixerStop();

// True on the thread the host runs passes on, while a pass or work runs
// there: the library must not be re-entered from it.
bool mixerInsidePass();

// Asks for a pass soon. Any thread, including the output's own.
void mixerWake();

// Leaves the host running as it is, for a process that exits from inside a
// pass (a callback called exit): it ends around the pass.
void mixerAbandon();
