// The synthesizer's voices: one call renders one note or one drum hit into a
// mono buffer that starts at the note's onset and ends in silence.
#pragma once

#include "dsp.h"

namespace snd {

// A subtractive voice: oscillator mix -> resonant low-pass -> amplitude envelope.
struct Patch {
    double saw = 1.0, pulse = 0.0, tri = 0.0, sine = 0.0;
    double width = 0.5;           // pulse width
    int unison = 1;               // detuned copies of the oscillator mix
    double detune_cents = 0.0;    // spread between the outermost copies
    double sub = 0.0;             // square one octave down
    double cutoff = 2000.0;       // Hz, before the envelope and key tracking
    double env_cutoff = 0.0;      // Hz added at the onset, decaying with filter_decay
    double filter_decay = 0.2;    // s
    double q = 0.7;
    double key_track = 0.0;       // 1 moves the cutoff one octave per octave above A3
    Adsr amp{0.005, 0.2, 0.7, 0.1};
    double vibrato_cents = 0.0, vibrato_hz = 5.5, vibrato_delay = 0.25;
    double bend_semitones = 0.0;  // starts this far off pitch and glides in
    double bend_time = 0.03;
    double drive = 0.0;           // 0 clean .. 1 gritty
};

// `hold` is the time from onset to key release; the buffer also holds the release.
Mono render_note(const Patch& p, double hz, double hold, double velocity, uint32_t seed);

// Two-operator FM bell or electric-piano tone; `ratio` is modulator / carrier.
Mono bell(double hz, double hold, double velocity, double ratio, double index, double decay_s);

Mono kick(double velocity, double tune = 1.0);
Mono snare(double velocity, uint32_t seed);
Mono clap(double velocity, uint32_t seed);
Mono hat(double velocity, double decay_s, uint32_t seed);
Mono crash(double velocity, uint32_t seed);
Mono tom(double hz, double velocity);
// Noise swept upward through a band-pass over `length` seconds, for build-ups.
Mono riser(double length, double velocity, uint32_t seed);

}  // namespace snd
