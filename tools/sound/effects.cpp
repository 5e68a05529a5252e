#include "effects.h"

#include <algorithm>
#include <cmath>

#include "instruments.h"

namespace snd {

namespace {

void add_at(Mono& dst, const Mono& src, double at_s, double gain) {
    const size_t at = seconds(at_s);
    if (dst.size() < at + src.size()) dst.resize(at + src.size(), 0.0f);
    for (size_t i = 0; i < src.size(); ++i) dst[at + i] += static_cast<float>(src[i] * gain);
}

double time_of(size_t i) { return static_cast<double>(i) / kRate; }

// A small room, so the dry effects sit in a space without a long tail.
Mono with_room(const Mono& dry, double wet, double tail_s) {
    Mono out(dry.size() + seconds(tail_s), 0.0f);
    Reverb room(0.55, 0.6);
    for (size_t i = 0; i < out.size(); ++i) {
        const float x = i < dry.size() ? dry[i] : 0.0f;
        float l, r;
        room.run(x, l, r);
        out[i] = static_cast<float>(x + wet * 1.5 * (l + r));
    }
    fade_edges(out, 0.0, 0.08);
    return out;
}

Patch pluck_patch() {
    Patch p;
    p.saw = 0.6;
    p.pulse = 0.6;
    p.width = 0.4;
    p.unison = 2;
    p.detune_cents = 10.0;
    p.cutoff = 1200.0;
    p.env_cutoff = 5000.0;
    p.filter_decay = 0.08;
    p.q = 1.2;
    p.amp = {0.002, 0.12, 0.35, 0.08};
    return p;
}

}  // namespace

Mono round_start() {
    Mono out;
    const Patch pluck = pluck_patch();
    const int steps[4] = {69, 73, 76, 81};  // A major, up to the octave
    for (int k = 0; k < 4; ++k) {
        add_at(out, render_note(pluck, midi_hz(steps[k]), 0.05, 0.6 + 0.1 * k, seed_of(1, k)), 0.065 * k, 1.0);
    }
    // The hit: a wide, bright A major chord that bends up into pitch.
    Patch stab;
    stab.saw = 1.0;
    stab.unison = 3;
    stab.detune_cents = 18.0;
    stab.cutoff = 1800.0;
    stab.env_cutoff = 7000.0;
    stab.filter_decay = 0.18;
    stab.q = 1.0;
    stab.amp = {0.004, 0.25, 0.55, 0.35};
    stab.bend_semitones = -2.0;
    stab.bend_time = 0.03;
    const double hit = 0.26;
    for (int m : {57, 69, 73, 76, 81}) {
        add_at(out, render_note(stab, midi_hz(m), 0.35, 0.45, seed_of(2, m)), hit, 1.0);
    }
    add_at(out, kick(1.0, 1.1), hit, 0.9);
    add_at(out, snare(0.9, seed_of(3)), hit, 0.6);
    add_at(out, crash(0.8, seed_of(4)), hit, 0.35);
    out.resize(seconds(1.05), 0.0f);
    fade_edges(out, 0.0, 0.25);
    return with_room(out, 0.25, 0.0);
}

Mono explosion() {
    const size_t n = seconds(1.35);
    Mono out(n, 0.0f);
    Noise rng(seed_of(10));
    Svf burst_lp, crackle_bp;
    OnePole rumble_lp, rumble_lp2;
    double thump_phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = time_of(i);
        const double attack = std::min(1.0, t / 0.002);
        // Low thump falling in pitch.
        const double thump = std::sin(2.0 * kPi * thump_phase) * std::exp(-t / 0.22);
        thump_phase += (38.0 + 70.0 * std::exp(-t / 0.06)) / kRate;
        // Noise burst whose brightness closes down.
        const float w = rng.white();
        burst_lp.run(w, 180.0 + 7000.0 * std::exp(-t / 0.12), 0.9);
        const double burst = burst_lp.lp * std::exp(-t / 0.32);
        // Sparse crackle of debris, thinning out.
        const double chance = 0.004 * std::exp(-t / 0.45);
        const double spark = (rng.white() * 0.5 + 0.5) < chance ? rng.white() * 6.0 : 0.0;
        crackle_bp.run(static_cast<float>(spark), 2400.0, 1.5);
        // Deep rumble that outlives the burst.
        const double rumble = rumble_lp2.lowpass(rumble_lp.lowpass(w, 160.0), 160.0) * 6.0 *
                              std::exp(-t / 0.5);
        const double x = attack * (1.1 * thump + 1.3 * burst + 0.6 * crackle_bp.bp + rumble);
        out[i] = soft_clip(static_cast<float>(x));
    }
    fade_edges(out, 0.0, 0.35);
    return with_room(out, 0.2, 0.0);
}

Mono blue_rocket() {
    const size_t n = seconds(0.6);
    Mono out(n, 0.0f);
    Noise rng(seed_of(20));
    Svf band, air;
    double zip = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = time_of(i);
        const double u = t / 0.6;
        const double env = std::min(1.0, t / 0.025) * std::pow(1.0 - u, 1.6);
        const float w = rng.white();
        band.run(w, 900.0 * std::pow(6.0, std::min(1.0, u * 1.6)), 3.0);
        air.run(w, 7000.0, 0.8);
        // A zip that climbs fast and fades before the hiss does.
        const double zip_hz = 700.0 + 2100.0 * (1.0 - std::exp(-t / 0.09));
        const double tone = std::sin(2.0 * kPi * zip) * std::exp(-t / 0.12);
        zip += zip_hz / kRate;
        zip -= std::floor(zip);
        out[i] = static_cast<float>(env * (1.6 * band.bp + 0.35 * air.hp + 0.5 * tone));
    }
    fade_edges(out, 0.001, 0.05);
    return with_room(out, 0.15, 0.1);
}

Mono red_rocket() {
    const size_t n = seconds(0.68);
    Mono out(n, 0.0f);
    Noise rng(seed_of(30));
    Svf band, growl_lp;
    Osc growl;
    for (size_t i = 0; i < n; ++i) {
        const double t = time_of(i);
        const double u = t / 0.68;
        const double env = std::min(1.0, t / 0.04) * std::pow(1.0 - u, 1.3);
        const float w = rng.white();
        band.run(w, 1500.0 * std::pow(0.22, u), 2.2);
        // A growling saw that drops an octave, roughened by the noise.
        const double hz = 150.0 * std::pow(0.5, u) * (1.0 + 0.03 * w);
        growl_lp.run(growl.saw(hz), 900.0 * std::pow(0.5, u), 1.4);
        out[i] = soft_clip(static_cast<float>(env * (1.7 * band.bp + 0.9 * growl_lp.lp)));
    }
    fade_edges(out, 0.001, 0.06);
    return with_room(out, 0.15, 0.1);
}

Mono landing_chime() {
    Mono out;
    const int notes[3] = {79, 84, 88};  // G5, C6, E6
    for (int k = 0; k < 3; ++k) {
        add_at(out, bell(midi_hz(notes[k]), 0.8 - 0.08 * k, 0.8, 2.0, 1.3, 0.28), 0.075 * k, 1.0);
        add_at(out, bell(midi_hz(notes[k] + 12), 0.5, 0.25, 1.0, 0.6, 0.18), 0.075 * k, 1.0);
    }
    out.resize(seconds(0.85), 0.0f);
    fade_edges(out, 0.0, 0.2);
    return with_room(out, 0.3, 0.0);
}

Mono loss() {
    const size_t n = seconds(1.0);
    Mono out(n, 0.0f);
    Osc tri, saw, sub;
    Svf lp;
    for (size_t i = 0; i < n; ++i) {
        const double t = time_of(i);
        const double u = t / 1.0;
        // Falls two octaves with a widening wobble.
        const double wobble = (25.0 + 60.0 * u) * std::sin(2.0 * kPi * 7.0 * t);
        const double hz = 520.0 * std::pow(2.0, -2.0 * u + wobble / 1200.0);
        const double x = 0.65 * tri.tri(hz) + 0.35 * saw.saw(hz) + 0.3 * sub.sine(hz * 0.5);
        lp.run(static_cast<float>(x), std::min(2200.0, hz * 4.0), 0.8);
        const double env = std::min(1.0, t / 0.015) * (u < 0.55 ? 1.0 : std::pow((1.0 - u) / 0.45, 1.5));
        out[i] = static_cast<float>(env * lp.lp);
    }
    fade_edges(out, 0.001, 0.02);
    return with_room(out, 0.12, 0.0);
}

Mono pads_found() {
    Mono out;
    Patch blip;
    blip.saw = 0.0;
    blip.pulse = 1.0;
    blip.width = 0.5;
    blip.cutoff = 3000.0;
    blip.env_cutoff = 2500.0;
    blip.filter_decay = 0.04;
    blip.q = 0.9;
    blip.amp = {0.002, 0.08, 0.6, 0.04};
    add_at(out, render_note(blip, midi_hz(76), 0.06, 0.8, 40), 0.0, 1.0);
    add_at(out, render_note(blip, midi_hz(81), 0.06, 0.8, 41), 0.09, 1.0);
    blip.amp = {0.002, 0.12, 0.5, 0.09};
    add_at(out, render_note(blip, midi_hz(88), 0.12, 0.9, 42), 0.18, 1.0);
    out.resize(seconds(0.4), 0.0f);
    fade_edges(out, 0.0, 0.03);
    return out;
}

Mono new_arena() {
    const size_t n = seconds(0.9);
    Mono out(n, 0.0f);
    Noise rng(seed_of(50));
    Svf sweep;
    for (size_t i = 0; i < n; ++i) {
        const double u = time_of(i) / 0.9;
        sweep.run(rng.white(), 350.0 * std::pow(20.0, std::min(1.0, u * 1.25)), 2.5);
        const double env = std::min(1.0, u / 0.5) * std::pow(1.0 - u, 0.8);
        out[i] = static_cast<float>(0.9 * env * sweep.bp);
    }
    const Patch pluck = pluck_patch();
    const int notes[6] = {62, 66, 69, 74, 78, 81};  // D major, two octaves up
    for (int k = 0; k < 6; ++k) {
        add_at(out, render_note(pluck, midi_hz(notes[k]), 0.06, 0.45 + 0.05 * k, seed_of(51, k)), 0.07 * k, 1.0);
    }
    out.resize(n, 0.0f);
    fade_edges(out, 0.0, 0.15);
    return with_room(out, 0.3, 0.0);
}

}  // namespace snd
