#include <cstdio>

#include "demo_fakes.h"
#include "music.h"
#include "primitives.h"
#include "timeline.h"
#include "wave_grid.h"

std::vector<std::string>& callLog() {
  static std::vector<std::string> log;
  return log;
}

std::string logArg(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", double(value));
  return text;
}
std::string logArg(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}
std::string logArg(int value) { return std::to_string(value); }
std::string logArg(unsigned value) { return std::to_string(value); }

void resetDemoState() {
  sceneState = 0;
  musicSeconds = 0.0f;
  frameCounter = 0.0f;
  spinAngle = 0.0f;
  cubeHalfSize = 1.0f;
  cubeList = 0;
  gridTime = 0.0f;
  gridLastMusicTime = 0;
  gridWireframe = false;
  flashDepth.store(0.0f);
  setMusicTime(0);
  callLog().clear();
}
