#include "score.h"

#include "synth.h"

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Channels of the arrangement.
enum Channel {
  kKick,
  kSnare,
  kHats,
  kBass,
  kLead,
  kEcho,
  kPad1,
  kPad2,
  kPad3,
  kArp,
  kHit,
  kFx,
  kControl,
  kChannels
};

// Instrument numbers, in the order composeModule lists them.
enum Instrument {
  kInstrumentHit = 1,
  kInstrumentKick,
  kInstrumentSnare,
  kInstrumentClosedHat,
  kInstrumentOpenHat,
  kInstrumentCrash,
  kInstrumentBass,
  kInstrumentLead,
  kInstrumentEcho,
  kInstrumentPad,
  kInstrumentPluck,
  kInstrumentRiser
};

// XM effects used here.
constexpr uint8_t FX_VOLUME_SLIDE = 0x0a;
constexpr uint8_t FX_PANNING = 0x08;
constexpr uint8_t FX_VIBRATO = 0x04;
constexpr uint8_t FX_SPEED = 0x0f;
constexpr uint8_t FX_GLOBAL_VOLUME = 0x10;
constexpr uint8_t KEY_OFF = 97;

// Global volume (0..64) that leaves headroom when everything plays at once.
constexpr uint8_t kGlobalVolume = 0x38;

// Timing. At XM tempo 125 a tick lasts exactly 882 frames at 44100 Hz; rows
// of 6, 6, 6 and 7 ticks make a beat of 25 ticks, exactly half a second, so
// the sections start on the frame and never drift.
constexpr uint16_t kXmBpm = 125;
constexpr uint16_t kTicksPerRow = 6;

// The arrangement as one long grid of rows x channels before it is cut into patterns.
struct Grid {
  std::vector<XmCell> cells = std::vector<XmCell>(size_t(kSongRows) * kChannels);
  XmCell& at(int row, int channel) { return cells[size_t(row) * kChannels + size_t(channel)]; }
};

// First row of bar `bar` (bar 0 follows the pickup; bar -1 is the pickup's bar).
constexpr int barRow(int bar) { return 8 + 16 * bar; }

struct Chord {
  const char* pad[3];  // voicing around middle C
  const char* bass;    // root, low octave
  const char* hit;     // root for the flash hit
};

const Chord kAm{{"A3", "C4", "E4"}, "A1", "A3"};
const Chord kF{{"A3", "C4", "F4"}, "F1", "F3"};
const Chord kC{{"G3", "C4", "E4"}, "C2", "C4"};
const Chord kG{{"G3", "B3", "D4"}, "G1", "G3"};
const Chord kE{{"G#3", "B3", "E4"}, "E1", "E4"};
const Chord kDm{{"A3", "D4", "F4"}, "D2", "D4"};

// One chord per bar, 30 bars (the last one is cut to half a bar).
const Chord* const kBars[30] = {
    &kAm, &kF,  &kC, &kG, &kE,       // opening, 1-11 s
    &kAm, &kF,  &kC, &kG, &kF, &kE,  // torus, 11-23 s
    &kDm, &kF,  &kE,                 // still picture, 23-29 s
    &kAm, &kF,  &kC, &kG,            // tunnel, 29-37 s
    &kDm, &kE,                       // tunnel, 37-41 s
    &kAm, &kF,  &kC, &kG,            // tunnel, 41-49 s
    &kAm, &kF,  &kG, &kE,            // flash, 49-57 s
    &kAm, &kAm,                      // ending, 57-60 s
};

// Section boundaries in bars.
constexpr int kTorusBar = 5, kStillBar = 11, kTunnelBar = 14, kTunnel2Bar = 18, kTunnel3Bar = 20,
              kFlashBar = 24, kEndBar = 28;

// Lead phrases, one string of sixteen steps per bar: a note name starts a
// note, "-" releases it, "." holds.
const char* const kPhraseA[4] = {
    "A4 . . C5 . . E5 . . . D5 . C5 . B4 .",
    "C5 . . A4 . . F4 . . . A4 . C5 . D5 .",
    "E5 . . G5 . . E5 . . . D5 . C5 . D5 .",
    "B4 . . D5 . . G4 . . . A4 . B4 . D5 .",
};
const char* const kPhraseTurn[2] = {
    "C5 . . F5 . . A5 . . . G5 . F5 . E5 .",
    "E5 . . . . . . . B4 . G#4 . B4 . - .",
};
const char* const kPhraseB[2] = {
    "D5 . F5 . A5 . D6 . A5 . F5 . D5 . F5 .",
    "E5 . G#5 . B5 . E6 . B5 . G#5 . E5 . B4 .",
};
const char* const kPhraseFlash[4] = {
    "A5 . . . . . . . C6 . . . B5 . . .",
    "A5 . . . . . . . F5 . . . C6 . . .",
    "B5 . . . . . . . D6 . . . G5 . . .",
    "G#5 . . . . . . . B5 . . . E6 . . .",
};

uint8_t volume(int v) { return uint8_t(0x10 + (v < 0 ? 0 : v > 64 ? 64 : v)); }

void play(Grid& g, int row, int channel, const char* note, int instrument, int vol = -1, uint8_t effect = 0,
          uint8_t param = 0) {
  XmCell& c = g.at(row, channel);
  c.note = parseNote(note);
  c.instrument = uint8_t(instrument);
  c.volume = vol < 0 ? 0 : volume(vol);
  c.effect = effect;
  c.param = param;
}

void keyOff(Grid& g, int row, int channel) {
  XmCell& c = g.at(row, channel);
  c.note = KEY_OFF;
  c.instrument = 0;
}

uint8_t transpose(uint8_t note, int semitones) {
  if (note == 0 || note == KEY_OFF) return note;
  return uint8_t(note + semitones);
}

// Writes a phrase bar into the lead channel, transposed, at `vol`; long
// notes get a gentle vibrato from their second beat on.
void leadBar(Grid& g, int bar, const char* steps, int semitones, int vol) {
  std::istringstream in(steps);
  std::string token;
  int step = 0, sinceNote = -1;
  while (in >> token && step < 16) {
    const int row = barRow(bar) + step;
    if (token == ".") {
      if (sinceNote >= 0 && ++sinceNote >= 4) {
        g.at(row, kLead).effect = FX_VIBRATO;
        g.at(row, kLead).param = 0x42;
      }
    } else if (token == "-") {
      keyOff(g, row, kLead);
      sinceNote = -1;
    } else {
      XmCell& c = g.at(row, kLead);
      c.note = transpose(parseNote(token.c_str()), semitones);
      c.instrument = kInstrumentLead;
      c.volume = volume(vol);
      sinceNote = 0;
    }
    ++step;
  }
}

// The echo: the lead three sixteenths later, on the other side, quieter
// (the echo instrument's own volume), cut at the end of the song.
void echoLead(Grid& g) {
  for (int row = 0; row + 3 < kSongRows; ++row) {
    XmCell c = g.at(row, kLead);
    if (c.instrument == kInstrumentLead) c.instrument = kInstrumentEcho;
    if (c.volume >= 0x10 && c.volume <= 0x50) c.volume = uint8_t(0x10 + (c.volume - 0x10) * 2 / 5);
    g.at(row + 3, kEcho) = c;
  }
}

void padChord(Grid& g, int row, const Chord& chord, int vol) {
  static const uint8_t pans[3] = {0x40, 0x80, 0xc0};
  for (int i = 0; i < 3; ++i) play(g, row, kPad1 + i, chord.pad[i], kInstrumentPad, vol, FX_PANNING, pans[i]);
}

// Sixteenth-note arpeggio over the chord, an octave above the pad, swinging
// between the left and right.
void arpBar(Grid& g, int bar, const Chord& chord, int vol, int stride = 1, int octave = 12) {
  static const int order[16] = {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1, 0, 1, 2, 3};
  for (int step = 0; step < 16; step += stride) {
    const int index = order[step];
    const uint8_t base = parseNote(chord.pad[index % 3]);
    const uint8_t note = transpose(base, octave + (index == 3 ? 12 : 0));
    XmCell& c = g.at(barRow(bar) + step, kArp);
    c.note = note;
    c.instrument = kInstrumentPluck;
    c.volume = volume(vol - (step % 4 == 0 ? 0 : 6));
    c.effect = FX_PANNING;
    c.param = (step / stride) % 2 ? 0xb8 : 0x48;
  }
}

void fourOnTheFloor(Grid& g, int bar, int vol) {
  for (int step = 0; step < 16; step += 4) play(g, barRow(bar) + step, kKick, "C4", kInstrumentKick, vol);
}

void backbeat(Grid& g, int bar, int vol) {
  play(g, barRow(bar) + 4, kSnare, "C4", kInstrumentSnare, vol);
  play(g, barRow(bar) + 12, kSnare, "C4", kInstrumentSnare, vol);
}

// A snare roll from `fromStep` to the end of the bar, every `stride` steps, growing louder.
void snareRoll(Grid& g, int bar, int fromStep, int stride, int fromVol, int toVol) {
  const int count = (16 - fromStep + stride - 1) / stride;
  for (int i = 0; i < count; ++i) {
    const int vol = fromVol + (toVol - fromVol) * i / (count > 1 ? count - 1 : 1);
    play(g, barRow(bar) + fromStep + i * stride, kSnare, "C4", kInstrumentSnare, vol);
  }
}

void hats16(Grid& g, int bar, int accent, int soft, bool openOffbeats) {
  for (int step = 0; step < 16; ++step) {
    const bool offbeat = step % 4 == 2;
    if (openOffbeats && offbeat && step % 8 == 6)
      play(g, barRow(bar) + step, kHats, "C4", kInstrumentOpenHat, accent);
    else
      play(g, barRow(bar) + step, kHats, "C4", kInstrumentClosedHat, offbeat ? accent : soft);
  }
}

void hatsOffbeat(Grid& g, int bar, int vol) {
  for (int step = 2; step < 16; step += 4) play(g, barRow(bar) + step, kHats, "C4", kInstrumentOpenHat, vol);
}

// Bass lines: root and octave in eighths, or a rolling sixteenth figure.
void bassEighths(Grid& g, int bar, const Chord& chord, int vol) {
  const uint8_t root = transpose(parseNote(chord.bass), 12);
  for (int step = 0; step < 16; step += 2) {
    XmCell& c = g.at(barRow(bar) + step, kBass);
    c.note = transpose(root, (step / 2) % 2 ? 12 : 0);
    c.instrument = kInstrumentBass;
    c.volume = volume(vol);
  }
}

void bassRolling(Grid& g, int bar, const Chord& chord, int vol) {
  const uint8_t root = transpose(parseNote(chord.bass), 12);
  static const int figure[4] = {0, -1, 0, 12};  // per beat; -1 rests
  for (int step = 0; step < 16; ++step) {
    const int interval = figure[step % 4];
    if (interval < 0) continue;
    XmCell& c = g.at(barRow(bar) + step, kBass);
    c.note = transpose(root, interval);
    c.instrument = kInstrumentBass;
    c.volume = volume(step % 4 == 0 ? vol : vol - 10);
  }
}

void bassLong(Grid& g, int row, const Chord& chord, int vol) {
  XmCell& c = g.at(row, kBass);
  c.note = parseNote(chord.bass);
  c.instrument = kInstrumentBass;
  c.volume = volume(vol);
}

void crash(Grid& g, int row, int vol) { play(g, row, kFx, "C4", kInstrumentCrash, vol); }

// The riser lasts two seconds at C-4 and one at C-5.
void riser(Grid& g, int row, const char* note, int vol) { play(g, row, kFx, note, kInstrumentRiser, vol); }

void hit(Grid& g, int row, const Chord& chord, int vol) {
  play(g, row, kHit, chord.hit, kInstrumentHit, vol);
}

// A pad voice that plays the same note as before, with no release in
// between, holds it instead of starting it again (only its volume follows).
void tiePadNotes(Grid& g) {
  for (int ch : {kPad1, kPad2, kPad3}) {
    uint8_t sounding = 0;
    for (int row = 0; row < kSongRows; ++row) {
      XmCell& c = g.at(row, ch);
      if (c.note == KEY_OFF) {
        sounding = 0;
      } else if (c.note && c.note == sounding) {
        c.note = 0;
        c.instrument = 0;
      } else if (c.note) {
        sounding = c.note;
      }
    }
  }
}

void arrange(Grid& g) {
  // Pickup: a rising arpeggio and a short swell into the first bar.
  const char* pickup[4] = {"E4", "A4", "C5", "E5"};
  for (int i = 0; i < 4; ++i)
    play(g, 2 * i, kArp, pickup[i], kInstrumentPluck, 26 + 6 * i, FX_PANNING, i % 2 ? 0xb8 : 0x48);
  riser(g, 0, "C5", 30);

  // Opening (logo): pad and arpeggio, then kick, hats and bass creep in,
  // and the last bar builds with a roll and a swell.
  for (int bar = 0; bar < kTorusBar; ++bar) {
    const Chord& chord = *kBars[bar];
    padChord(g, barRow(bar), chord, bar < 2 ? 36 : 44);
    arpBar(g, bar, chord, 26 + 4 * bar);
    if (bar >= 2) {
      play(g, barRow(bar), kKick, "C4", kInstrumentKick, 44);
      play(g, barRow(bar) + 8, kKick, "C4", kInstrumentKick, 44);
      bassLong(g, barRow(bar), chord, 40);
      for (int step = 2; step < 16; step += 4)
        play(g, barRow(bar) + step, kHats, "C4", kInstrumentClosedHat, 36);
    }
  }
  crash(g, barRow(0), 24);
  fourOnTheFloor(g, 4, 50);
  snareRoll(g, 4, 0, 2, 12, 28);
  snareRoll(g, 4, 8, 1, 30, 52);
  riser(g, barRow(4), "C4", 40);

  // Torus: the groove and the lead's first statement; drums and bass drop
  // out on the last beat before the still picture.
  for (int bar = kTorusBar; bar < kStillBar; ++bar) {
    const Chord& chord = *kBars[bar];
    padChord(g, barRow(bar), chord, 26);
    fourOnTheFloor(g, bar, 54);
    backbeat(g, bar, 58);
    hatsOffbeat(g, bar, 46);
    for (int step = 1; step < 16; step += 2)
      play(g, barRow(bar) + step, kHats, "C4", kInstrumentClosedHat, 28);
    bassEighths(g, bar, chord, 42);
  }
  crash(g, barRow(kTorusBar), 40);
  snareRoll(g, kTorusBar + 3, 13, 1, 30, 46);  // fill at the end of the first phrase
  for (int i = 0; i < 4; ++i) leadBar(g, kTorusBar + i, kPhraseA[i], 0, 44);
  for (int i = 0; i < 2; ++i) leadBar(g, kTorusBar + 4 + i, kPhraseTurn[i], 0, 44);
  for (int step = 12; step < 16; ++step) {
    const int row = barRow(kStillBar - 1) + step;
    for (int ch : {kKick, kHats, kBass}) g.at(row, ch) = XmCell{};
  }
  keyOff(g, barRow(kStillBar - 1) + 12, kBass);
  crash(g, barRow(kStillBar), 26);

  // Still picture: pad, a slow soft arpeggio and a low drone; the last
  // bar swells back into the tunnel.
  for (int bar = kStillBar; bar < kTunnelBar; ++bar) {
    const Chord& chord = *kBars[bar];
    padChord(g, barRow(bar), chord, 40);
    arpBar(g, bar, chord, 22, 2, 0);
    bassLong(g, barRow(bar), chord, 26);
  }
  riser(g, barRow(kTunnelBar - 1), "C4", 44);
  snareRoll(g, kTunnelBar - 1, 8, 1, 10, 44);
  play(g, barRow(kTunnelBar - 1) + 8, kKick, "C4", kInstrumentKick, 36);
  play(g, barRow(kTunnelBar - 1) + 12, kKick, "C4", kInstrumentKick, 44);

  // Tunnel: full energy, three parts; the middle one turns to D minor and
  // E with a climbing lead, the last one adds the arpeggio and lifts the
  // lead an octave.
  for (int bar = kTunnelBar; bar < kFlashBar; ++bar) {
    const Chord& chord = *kBars[bar];
    const bool peak = bar >= kTunnel3Bar;
    padChord(g, barRow(bar), chord, peak ? 34 : 30);
    fourOnTheFloor(g, bar, 60);
    backbeat(g, bar, 62);
    play(g, barRow(bar) + 15, kSnare, "C4", kInstrumentSnare, 14);
    hats16(g, bar, 52, 32, true);
    bassRolling(g, bar, chord, 46);
    if (peak) arpBar(g, bar, chord, 30);
  }
  crash(g, barRow(kTunnelBar), 48);
  crash(g, barRow(kTunnel2Bar), 40);
  crash(g, barRow(kTunnel3Bar), 48);
  for (int i = 0; i < 4; ++i) leadBar(g, kTunnelBar + i, kPhraseA[i], 0, 50);
  for (int i = 0; i < 2; ++i) leadBar(g, kTunnel2Bar + i, kPhraseB[i], 0, 48);
  for (int i = 0; i < 4; ++i) leadBar(g, kTunnel3Bar + i, kPhraseA[i], 12, 42);
  play(g, barRow(kTunnelBar + 3) + 14, kKick, "C4", kInstrumentKick, 48);
  snareRoll(g, kTunnelBar + 3, 12, 1, 34, 54);
  snareRoll(g, kTunnel3Bar + 1, 14, 1, 36, 48);
  snareRoll(g, kTunnel2Bar + 1, 8, 1, 24, 50);
  riser(g, barRow(kFlashBar - 1), "C4", 36);
  snareRoll(g, kFlashBar - 1, 12, 1, 28, 52);

  // Flash: the hit on every beat (and pushes before the bar lines) over
  // the full groove, long lead notes above.
  for (int bar = kFlashBar; bar < kEndBar; ++bar) {
    const Chord& chord = *kBars[bar];
    padChord(g, barRow(bar), chord, 34);
    fourOnTheFloor(g, bar, 60);
    backbeat(g, bar, 62);
    hats16(g, bar, 54, 34, false);
    bassEighths(g, bar, chord, 46);
    for (int step = 0; step < 16; step += 4) hit(g, barRow(bar) + step, chord, step == 0 ? 60 : 50);
    hit(g, barRow(bar) + 14, chord, 38);
    leadBar(g, bar, kPhraseFlash[bar - kFlashBar], 0, 46);
  }
  crash(g, barRow(kFlashBar), 50);
  snareRoll(g, kEndBar - 1, 8, 1, 26, 54);
  for (int step = 8; step < 16; step += 2) hit(g, barRow(kEndBar - 1) + step, *kBars[kEndBar - 1], 44);

  // Ending: one last chord with the hit and a crash, then everything
  // fades and is released well before the last row.
  const int end = barRow(kEndBar);
  padChord(g, end, kAm, 40);
  hit(g, end, kAm, 60);
  crash(g, end, 52);
  play(g, end, kKick, "C4", kInstrumentKick, 60);
  bassLong(g, end, kAm, 52);
  play(g, end, kLead, "A5", kInstrumentLead, 44);
  const int release = end + 8;
  for (int ch : {kBass, kLead, kPad1, kPad2, kPad3}) keyOff(g, release, ch);
  for (int row = release; row < kSongRows; ++row)
    for (int ch : {kPad1, kPad2, kPad3, kLead}) {
      g.at(row, ch).effect = FX_VOLUME_SLIDE;
      g.at(row, ch).param = 0x01;
    }

  tiePadNotes(g);
  echoLead(g);
}

// Every beat is rows of 6, 6, 6 and 7 ticks; the first row sets the global volume.
void timing(Grid& g) {
  g.at(0, kControl).effect = FX_GLOBAL_VOLUME;
  g.at(0, kControl).param = kGlobalVolume;
  for (int row = 0; row < kSongRows; ++row) {
    XmCell& c = g.at(row, kControl);
    if (row % 4 == 3) {
      c.effect = FX_SPEED;
      c.param = kTicksPerRow + 1;
    } else if (row % 4 == 0 && row > 0) {
      c.effect = FX_SPEED;
      c.param = kTicksPerRow;
    }
  }
}

// Cuts the grid into the pickup pattern and one pattern per bar, sharing
// patterns between identical bars.
void cutPatterns(const Grid& g, XmModule& m) {
  // Keyed by a string of the bars' bytes: GCC 12 at -O3 warns
  // (-Wstringop-overread) inside the comparison of vector keys.
  std::map<std::string, uint8_t> seen;
  auto add = [&](int first, int rows) {
    XmPattern p;
    p.rows = uint16_t(rows);
    p.cells.assign(g.cells.begin() + ptrdiff_t(first) * kChannels,
                   g.cells.begin() + ptrdiff_t(first + rows) * kChannels);
    std::string key;
    for (const XmCell& c : p.cells)
      for (const uint8_t byte : {c.note, c.instrument, c.volume, c.effect, c.param}) key += char(byte);
    key += char(rows);
    auto found = seen.find(key);
    if (found == seen.end()) {
      found = seen.emplace(key, uint8_t(m.patterns.size())).first;
      m.patterns.push_back(std::move(p));
    }
    m.order.push_back(found->second);
  };
  add(0, 8);
  for (int row = 8; row < kSongRows; row += 16) add(row, std::min(16, kSongRows - row));
}

}  // namespace

uint8_t parseNote(const char* name) {
  if (!name) return 0;
  if (std::strcmp(name, "-") == 0) return KEY_OFF;
  static const int semitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
  const char letter = name[0];
  if (letter < 'A' || letter > 'G') return 0;
  int note = semitone[letter - 'A'];
  const char* rest = name + 1;
  if (*rest == '#') {
    ++note;
    ++rest;
  } else if (*rest == 'b') {
    --note;
    ++rest;
  }
  if (*rest < '0' || *rest > '7' || rest[1] != '\0') return 0;
  const int value = 1 + 12 * (*rest - '0') + note;
  return value >= 1 && value <= 96 ? uint8_t(value) : 0;
}

XmModule composeModule() {
  XmModule m;
  m.name = "pelvorgrind";
  m.channels = kChannels;
  m.speed = kTicksPerRow;
  m.bpm = kXmBpm;
  m.linearFrequencies = true;
  m.instruments = {makeHit(),
                   makeKick(),
                   makeSnare(),
                   makeClosedHat(),
                   makeOpenHat(),
                   makeCrash(),
                   makeBass(),
                   makeLead("lead", 160, 64),
                   makeLead("lead echo", 84, 26),
                   makePad(),
                   makePluck(),
                   makeRiser()};
  Grid g;
  arrange(g);
  timing(g);
  cutPatterns(g, m);
  return m;
}
