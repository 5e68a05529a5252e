#include "play_track.h"

#include <string>

#include "instruments.h"
#include "song.h"

namespace snd {

namespace {

constexpr double kBpm = 140.0;
constexpr int kBars = 40;

// E minor with a major dominant (B). The last bar's B resolves onto the
// intro's Em when the track loops.
const char* const kChords[kBars] = {
    "Em", "Em", "C", "D",                           // 1-4 intro
    "Em", "C", "D", "B", "Em", "C", "D", "B",       // 5-12 riff
    "Em", "C", "D", "B", "Em", "C", "D", "B",       // 13-20 riff with counter-melody
    "C", "D", "Em", "Em", "C", "D", "B", "B",       // 21-28 chorus
    "Em", "C", "Am", "B",                           // 29-32 break
    "C", "D", "Em", "Em", "C", "D", "B", "B"};      // 33-40 last chorus

const char* const kRiff[8] = {
    "e5 . e5 . g5 . e5 . b5 - a5 . g5 . f#5 .",
    "e5 . e5 . g5 . e5 . c6 - b5 . g5 . e5 .",
    "d5 . d5 . f#5 . d5 . a5 - g5 . f#5 . d5 .",
    "d#5 . d#5 . f#5 . b4 . f#5 - - - d#5 - - -",
    "e5 . e5 . g5 . e5 . b5 - a5 . g5 . f#5 .",
    "e5 . e5 . g5 . e5 . c6 - b5 . g5 . e5 .",
    "d5 . d5 . f#5 . d5 . a5 - g5 . f#5 . d5 .",
    "b4 - . b4 d#5 - f#5 - a5 - - - f#5 - d#5 -"};

const char* const kCounter[8] = {
    "b5 - - - - - - - - - - - g5 - a5 -",
    "g5 - - - - - - - e5 - - - - - - -",
    "f#5 - - - - - - - a5 - - - - - - -",
    "f#5 - - - - - - - d#5 - - - - - - -",
    "b5 - - - - - - - - - - - c6 - d6 -",
    "e6 - - - - - - - d6 - - - c6 - - -",
    "d6 - - - - - - - a5 - - - f#5 - - -",
    "f#5 - - - - - - - d#5 - - - b4 - - -"};

const char* const kChorus[8] = {
    "g5 - - - - - e5 - g5 - - - c6 - - -",
    "b5 - - - a5 - - - f#5 - - - d5 - - -",
    "e5 - - - - - - - - - - - g5 - a5 -",
    "b5 - - - - - - - . . . . b5 - c6 -",
    "e6 - - - - - d6 - c6 - - - b5 - - -",
    "a5 - - - - - b5 - c6 - - - d6 - - -",
    "d#6 - - - - - - - - - - - f#6 - - -",
    "f#6 - - - e6 - d#6 - b5 - - - a5 - f#5 -"};

const char* const kLastBar = "f#6 - - - e6 - d#6 - b5 - - - - - - -";

enum Section { kIntro, kRiffA, kRiffB, kChorus1, kBreak, kChorus2 };

Section section_of(int bar) {
    if (bar < 4) return kIntro;
    if (bar < 12) return kRiffA;
    if (bar < 20) return kRiffB;
    if (bar < 28) return kChorus1;
    if (bar < 32) return kBreak;
    return kChorus2;
}

Patch riff_patch() {
    Patch p;
    p.pulse = 0.7;
    p.saw = 0.35;
    p.cutoff = 900.0;
    p.env_cutoff = 3800.0;
    p.filter_decay = 0.09;
    p.q = 1.6;
    p.amp = {0.003, 0.16, 0.45, 0.05};
    p.drive = 0.2;
    return p;
}

Patch lead_patch() {
    Patch p;
    p.saw = 1.0;
    p.unison = 3;
    p.detune_cents = 16.0;
    p.cutoff = 1700.0;
    p.env_cutoff = 2600.0;
    p.filter_decay = 0.3;
    p.key_track = 0.4;
    p.q = 1.0;
    p.amp = {0.01, 0.3, 0.8, 0.15};
    p.vibrato_cents = 16.0;
    p.vibrato_delay = 0.2;
    p.bend_semitones = -0.6;
    p.bend_time = 0.02;
    return p;
}

Patch arp_patch(double cutoff) {
    Patch p;
    p.saw = 0.0;
    p.pulse = 1.0;
    p.width = 0.25;
    p.cutoff = cutoff;
    p.env_cutoff = 2200.0;
    p.filter_decay = 0.06;
    p.q = 2.0;
    p.amp = {0.002, 0.09, 0.25, 0.04};
    return p;
}

Patch pad_patch() {
    Patch p;
    p.saw = 1.0;
    p.unison = 4;
    p.detune_cents = 26.0;
    p.cutoff = 750.0;
    p.q = 0.9;
    p.amp = {0.2, 1.0, 0.8, 0.5};
    return p;
}

Patch bass_patch() {
    Patch p;
    p.saw = 0.9;
    p.sub = 0.3;
    p.cutoff = 220.0;
    p.env_cutoff = 1700.0;
    p.filter_decay = 0.07;
    p.q = 1.4;
    p.amp = {0.003, 0.2, 0.7, 0.04};
    p.drive = 0.35;
    return p;
}

}  // namespace

Stereo play_track() {
    Song s(kBpm, kBars);
    const Patch riff = riff_patch(), lead = lead_patch(), pad = pad_patch(), bass = bass_patch();
    const double spb = s.seconds_per_beat();

    const Voice riff_voice = [&](int m, double hold, uint32_t seed) {
        return render_note(riff, midi_hz(m), hold, 1.0, seed);
    };
    const Voice lead_voice = [&](int m, double hold, uint32_t seed) {
        return render_note(lead, midi_hz(m), hold, 1.0, seed);
    };
    const Voice bass_voice = [&](int m, double hold, uint32_t seed) {
        return render_note(bass, midi_hz(m), hold, 1.0, seed);
    };

    const Send riff_send{0.38, -0.35, 0.12, 0.2, false};
    const Send lead_send{0.42, 0.25, 0.2, 0.25, false};
    const Send bass_send{0.42, 0.0, 0.0, 0.0, true};
    const Send kick_send{0.85, 0.0, 0.0, 0.0, false};
    const Send snare_send{0.5, 0.05, 0.2, 0.0, false};
    const Send clap_send{0.32, -0.1, 0.2, 0.0, false};
    const Send hat_send{0.2, 0.45, 0.03, 0.0, false};
    const Send open_hat_send{0.18, -0.45, 0.05, 0.0, false};
    const Send crash_send{0.24, -0.5, 0.12, 0.0, false};

    const Hit kick_hit = [](double v, uint32_t) { return kick(v, 1.05); };
    const Hit snare_hit = [](double v, uint32_t seed) { return snare(v, seed); };
    const Hit clap_hit = [](double v, uint32_t seed) { return clap(v, seed); };
    const Hit hat_hit = [](double v, uint32_t seed) { return hat(v, 0.03, seed); };
    const Hit open_hat = [](double v, uint32_t seed) { return hat(v, 0.12, seed); };

    for (int bar = 0; bar < kBars; ++bar) {
        const double b0 = 4.0 * bar;
        const std::string chord = kChords[bar];
        const Section sec = section_of(bar);
        const bool chorus = sec == kChorus1 || sec == kChorus2;

        // Pad under the chorus and the break.
        if (chorus || sec == kBreak) {
            for (int t : voicing(chord, 55)) {
                for (double pan : {-0.95, 0.95}) {
                    s.add(b0, render_note(pad, midi_hz(t), 4.0 * spb * 0.98, 1.0, s.next_seed()),
                          Send{sec == kBreak ? 0.07 : 0.045, pan, 0.3, 0.0, true});
                }
            }
        }

        // Sixteenth arpeggio; in the intro and the break its filter opens bar by bar.
        if (sec != kRiffA) {
            double cutoff = 1400.0;
            if (sec == kIntro) cutoff = 300.0 + 350.0 * bar;
            if (sec == kBreak) cutoff = 350.0 + 600.0 * (bar - 28);
            const Patch arp = arp_patch(cutoff);
            const std::vector<int> v = voicing(chord, 64);
            const int cycle[4] = {v[0], v[1], v[2], v[0] + 12};
            for (int k = 0; k < 16; ++k) {
                const double accent = k % 4 == 0 ? 1.0 : 0.7;
                s.add(b0 + k / 4.0, render_note(arp, midi_hz(cycle[k % 4]), spb / 4.0 * 0.6, accent, s.next_seed()),
                      Send{0.12, k % 2 ? 0.7 : -0.7, 0.15, 0.15, true});
            }
        }

        // Bass.
        const int root = chord_root(chord, 2) < 36 ? chord_root(chord, 2) + 12 : chord_root(chord, 2);
        auto pitch = [root](char c) { return c == 'F' ? root + 7 : c == 'O' ? root + 12 : root; };
        const char* bass_rhythm = sec == kBreak                 ? "R-----------R---"
                                  : sec == kIntro && bar < 2    ? "R.R.R.R.R.R.R.R."
                                  : sec == kRiffB               ? "RRO.RRO.RRO.RRO."
                                                                : "R.ROR.ROR.ROR.RO";
        s.rhythm(b0, bass_rhythm, pitch, bass_voice, bass_send, 0.7);

        // Riff, counter-melody and chorus melody.
        if (sec == kRiffA) s.line(b0, kRiff[bar - 4], riff_voice, riff_send);
        if (sec == kRiffB) {
            s.line(b0, kRiff[bar - 12], riff_voice, Send{0.3, -0.5, 0.12, 0.15, false}, 0.9, -12);
            s.line(b0, kCounter[bar - 12], lead_voice, lead_send);
        }
        if (chorus) {
            const int i = bar - (sec == kChorus1 ? 20 : 32);
            const char* notes = bar == 39 ? kLastBar : kChorus[i];
            s.line(b0, notes, lead_voice, lead_send);
            if (sec == kChorus2) s.line(b0, notes, riff_voice, Send{0.12, -0.55, 0.15, 0.2, false}, 0.9, -12);
        }

        // Drums.
        const char* kicks = sec == kBreak ? (bar == 31 ? "................" : "X...............")
                                          : "X...X...X...X...";
        s.hits(b0, kicks, kick_hit, kick_send);
        const std::vector<double> kv = parse_hits(kicks);
        for (size_t k = 0; k < kv.size(); ++k) {
            if (kv[k] > 0.0) s.duck_at(b0 + static_cast<double>(k) / 4.0);
        }
        const bool backbeat = (sec == kIntro && bar >= 2) || sec == kRiffA || sec == kRiffB || chorus;
        if (backbeat) {
            const bool fill = bar == 11 || bar == 27;
            s.hits(b0, fill ? "....X.......XxXX" : "....X.......X...", snare_hit, snare_send);
            s.hits(b0, "....x.......x...", clap_hit, clap_send);
        }
        if (bar == 31) s.hits(b0, "x.x.x.x.xxxxXXXX", snare_hit, Send{0.34, 0.05, 0.2, 0.0, false});
        if (sec != kBreak) {
            s.hits(b0, sec == kIntro && bar < 2 ? "x.x.x.x.x.x.x.x." : "xo.oxo.oxo.oxo.o", hat_hit, hat_send);
            if (sec != kIntro) s.hits(b0, "..x...x...x...x.", open_hat, open_hat_send);
        } else {
            s.hits(b0, "..o...o...o...o.", hat_hit, hat_send);
        }
        if (bar == 19 || bar == 39) {
            const int toms[4] = {52, 50, 47, 43};
            for (int k = 0; k < 4; ++k) {
                s.add(b0 + 3.0 + 0.25 * k, tom(midi_hz(toms[k]), 0.8), Send{0.45, 0.4 - 0.25 * k, 0.1, 0.0, false});
            }
        }
        if (bar == 4 || bar == 12 || bar == 20 || bar == 28 || bar == 32) {
            s.add(b0, crash(1.0, s.next_seed()), crash_send);
        }
        if (bar == 30) s.add(b0, riser(8.0 * spb, 1.0, s.next_seed()), Send{0.14, 0.0, 0.2, 0.0, false});
        if (bar == 2) s.add(b0, riser(8.0 * spb, 0.8, s.next_seed()), Send{0.1, 0.0, 0.2, 0.0, false});
    }

    MasterSettings m;
    m.duck_depth = 0.4;
    m.delay_beats = 0.75;
    return s.finish(m);
}

}  // namespace snd
