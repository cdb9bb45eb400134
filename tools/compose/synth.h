// Synthesised instruments of the show's module. Every sample is computed
// here from oscillators and a fixed-seed noise generator, so the same build
// always makes the same bytes.
//
// Tuning: pitched instruments sound their note name (A-4 = 440 Hz, up to a
// few cents); drums and the hit play at their recorded 44100 Hz rate when
// triggered with C-4.
#pragma once

#include "xm_writer.h"

// The percussive stab that drives the show's flash: a bright power chord
// (root, fifth, octave) over a noise burst and a low thump. Sounds the root
// of the note it is played with.
XmInstrument makeHit();

XmInstrument makeKick();
XmInstrument makeSnare();
XmInstrument makeClosedHat();
XmInstrument makeOpenHat();
XmInstrument makeCrash();

// Plucked bass: a saw whose brightness dies away, over a sine one octave down.
XmInstrument makeBass();

// Lead: two slightly detuned saw-square blends, looped, with a sustained
// volume envelope. `panning` 0 left .. 255 right, `volume` 0..64 (the echo
// copy is the same sound, quieter and on the other side).
XmInstrument makeLead(const char* name, uint8_t panning, uint8_t volume);

// Pad: three detuned soft saws and a sub sine, slow attack and release.
XmInstrument makePad();

// Pluck for arpeggios: a hollow square with a short decay.
XmInstrument makePluck();

// Noise that rises in brightness, for the swells into new sections.
XmInstrument makeRiser();
