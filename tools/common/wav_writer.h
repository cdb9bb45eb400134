// WAV files of 44100 Hz, 16-bit, stereo PCM, as the show's sound is: the
// 44-byte header, the samples as stored, and a whole file at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The 44-byte RIFF/WAVE header for `frames` stereo 16-bit frames at 44100 Hz.
void wavHeader(uint8_t header[44], uint32_t frames);

// The most bytes of sound a WAV file holds (its sizes are 32-bit): about
// 6 h 45 min at 44100 Hz, 16-bit stereo.
constexpr uint64_t kWavMaxDataBytes = 0xFFFFFFFFull - 36;

// Stores `samples` 16-bit samples at `out` (2 bytes each), little-endian.
void wavSamples(uint8_t* out, const int16_t* pcm, size_t samples);

// Writes interleaved 44100 Hz stereo 16-bit frames as a WAV file.
// Returns false on an I/O error.
bool writeWav(const std::vector<int16_t>& pcm, const char* path);
