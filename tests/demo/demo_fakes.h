// Test stand-ins for what the renderer takes from the pictures, the music and
// the sound library, plus a log of the GL calls when the recording GL is linked.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Log of calls, one line each: the function name and its arguments separated
// by single spaces, floats printed so that they read back exactly ("%.9g").
// Filled by the recording GL (fake_gl.cpp) and by the fake texture set and
// music start ("loadTextureSet", "startMusic").
std::vector<std::string>& callLog();

// The music clock: every FMUSIC_GetTime reading takes the next scripted time,
// or the steady time once the script is used up.
void setMusicTime(int32_t ms);
void scriptMusicTimes(std::initializer_list<int32_t> ms);
int musicTimeReads();  // readings since the last setMusicTime

// What the stand-in texture set answers next (true at start); the stand-in
// texture sets only.
void setTextureSetResult(bool ok);

// Display-list name the recording GL hands out next (1 at start; 0 to refuse).
// Recording GL only.
void setNextListName(unsigned name);

// Puts the renderer's run-time state, flashDepth, the music clock and the
// log back to their start values.
void resetDemoState();

// One log line: the name and its arguments, floats with "%.9g", doubles with
// "%.17g", integers in decimal (GL enums therefore appear as numbers).
std::string logArg(float value);
std::string logArg(double value);
std::string logArg(int value);
std::string logArg(unsigned value);
template <typename... Args>
std::string logLine(const char* name, Args... args) {
  std::string line = name;
  ((line += ' ', line += logArg(args)), ...);
  return line;
}
