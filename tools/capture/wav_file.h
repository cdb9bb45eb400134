// A WAV file of 44100 Hz, 16-bit, stereo PCM, written as it comes and
// completed (sizes in the header) when closed. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "wav_writer.h"  // the header, its sizes' limit and the samples as stored

struct WavFile;

// Creates (or truncates) `path` and writes a header for zero frames.
// Null when the file cannot be created; errno tells why.
WavFile* wavOpen(const char* path);

// Appends `frames` interleaved stereo frames. False on a write error, with
// errno telling why; every later call fails too.
bool wavWrite(WavFile* wav, const int16_t* pcm, size_t frames);

// Fills in the sizes, closes the file and frees `wav`. False, with the
// reason in `error`, when the file could not be completed (a failed write,
// flush or close, or more sound than a WAV header can hold).
bool wavClose(WavFile* wav, std::string* error);
