// One module stepped tick by tick through libxmp, with the notes that each
// tick triggers. The deterministic core under every output of the sound
// library: it knows nothing of devices, clocks or threads.
//
// An XmPlayer and its libxmp context belong to one thread at a time; nothing
// here is safe to call from two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct XmPlayer;

// A note heard at a frame of the module's own timeline.
struct XmTrigger {
  int64_t frame;   // frames from the start of playing (44100 Hz) to the tick that sounds it
  int instrument;  // 1-based, as a tracker shows it
};

// Loads a module from a file or from memory. Only XM modules are accepted.
// Returns null when the file cannot be read or the module is not valid.
XmPlayer* xmPlayerLoadFile(const char* path);
XmPlayer* xmPlayerLoadMemory(const void* data, size_t size);

// Frees the player and its libxmp context; null is ignored.
void xmPlayerFree(XmPlayer* player);

// Number of instruments in the module (instrument numbers run 1..count).
int xmPlayerInstrumentCount(const XmPlayer* player);

// Rewinds to the start of the module and starts playing at 44100 Hz stereo
// 16-bit. Returns false if libxmp refuses to start.
bool xmPlayerStart(XmPlayer* player);

// Renders the next tick. Sets *pcm to its frames (interleaved stereo int16,
// valid until the next call) and appends the notes it triggers, in channel
// order, to `triggers`. Returns the tick's frame count; 0 once the module has
// ended (or was never started): the caller plays silence from then on.
size_t xmPlayerRenderTick(XmPlayer* player, const int16_t** pcm, std::vector<XmTrigger>& triggers);

// Frames rendered since xmPlayerStart.
int64_t xmPlayerFramesRendered(const XmPlayer* player);

// True once the module has played to its end.
bool xmPlayerEnded(const XmPlayer* player);
