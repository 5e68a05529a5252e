// The sequencer: places rendered notes on a beat grid, runs the sends
// (ping-pong delay, reverb), the kick-driven ducking and the master limiter,
// and returns one seamless loop.
//
// Every note is mixed into three consecutive passes of the song and only the
// middle pass is kept, so reverb and delay tails, long releases and the
// limiter's look-ahead wrap around the loop point exactly as they would when
// the track plays on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dsp.h"

namespace snd {

// Where a note goes: level, stereo position, sends, and whether the kick ducks it.
struct Send {
    double gain = 1.0;
    double pan = 0.0;
    double reverb = 0.0;
    double delay = 0.0;
    bool ducked = false;
};

struct MasterSettings {
    double rms_db = -18.0;       // loudness of the finished loop, quiet enough to play effects over
    double ceiling_db = -8.0;    // the limiter's ceiling; Vorbis adds up to ~1.2 dB to peaks
    double reverb_wet = 1.0;
    double delay_beats = 0.75;   // dotted eighth
    double delay_feedback = 0.35;
    double duck_depth = 0.35;    // how far the kick pushes ducked parts down
};

// Renders a pitched note: MIDI number, seconds held, a seed of its own.
using Voice = std::function<Mono(int midi, double hold, uint32_t seed)>;
// Renders a drum hit at a velocity (0 .. 1) with a seed of its own.
using Hit = std::function<Mono(double velocity, uint32_t seed)>;

class Song {
public:
    Song(double bpm, int bars);

    double seconds_per_beat() const { return 60.0 / bpm_; }
    // Adds a sound whose onset is at `beat` (0 .. 4 × bars); it may ring past the end.
    void add(double beat, const Mono& sound, const Send& send);
    // Registers a kick onset for the ducking of `Send::ducked` parts.
    void duck_at(double beat);
    // Plays a line of parse_line() tokens from `beat`, a sixteenth per step;
    // `gate` is the fraction of each note's length that is held.
    void line(double beat, const std::string& notes, const Voice& voice, const Send& send,
              double gate = 0.9, int transpose = 0);
    // One character per step: a letter starts a note at pitch(letter), '-'
    // holds it, anything else rests. Used for bass and riff rhythms.
    void rhythm(double beat, const std::string& steps, const std::function<int(char)>& pitch,
                const Voice& voice, const Send& send, double gate = 0.9);
    // Plays a parse_hits() pattern from `beat`, a sixteenth per step.
    void hits(double beat, const std::string& pattern, const Hit& hit, const Send& send);
    uint32_t next_seed() { return seed_of(0x50e6u, seed_counter_++); }
    Stereo finish(const MasterSettings& m);

private:
    double bpm_;
    int bars_;
    size_t loop_;  // samples in one pass
    Stereo dry_, ducked_;
    Mono reverb_send_, delay_send_;
    std::vector<size_t> duck_onsets_;
    uint32_t seed_counter_ = 0;
};

// One note of a parsed line: onset and length in steps, MIDI number.
struct StepNote {
    int step;
    int length;
    int midi;
};

// "c#5" -> 73, "bb3" -> 58.
int note_number(const std::string& name);
// Space-separated tokens, one per step: a note name starts a note, "-" holds
// it, "." is a rest, "|" is ignored (bar lines for the reader).
std::vector<StepNote> parse_line(const std::string& line);
// One character per step: 'X' accent, 'x' hit, 'o' ghost, anything else rest.
// Returns the velocity of each step, 0 for rests.
std::vector<double> parse_hits(const std::string& pattern);

// A chord by name: root ("E", "F#", "Bb"), then "m", "7", "m7", "maj7",
// "sus2", "sus4" or nothing. Tones are MIDI numbers with the root in `octave`.
std::vector<int> chord_tones(const std::string& name, int octave);
// The chord's tones folded into [low, low + 12), lowest first: close voicings
// that move little from chord to chord.
std::vector<int> voicing(const std::string& name, int low);
// Root of a chord name as a MIDI number in `octave`.
int chord_root(const std::string& name, int octave);

}  // namespace snd
