// The SDL2 audio device behind the sound library: a ring of PCM frames that
// the mixer thread fills and SDL's audio thread drains, and an estimate of
// which frame of the ring the listener hears now.
//
// Frame positions count frames written into the ring since the device opened
// (44100 Hz stereo int16). The mixer thread is the only writer; SDL's audio
// callback the only reader; the positions are atomics or behind a short lock.
#pragma once

#include <cstddef>
#include <cstdint>

// Opens the default playback device at 44100 Hz stereo int16. Returns false,
// with nothing left open, when SDL has no audio, only its dummy or disk
// driver, or the device does not open. `wake` is called from SDL's audio
// thread after it has taken frames from the ring.
bool soundDeviceOpen(void (*wake)());

// Stops and closes the device; the ring is emptied.
void soundDeviceClose();

// Frames that fit into the ring now without passing the fill target.
size_t soundDeviceWritable();

// Appends `frames` frames (at most soundDeviceWritable()) to the ring.
void soundDeviceWrite(const int16_t* pcm, size_t frames);

// Frames written into the ring so far.
int64_t soundDeviceWritten();

// The ring frame heard at `nowNs` (steady clock): the frames the device has
// taken, less its output latency, advanced by the time since it last took
// some. Never decreases.
int64_t soundDeviceHeard(int64_t nowNs);
