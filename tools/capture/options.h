// The capture program's command line: what to render and where to write it.
// Pure parsing, no file or GL access; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "frame_timing.h"

struct CaptureOptions {
  int width = 640;                       // pixels
  int height = 480;                      // pixels
  FrameRate rate = {60, 1};              // frames per second
  int64_t fromMicros = 0;                // start of the range, microseconds of music time
  int64_t toMicros = 60000000;           // end of the range (exclusive), microseconds
  std::string mp4Path;                   // H.264 + AAC through ffmpeg; empty = none
  std::string pngDir;                    // one PNG per frame; empty = none
  std::string wavPath;                   // the range's audio; empty = none
  std::string sheetPath;                 // contact sheet, one thumbnail per second; empty = none
  std::string frameLogPath;              // one text line per frame; empty = none
  std::string dataDir;                   // where Data/ and the module live; empty = look around
  std::string ffmpegProgram = "ffmpeg";  // name looked up in PATH, or a path
  std::string preset = "superfast";      // x264 preset
  int crf = 18;                          // x264 constant rate factor, 0..51
  int encoderTimeoutSeconds = 30;        // the longest ffmpeg may take no input, 1..3600
  int sheetColumns = 10;                 // thumbnails per row of the contact sheet
  int thumbWidth = 160;                  // pixels; the height keeps the frame's aspect
  enum Progress { kProgressAuto, kProgressBar, kProgressLines, kProgressNone } progress = kProgressAuto;
  bool help = false;  // --help: print usage and do nothing else
};

// Parses argv[1..argc-1] into `options` (which starts from the defaults).
// Returns false with a one-line reason in `error` for an unknown option, a
// missing or malformed value, an empty range or no output at all (unless
// --help was given).
bool parseCaptureOptions(int argc, const char* const* argv, CaptureOptions* options, std::string* error);

// Parses a frame rate: "60", "29.97" or "30000/1001"; from 1 to 1000 fps.
// False on anything else.
bool parseFrameRate(const char* text, FrameRate* rate);

// Parses a non-negative time in seconds with up to six decimals ("12",
// "2.5") into microseconds, at most one day. False on anything else.
bool parseSeconds(const char* text, int64_t* micros);

// Parses "WIDTHxHEIGHT" with both in 1..65535. False on anything else.
bool parseSize(const char* text, int* width, int* height);

// The --help text.
std::string captureUsage();
