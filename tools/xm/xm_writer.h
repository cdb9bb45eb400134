// XM writer: builds FastTracker 2 "Extended Module" files (version 1.04) from
// plain in-memory records.
//
// Usage: fill an XmModule (channels, speed, bpm, order list, patterns of
// XmCell rows, instruments with one or more 16-bit samples), then call
// xmEncode for the bytes or xmWriteFile to store them. Patterns are written
// packed and sample data delta-coded, as trackers and players expect.
//
// Limits of the format, applied by the encoder rather than reported:
// names are cut to 20 (module) or 22 (instrument, sample) bytes, the order
// list to 256 entries, patterns to 256, instruments to 128, samples to 16 per
// instrument, envelopes to 12 points, pattern rows to 1..256, channels to
// 1..32, loops to the sample's end.
// All functions are pure or do plain file I/O; any thread may call them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One pattern cell.
struct XmCell {
  uint8_t note = 0;        // 0 none, 1..96 (1 = C-0, 49 = C-4), 97 key-off
  uint8_t instrument = 0;  // 0 none, 1.. = the module's instruments in order
  uint8_t volume = 0;      // volume column byte as stored in the file (0x10..0x50 = volume 0..64)
  uint8_t effect = 0;      // effect type (0x0..0x23 as in the file; 0 with param 0 = none)
  uint8_t param = 0;       // effect parameter
};

// One 16-bit mono sample.
struct XmSample {
  std::string name;
  std::vector<int16_t> data;               // sample points
  uint32_t loopStart = 0, loopLength = 0;  // in sample points (not bytes)
  uint8_t loopType = 0;                    // 0 none, 1 forward, 2 ping-pong
  uint8_t volume = 64;                     // 0..64
  int8_t finetune = 0;                     // -128..127, 1/128 of a semitone
  uint8_t panning = 128;                   // 0 left .. 255 right
  int8_t relativeNote = 0;                 // semitones added to the played note (0: C-4 plays at 8363 Hz)
};

// A volume or panning envelope. Ticks are counted from the note's start.
struct XmEnvelope {
  std::vector<std::pair<uint16_t, uint16_t>> points;  // (tick, value 0..64), at most 12
  bool enabled = false;
  uint8_t sustainPoint = 0, loopStart = 0, loopEnd = 0;  // point indices
  bool sustain = false, loop = false;
};

// An instrument; every note maps to its first sample.
struct XmInstrument {
  std::string name;
  std::vector<XmSample> samples;
  XmEnvelope volumeEnvelope, panningEnvelope;
  uint16_t fadeout = 0;  // volume fade per tick after key-off, 0..0xfff
};

// A pattern: rows x channels cells, row-major. Cells missing at the end
// (including an empty vector) are empty; extra cells are ignored.
struct XmPattern {
  uint16_t rows = 64;
  std::vector<XmCell> cells;
};

struct XmModule {
  std::string name;
  uint16_t channels = 8;          // 1..32
  uint16_t speed = 6;             // ticks per row
  uint16_t bpm = 125;             // tick length is 2.5 / bpm seconds
  uint16_t restartPosition = 0;   // order index played after the last one
  bool linearFrequencies = true;  // false = Amiga period table
  std::vector<uint8_t> order;     // pattern numbers in playing order
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};

// Encodes the module as the bytes of an XM file. Never fails; see the
// limits above for what is cut to fit the format.
std::vector<uint8_t> xmEncode(const XmModule& module);

// Encodes the module and writes it to `path`, replacing the file (through a
// temporary "<path>.part" renamed into place).
// Returns false when the file cannot be opened or fully written.
bool xmWriteFile(const XmModule& module, const char* path);
