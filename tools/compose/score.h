// The show's module, "pelvorgrind.xm": a one-minute piece in A minor at 120
// beats per minute whose sections start where the show's scenes change.
//
// Time is kept in rows: a row is a sixteenth note, 8 rows a second. The
// module opens with a two-beat pickup (rows 0-7), so bar b (counted from 0)
// starts at row 8 + 16 b, at 1 + 2 b seconds.
#pragma once

#include "xm_writer.h"

// Playing time, in whole seconds, at which each section starts (the module
// starts at 0 with the opening section).
inline constexpr int kSectionStartSeconds[] = {11, 23, 29, 37, 41, 49, 57};

// Rows per second and the module's length in rows (60 seconds).
inline constexpr int kRowsPerSecond = 8;
inline constexpr int kSongRows = 60 * kRowsPerSecond;

// Instrument 1 is the flash hit; it sounds on every beat from 49 to 57 s.
inline constexpr int kHitInstrument = 1;

// Composes the whole module: instruments, patterns and order list. Pure
// and deterministic.
XmModule composeModule();

// Parses a note name such as "A4", "C#5" or "Bb3" into the XM note number
// (1 = C-0); "-" is key-off (97). Returns 0 for anything else.
uint8_t parseNote(const char* name);
