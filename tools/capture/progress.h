// Progress of a capture on standard error: frames done, frames per second
// and the time left. A live bar redrawn in place on a terminal; plain lines
// (one per tenth of the work) otherwise. Main thread.
#pragma once

#include <cstdint>
#include <string>

enum ProgressStyle { kProgressStyleBar, kProgressStyleLines, kProgressStyleSilent };

// "m:ss", or "h:mm:ss" from an hour on; seconds rounded up, negative as 0.
std::string formatDuration(double seconds);

// One plain progress line, without the newline:
// "capture: 360/3600 frames, 187.3 fps, 0:18 left".
std::string progressLine(int64_t done, int64_t total, double fps, double secondsLeft);

// The bar's text, without carriage return, at most `columns` wide, the bar
// itself 30 characters while that fits:
// "[######------] 360/3600 frames  187.3 fps  0:18 left".
std::string progressBar(int64_t done, int64_t total, double fps, double secondsLeft, int columns);

// Starts reporting `total` frames of work in the given style.
void progressStart(ProgressStyle style, int64_t total);

// Reports that `done` frames are finished; prints when the style asks for it.
void progressUpdate(int64_t done);

// Prints the final state (and ends the bar's line).
void progressFinish();

// Ends the bar's unfinished line, so that a message printed next starts on a
// line of its own. Does nothing in the other styles.
void progressBreakLine();
