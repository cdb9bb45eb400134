// The show's music: starts "pelvorgrind.xm" through the sound library and
// keeps the depth of the flash quad that instrument 1 pushes.
//
// startMusic runs on the main thread; onInstrumentTrigger runs on the sound
// library's mixer thread. flashDepth is the only value both touch: it is
// atomic, and every read and write of it is one indivisible operation.
#pragma once

#include <atomic>

#include "sound.h"

// The module's file name, relative to the working directory.
extern const char* const kMusicFile;

// The playing module, null until the first startMusic; replaced by each
// later call (the sound library's re-initialisation frees the earlier one).
extern FMUSIC_MODULE* musicModule;

// Depth of the flash quad along z, in scene units: 0.0f at start, raised by
// 19.0f per trigger of instrument 1, reset to -20.0f each time the quad is drawn.
extern std::atomic<float> flashDepth;

// Checks the sound library's version, initialises it (44100 Hz, 64 channels,
// flags 2), loads and plays "pelvorgrind.xm" from the working directory and
// installs onInstrumentTrigger for instrument 1. On any failure shows a box
// captioned "Ravnel demoengine" and ends the process with status 1.
void startMusic();

// The instrument callback: adds 19.0f to flashDepth, atomically. Ignores its
// arguments. Called on the sound library's thread.
void onInstrumentTrigger(FMUSIC_MODULE* mod, unsigned char param);
