// The ffmpeg program as the capture's encoder: a child process that reads
// raw RGB frames on its standard input and raw PCM (16-bit in the host's
// byte order, 44100 Hz, stereo) on file descriptor 3, both through pipes, so
// nothing large touches the disk before the encoded file; and ffprobe, which
// checks what it wrote. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// The ffprobe program beside `ffmpeg` (a path): in its folder, else in the
// folder of the file its symbolic links lead to. "" when there is none.
std::string findProbeBeside(const std::string& ffmpeg);

// The descriptor on which a child finds the file handed to it, and that
// file's name for the child.
constexpr int kChildFileFd = 4;
constexpr const char* kChildFilePath = "/proc/self/fd/4";

// How long a started encoder may go without progress before it counts as
// stuck, and how long it has to end after SIGTERM before it is killed.
constexpr int kEncoderTimeoutSeconds = 30;
constexpr int kEncoderGraceMs = 3000;

struct EncoderPipe;

// Starts argv[0] (looked up in PATH) with a pipe on its standard input and
// another on its fd 3, and `outputFd` (unless -1) on its kChildFileFd.
// `outputPath` is the file it writes as this process reaches it ("" for
// none). It counts as stuck when it takes no input for `timeoutSeconds`, or
// once its input has ended, neither ends nor changes that file for as long.
// Null, with the reason in `error`, when it cannot be started.
EncoderPipe* encoderStart(const std::vector<std::string>& argv, int outputFd, const std::string& outputPath,
                          int timeoutSeconds, std::string* error);

// Sends `audioBytes` to fd 3 and `videoBytes` (one frame) to stdin. Writes
// whatever the pipes take without waiting; the rest is queued (copied) and
// goes out with later calls. Waits only while too many frames are queued
// (512 MB until the child starts reading sound, 32 MB after), and then still
// sends the sound, so the child is never left waiting for the one stream
// while this waits on the other. False when the child
// stopped reading, took no input for the timeout, or a signal interrupted
// a wait.
bool encoderWrite(EncoderPipe* pipe, const uint8_t* video, size_t videoBytes, const uint8_t* audio,
                  size_t audioBytes);

// Sends everything still queued, closes both pipes, waits for the child and
// frees `pipe`. True when all was delivered and the child exited with status
// 0; otherwise false with the reason, naming the program, and the child's
// status in `error`. Also the way to learn why after encoderWrite failed. A
// signal during a wait stops the child as encoderAbort does, with
// "interrupted" as the reason; so does a stuck child, before or after its
// input ended.
bool encoderFinish(EncoderPipe* pipe, std::string* error);

// Closes the pipes, sends the child SIGTERM, calls `onWaiting` (unless
// empty) and waits kEncoderGraceMs for it to end, then kills it (at once
// when a signal arrives meanwhile, a second Ctrl-C), and frees `pipe`. ""
// when it ended on SIGTERM, else a sentence that says how it was killed.
std::string encoderAbort(EncoderPipe* pipe, const std::function<void()>& onWaiting = {});

// "" when the MP4 at `path` (with `fd`, unless -1, on the child's
// kChildFileFd) is one that ffprobe reads, with exactly one video stream of
// `frames` frames and one sound stream, every frame of both read whole and
// nothing cut off its end; else what is wrong with it.
std::string mp4Problem(const std::string& ffprobe, const std::string& path, int fd, int64_t frames);
