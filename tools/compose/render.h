// Renders XM module bytes through the sound library's player, as the show
// plays them: 44100 Hz, stereo, 16-bit, one tick at a time, stopping where
// the module would loop back.
#pragma once

#include <cstdint>
#include <vector>

// Renders the whole module (until libxmp's loop counter rises) into
// interleaved stereo frames. Returns false when libxmp cannot load it.
bool renderModule(const std::vector<uint8_t>& bytes, std::vector<int16_t>& pcm);
