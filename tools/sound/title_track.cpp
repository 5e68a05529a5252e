#include "title_track.h"

#include <string>

#include "instruments.h"
#include "song.h"

namespace snd {

namespace {

constexpr double kBpm = 112.0;
constexpr int kBars = 32;

// D major. Intro, verse, chorus, bridge, last chorus; the last bar's A leads
// back into the intro's D when the track loops.
const char* const kChords[kBars] = {
    "D", "A", "Bm", "G",                                // 1-4 intro
    "D", "A", "Bm", "G", "D", "A", "G", "A",            // 5-12 verse
    "G", "A", "F#m", "Bm", "G", "A", "D", "D",          // 13-20 chorus
    "Em", "G", "Bm", "A",                               // 21-24 bridge
    "G", "A", "F#m", "Bm", "G", "A", "D", "A"};         // 25-32 last chorus

const char* const kVerse[8] = {
    "a4 - d5 - f#5 - - e5 - - d5 - e5 - . .",
    "c#5 - - - e5 - - - a4 - - - . . . .",
    "b4 - d5 - f#5 - - a5 - - f#5 - e5 - d5 -",
    "e5 - - - - - d5 - b4 - - - . . . .",
    "a4 - d5 - f#5 - - e5 - - d5 - e5 - . .",
    "c#5 - - - e5 - - - a5 - - - g5 - f#5 -",
    "g5 - - - f#5 - e5 - d5 - - - b4 - d5 -",
    "e5 - - - - - - - . . . . a5 - c#6 -"};

const char* const kChorus[8] = {
    "d6 - - b5 - - a5 - b5 - - a5 - - g5 -",
    "a5 - - - e5 - - - c#6 - - - b5 - a5 -",
    "a5 - - f#5 - - a5 - c#6 - - a5 - - f#5 -",
    "f#5 - - - d5 - - - e5 - f#5 - a5 - b5 -",
    "d6 - - b5 - - a5 - b5 - - a5 - - g5 -",
    "a5 - - - e5 - - - c#6 - - - d6 - e6 -",
    "f#6 - - - - - - - e6 - d6 - - - a5 -",
    "d6 - - - - - - - - - - - . . . ."};

const char* const kLastBar = "e6 - - - c#6 - - - a5 - - - e5 - - -";

const char* const kBridge[4] = {
    "g5 - - - - - f#5 - e5 - - - - - - -",
    "d5 - - - e5 - - - g5 - - - b5 - - -",
    "a5 - - - - - f#5 - d5 - - - - - - -",
    "e5 - - - - - - - c#5 - e5 - a5 - c#6 -"};

enum Section { kIntro, kVerse1, kChorus1, kBridge1, kChorus2 };

Section section_of(int bar) {
    if (bar < 4) return kIntro;
    if (bar < 12) return kVerse1;
    if (bar < 20) return kChorus1;
    if (bar < 24) return kBridge1;
    return kChorus2;
}

// A warm square-ish lead that sings with a late vibrato.
Patch lead_patch() {
    Patch p;
    p.saw = 0.45;
    p.pulse = 0.6;
    p.width = 0.32;
    p.unison = 2;
    p.detune_cents = 9.0;
    p.cutoff = 1500.0;
    p.env_cutoff = 2200.0;
    p.filter_decay = 0.25;
    p.key_track = 0.5;
    p.q = 1.1;
    p.amp = {0.012, 0.35, 0.72, 0.16};
    p.vibrato_cents = 14.0;
    p.vibrato_delay = 0.22;
    p.bend_semitones = -0.4;
    p.bend_time = 0.025;
    return p;
}

Patch pad_patch() {
    Patch p;
    p.saw = 1.0;
    p.unison = 4;
    p.detune_cents = 22.0;
    p.cutoff = 900.0;
    p.env_cutoff = 500.0;
    p.filter_decay = 1.2;
    p.q = 0.8;
    p.amp = {0.35, 1.0, 0.85, 0.7};
    return p;
}

Patch bass_patch() {
    Patch p;
    p.saw = 0.8;
    p.sub = 0.3;
    p.cutoff = 260.0;
    p.env_cutoff = 1100.0;
    p.filter_decay = 0.12;
    p.q = 1.2;
    p.amp = {0.004, 0.3, 0.75, 0.06};
    p.drive = 0.25;
    return p;
}

}  // namespace

Stereo title_track() {
    Song s(kBpm, kBars);
    const Patch lead = lead_patch(), pad = pad_patch(), bass = bass_patch();
    const double spb = s.seconds_per_beat();

    const Voice lead_voice = [&](int m, double hold, uint32_t seed) {
        return render_note(lead, midi_hz(m), hold, 1.0, seed);
    };
    const Voice bell_voice = [](int m, double hold, uint32_t) {
        return bell(midi_hz(m), hold, 1.0, 3.0, 2.2, 0.45);
    };
    const Voice bass_voice = [&](int m, double hold, uint32_t seed) {
        return render_note(bass, midi_hz(m), hold, 1.0, seed);
    };

    const Send lead_send{0.46, 0.05, 0.18, 0.22, false};
    const Send bell_double{0.13, 0.45, 0.25, 0.3, false};
    const Send bass_send{0.45, 0.0, 0.0, 0.0, true};
    const Send arp_send{0.11, -0.5, 0.3, 0.25, true};
    const Send kick_send{0.85, 0.0, 0.02, 0.0, false};
    const Send snare_send{0.5, 0.05, 0.22, 0.0, false};
    const Send clap_send{0.3, -0.1, 0.25, 0.0, false};
    const Send hat_send{0.2, 0.3, 0.05, 0.0, false};
    const Send crash_send{0.22, -0.25, 0.15, 0.0, false};

    const Hit kick_hit = [](double v, uint32_t) { return kick(v); };
    const Hit snare_hit = [](double v, uint32_t seed) { return snare(v, seed); };
    const Hit clap_hit = [](double v, uint32_t seed) { return clap(v, seed); };
    const Hit hat_hit = [](double v, uint32_t seed) { return hat(v, 0.035, seed); };
    const Hit open_hat = [](double v, uint32_t seed) { return hat(v, 0.16, seed); };

    for (int bar = 0; bar < kBars; ++bar) {
        const double b0 = 4.0 * bar;
        const std::string chord = kChords[bar];
        const Section sec = section_of(bar);
        const bool chorus = sec == kChorus1 || sec == kChorus2;
        const bool last_of_section = bar == 3 || bar == 11 || bar == 19 || bar == 23 || bar == 31;

        // Pad: the chord held for the bar, a slightly different unison on each side.
        const double pad_level = sec == kIntro || sec == kBridge1 ? 0.075 : chorus ? 0.06 : 0.05;
        for (int t : voicing(chord, 55)) {
            for (double pan : {-0.85, 0.85}) {
                s.add(b0, render_note(pad, midi_hz(t), 4.0 * spb * 0.98, 1.0, s.next_seed()),
                      Send{pad_level, pan, 0.35, 0.0, true});
            }
        }

        // Bell arpeggio in eighths, up and down the chord.
        const std::vector<int> v = voicing(chord, 62);
        const int arp[8] = {v[0], v[1], v[2], v[0] + 12, v[2], v[1], v[0] + 12, v[2]};
        for (int k = 0; k < 8; ++k) {
            if (sec == kVerse1 && k % 2 == 1) continue;  // thinner under the verse melody
            s.add(b0 + 0.5 * k, bell(midi_hz(arp[k]), 0.2, k % 2 ? 0.7 : 1.0, 3.0, 1.6, 0.3), arp_send);
        }

        // Bass.
        const int root = chord_root(chord, 2) < 38 ? chord_root(chord, 2) + 12 : chord_root(chord, 2);
        auto pitch = [root](char c) { return c == 'F' ? root + 7 : c == 'O' ? root + 12 : root; };
        const char* bass_rhythm = sec == kIntro     ? "R-------R-----O-"
                                  : sec == kBridge1 ? "R-----------R---"
                                  : chorus          ? "R-.RR-.RF-.RO-R-"
                                                    : "R--.R-.RF--.R-O-";
        s.rhythm(b0, bass_rhythm, pitch, bass_voice, bass_send, 0.85);

        // Melody.
        if (sec == kVerse1) s.line(b0, kVerse[bar - 4], lead_voice, lead_send);
        if (sec == kBridge1) s.line(b0, kBridge[bar - 20], lead_voice, Send{0.38, 0.05, 0.3, 0.35, false});
        if (chorus) {
            const int i = bar - (sec == kChorus1 ? 12 : 24);
            const char* notes = bar == 31 ? kLastBar : kChorus[i];
            s.line(b0, notes, lead_voice, lead_send);
            s.line(b0, notes, bell_voice, bell_double, 0.9, 12);
        }

        // Drums.
        const char* kicks = sec == kIntro     ? "x.......x......."
                            : sec == kBridge1 ? "x..............."
                            : chorus          ? "X.....x.X.....x."
                                              : "X.....x.X.......";
        s.hits(b0, kicks, kick_hit, kick_send);
        for (double k = 0; k < 16; ++k) {
            if (parse_hits(kicks)[static_cast<size_t>(k)] > 0.0) s.duck_at(b0 + k / 4.0);
        }
        if (sec == kVerse1 || chorus) {
            s.hits(b0, last_of_section ? "....X.......X.xX" : "....X.......X...", snare_hit, snare_send);
        }
        if (chorus) s.hits(b0, "....x.......x...", clap_hit, clap_send);
        if (sec == kIntro) s.hits(b0, "..x...x...x...x.", hat_hit, hat_send);
        if (sec == kVerse1) s.hits(b0, "x.o.x.o.x.o.x.o.", hat_hit, hat_send);
        if (chorus) {
            s.hits(b0, "xoxoxox.xoxoxox.", hat_hit, hat_send);
            s.hits(b0, ".......x.......x", open_hat, hat_send);
        }
        if (sec == kBridge1) {
            s.hits(b0, bar == 23 ? "x.x.x.x.xxxxXXXX" : "..o...o...o...o.", bar == 23 ? snare_hit : hat_hit,
                   bar == 23 ? Send{0.32, 0.05, 0.2, 0.0, false} : hat_send);
        }
        if (bar == 11) {
            s.add(b0 + 3.0, tom(midi_hz(50), 0.7), Send{0.45, 0.3, 0.1, 0.0, false});
            s.add(b0 + 3.5, tom(midi_hz(45), 0.8), Send{0.45, -0.3, 0.1, 0.0, false});
        }
        if (bar == 4 || bar == 12 || bar == 24) s.add(b0, crash(1.0, s.next_seed()), crash_send);
        if (bar == 22) s.add(b0, riser(8.0 * spb, 1.0, s.next_seed()), Send{0.12, 0.0, 0.2, 0.0, false});
    }

    MasterSettings m;
    m.duck_depth = 0.25;
    return s.finish(m);
}

}  // namespace snd
