// The ffmpeg program as the capture's encoder: a child process that reads
// raw RGB frames on its standard input and raw PCM (16-bit in the host's
// byte order, 44100 Hz, stereo) on file descriptor 3, both through pipes, so nothing large touches the disk
// before the encoded file. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame_timing.h"

struct Mp4Settings {
  std::string program;  // ffmpeg, by name (PATH) or path
  std::string output;   // the MP4 file to write
  int width;            // pixels, even
  int height;           // pixels, even
  FrameRate rate;       // frames per second
  std::string preset;   // x264 preset
  int crf;              // x264 constant rate factor
};

// The full argument list (program first) that encodes frames from stdin and
// PCM from fd 3 into an H.264 + AAC MP4.
std::vector<std::string> mp4Arguments(const Mp4Settings& settings);

// Finds an executable the way a shell would: a name with a slash as it
// stands, any other name in the folders of PATH. The path found, or "" when
// there is none.
std::string findProgram(const std::string& name);

struct EncoderPipe;

// Starts argv[0] (looked up in PATH) with a pipe on its standard input and
// another on its fd 3. Null, with the reason in `error`, when it cannot be
// started.
EncoderPipe* encoderStart(const std::vector<std::string>& argv, std::string* error);

// Sends `audioBytes` to fd 3 and `videoBytes` (one frame) to stdin. Writes
// whatever the pipes take without waiting; the rest is queued (copied) and
// goes out with later calls. Waits only while too many frames are queued
// (512 MB until the child starts reading sound, 32 MB after), and then still
// sends the sound, so the child is never left waiting for the one stream
// while this waits on the other. False when the child
// stopped reading or a signal interrupted a wait.
bool encoderWrite(EncoderPipe* pipe, const uint8_t* video, size_t videoBytes, const uint8_t* audio,
                  size_t audioBytes);

// Sends everything still queued, closes both pipes, waits for the child and
// frees `pipe`. True when all was delivered and the child exited with status
// 0; otherwise false with the reason and the child's status in `error`.
// Also the way to learn why after encoderWrite failed.
bool encoderFinish(EncoderPipe* pipe, std::string* error);

// Kills the child, waits for it and frees `pipe`. For giving up.
void encoderAbort(EncoderPipe* pipe);
