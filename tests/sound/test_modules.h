// Small modules built in memory for the sound tests: one or two channels,
// short looped square-wave instruments, patterns given cell by cell.
#pragma once

#include <string>
#include <vector>

#include "xm_player.h"
#include "xm_writer.h"

// A row of cells, one per channel.
using TestRow = std::vector<XmCell>;

// A module of `channels` channels and `instruments` instruments, one pattern
// per entry of `patterns` played in that order, at `speed` ticks per row and
// `bpm` (125 gives ticks of 882 frames at 44100 Hz).
XmModule testModule(const std::vector<std::vector<TestRow>>& patterns, int channels = 2, int instruments = 2,
                    int speed = 6, int bpm = 125);

// A cell playing `note` (1 = C-0, 49 = C-4) with `instrument` (0 none).
XmCell noteCell(int note, int instrument, int effect = 0, int param = 0, int volume = 0);

// Writes the module under a fresh name in the temporary folder; returns the path.
std::string writeTestModule(const XmModule& module, const std::string& stem);

// Every trigger of the module at `path` with its frame, straight from the
// player, for comparing with what the library reports.
std::vector<XmTrigger> playerTriggers(const std::string& path);
