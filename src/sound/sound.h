// The show's sound library: plays one XM tracker module and reports what the
// listener hears.
//
// Use:
//   FSOUND_Init(44100, 64, 0);                  // opens the output, starts the mixer thread
//   FMUSIC_MODULE* m = FMUSIC_LoadSong("song.xm");
//   FMUSIC_PlaySong(m);                         // plays once from the start, then silence
//   FMUSIC_SetInstCallback(m, hook, 1);         // hook runs each time instrument 1 is heard
//   int ms = FMUSIC_GetTime(m);                 // milliseconds heard since PlaySong
//
// libxmp decodes and mixes at 44100 Hz, stereo, 16-bit. Three outputs exist:
// the system's device (SDL2 audio; in a browser, Web Audio); a null output
// paced by the monotonic clock, used when no device opens, when SDL falls back
// to its dummy or disk driver, or when QUENDALOOP_SOUND=null is set; and an
// offline output that renders only when asked (soundRenderOffline in
// sound_hooks.h), for capture and tests. The device's time is what the
// listener hears: frames handed to SDL less the device's latency, which
// QUENDALOOP_SOUND_LATENCY_MS overrides (milliseconds) for an unusual device;
// in a browser, the audio context's position less its latencies.
//
// Threads: the operations below may be called from any one controlling
// thread (the show's main thread). With the device or null output, libxmp
// runs on the library's own mixer thread, which also calls the instrument
// callbacks; in a browser, which gives the program one thread, that is the
// program's thread between its frames. With the offline output libxmp and
// the callbacks run on the thread that calls soundRenderOffline. FMUSIC_GetTime reads only atomics
// and a short-lived lock, so it is cheap enough to call several times per
// video frame.
#pragma once

#include <cstddef>
#include <cstdint>

struct FMUSIC_MODULE;  // a loaded module (opaque)

// An instrument callback. `mod` is the module that triggered it and `param`
// the instrument number, 1-based as a tracker shows it (1 is the module's
// first instrument). With the device and null outputs it runs on the
// library's mixer thread, never on the caller's thread; it must return
// quickly. FSOUND_Init, FMUSIC_LoadSong and FMUSIC_PlaySong called from a
// callback are refused (0 or null).
typedef void (*FMUSIC_CALLBACK)(FMUSIC_MODULE* mod, unsigned char param);

// The library's version number: 3.6.
float FSOUND_GetVersion();

// Initialises the library: opens the output chosen by soundSelectOutput and,
// except offline, starts the mixer thread. The mix is always 44100 Hz
// stereo 16-bit; `mixrate` must lie in 4000..48000 and `maxsoftwarechannels`
// in 0..1024, `flags` is accepted and ignored. Called on an initialised
// library it first stops and frees every module of the earlier
// initialisation (their handles become invalid). Returns 1, or 0 on bad
// arguments or from a callback, leaving the library as it was.
signed char FSOUND_Init(int mixrate, int maxsoftwarechannels, unsigned int flags);

// Loads an XM module from the file `name` (other formats are refused).
// Returns the handle, or null when the library is not initialised or the
// file is missing, unreadable or not a valid module.
FMUSIC_MODULE* FMUSIC_LoadSong(const char* name);

// Starts `mod` from its beginning; its time restarts at 0. One module plays
// at a time: starting another stops the one that played. The module plays
// once, then silence follows while its time goes on. Returns 1, or 0 for an
// invalid handle.
signed char FMUSIC_PlaySong(FMUSIC_MODULE* mod);

// Installs `callback` for `instrument` (1 = the module's first instrument)
// of `mod`, replacing any earlier one; null removes it. The callback is
// called once each time a note is played with that instrument, in order,
// when the note is heard: a note with the instrument number, or without one
// on a channel whose last instrument it is; delayed notes (EDx) at their
// delayed tick. Not triggers: tone-portamento targets, key-offs, note delays
// of the row's speed or more, cells with an instrument and no note.
// Returns 1, or 0 for an invalid handle or an instrument the module lacks.
signed char FMUSIC_SetInstCallback(FMUSIC_MODULE* mod, FMUSIC_CALLBACK callback, int instrument);

// Milliseconds of `mod` heard since FMUSIC_PlaySong, counted from the frames
// the output has played (device latency compensated). Monotonic; 0 before the
// module plays or for an invalid handle; saturates at INT32_MAX.
int FMUSIC_GetTime(FMUSIC_MODULE* mod);
