// The scripted sound library's controls (fake_sound.cpp).
#pragma once

#include <string>
#include <vector>

#include "sound.h"

extern float fakeVersion;                   // what FSOUND_GetVersion reports
extern signed char fakeInitResult;          // what FSOUND_Init returns
extern bool fakeLoadFails;                  // FMUSIC_LoadSong returns null
extern std::vector<std::string> fakeCalls;  // every call, in order
extern FMUSIC_CALLBACK fakeCallback;        // the last callback installed
