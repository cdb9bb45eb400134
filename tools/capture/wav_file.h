// A WAV file of 44100 Hz, 16-bit, stereo PCM, written as it comes and
// completed (sizes in the header) when closed. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>

struct WavFile;

// The 44-byte RIFF/WAVE header for `frames` stereo 16-bit frames at 44100 Hz.
void wavHeader(uint8_t header[44], uint32_t frames);

// Creates (or truncates) `path` and writes a header for zero frames.
// Null when the file cannot be created; errno tells why.
WavFile* wavOpen(const char* path);

// Appends `frames` interleaved stereo frames. False on a write error.
bool wavWrite(WavFile* wav, const int16_t* pcm, size_t frames);

// Fills in the sizes, closes the file and frees `wav`. False when the file
// could not be completed (or is too long for a WAV header).
bool wavClose(WavFile* wav);
