#include "instruments.h"

#include <algorithm>
#include <cmath>

namespace snd {

namespace {

struct UnisonVoice {
    Osc saw, pulse, tri, sine;
    double detune_ratio = 1.0;
};

double cents_ratio(double cents) { return std::pow(2.0, cents / 1200.0); }

// The metal of a cymbal: six square waves at unrelated pitches.
float metal(Osc (&osc)[6], double tune) {
    static const double freqs[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    float s = 0.0f;
    for (int k = 0; k < 6; ++k) s += osc[k].pulse(freqs[k] * tune, 0.5);
    return s / 6.0f;
}

}  // namespace

Mono render_note(const Patch& p, double hz, double hold, double velocity, uint32_t seed) {
    const size_t n = seconds(p.amp.length(hold)) + 1;
    Mono out(n, 0.0f);
    Noise rng(seed);
    std::vector<UnisonVoice> voices(static_cast<size_t>(std::max(1, p.unison)));
    for (size_t k = 0; k < voices.size(); ++k) {
        UnisonVoice& v = voices[k];
        const double start = voices.size() > 1 ? 0.5 * (rng.white() + 1.0) : 0.0;
        v.saw.phase = v.pulse.phase = v.tri.phase = v.sine.phase = start;
        if (voices.size() > 1) {
            const double spread = static_cast<double>(k) / static_cast<double>(voices.size() - 1) - 0.5;
            v.detune_ratio = cents_ratio(p.detune_cents * spread);
        }
    }
    Osc sub;
    Svf filter;
    const double track = p.key_track > 0.0 ? std::pow(hz / 220.0, p.key_track) : 1.0;
    const double norm = 1.0 / std::sqrt(static_cast<double>(voices.size()));
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double cents = 0.0;
        if (p.bend_semitones != 0.0) cents += 100.0 * p.bend_semitones * std::exp(-t / p.bend_time);
        if (p.vibrato_cents > 0.0) {
            const double depth = p.vibrato_cents * std::clamp((t - p.vibrato_delay) / 0.3, 0.0, 1.0);
            cents += depth * std::sin(2.0 * kPi * p.vibrato_hz * t);
        }
        const double f0 = hz * cents_ratio(cents);
        double s = 0.0;
        for (UnisonVoice& v : voices) {
            const double f = f0 * v.detune_ratio;
            if (p.saw != 0.0) s += p.saw * v.saw.saw(f);
            if (p.pulse != 0.0) s += p.pulse * v.pulse.pulse(f, p.width);
            if (p.tri != 0.0) s += p.tri * v.tri.tri(f);
            if (p.sine != 0.0) s += p.sine * v.sine.sine(f);
        }
        s *= norm;
        if (p.sub != 0.0) s += p.sub * sub.pulse(f0 * 0.5, 0.5);
        const double cutoff = p.cutoff * track + p.env_cutoff * std::exp(-t / p.filter_decay);
        filter.run(static_cast<float>(s), cutoff, p.q);
        float x = filter.lp;
        if (p.drive > 0.0) x = soft_clip(x * static_cast<float>(1.0 + 3.0 * p.drive));
        out[i] = static_cast<float>(x * p.amp.at(t, hold) * velocity);
    }
    fade_edges(out, 0.001, 0.002);
    return out;
}

Mono bell(double hz, double hold, double velocity, double ratio, double index, double decay_s) {
    const double release = 0.15;
    const double length = std::min(hold, decay_s * 4.0) + release;
    const size_t n = seconds(length);
    Mono out(n, 0.0f);
    double pc = 0.0, pm = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double idx = index * std::exp(-t / (decay_s * 0.3)) + 0.15 * index;
        double amp = std::exp(-t / decay_s) * std::min(1.0, t / 0.002);
        const double end = length - release;
        if (t > end) amp *= 1.0 - (t - end) / release;
        out[i] = static_cast<float>(velocity * amp * std::sin(2.0 * kPi * pc + idx * std::sin(2.0 * kPi * pm)));
        pc += hz / kRate;
        pm += hz * ratio / kRate;
        pc -= std::floor(pc);
        pm -= std::floor(pm);
    }
    return out;
}

Mono kick(double velocity, double tune) {
    const size_t n = seconds(0.5);
    Mono out(n, 0.0f);
    Noise rng(0x6b69636bu);
    OnePole click_lp;
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f = tune * (46.0 + 124.0 * std::exp(-t / 0.032));
        const double body = std::sin(2.0 * kPi * phase) * std::exp(-t / 0.26);
        phase += f / kRate;
        phase -= std::floor(phase);
        const double click = click_lp.lowpass(rng.white(), 3500.0) * std::exp(-t / 0.003);
        out[i] = static_cast<float>(velocity * soft_clip(static_cast<float>(1.4 * body + 0.8 * click)));
    }
    fade_edges(out, 0.0005, 0.03);
    return out;
}

Mono snare(double velocity, uint32_t seed) {
    const size_t n = seconds(0.38);
    Mono out(n, 0.0f);
    Noise rng(seed);
    Svf hp, bp;
    double p1 = 0.0, p2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double tone = 0.55 * std::sin(2.0 * kPi * p1) * std::exp(-t / 0.055) +
                            0.25 * std::sin(2.0 * kPi * p2) * std::exp(-t / 0.04);
        p1 += (180.0 + 70.0 * std::exp(-t / 0.01)) / kRate;
        p2 += 330.0 / kRate;
        const float w = rng.white();
        hp.run(w, 1400.0, 0.7);
        bp.run(hp.hp, 5200.0, 0.8);
        const double rattle = (0.55 * hp.hp + 0.5 * bp.bp) * std::exp(-t / 0.12);
        out[i] = static_cast<float>(velocity * (tone + rattle));
    }
    fade_edges(out, 0.0005, 0.03);
    return out;
}

Mono clap(double velocity, uint32_t seed) {
    const size_t n = seconds(0.4);
    Mono out(n, 0.0f);
    Noise rng(seed);
    Svf bp;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        double env = 0.0;
        for (double start : {0.0, 0.011, 0.022}) {
            if (t >= start) env = std::max(env, std::exp(-(t - start) / 0.004));
        }
        if (t >= 0.03) env = std::max(env, 0.7 * std::exp(-(t - 0.03) / 0.11));
        bp.run(rng.white(), 1150.0, 1.4);
        out[i] = static_cast<float>(velocity * 1.8 * bp.bp * env);
    }
    fade_edges(out, 0.0005, 0.03);
    return out;
}

Mono hat(double velocity, double decay_s, uint32_t seed) {
    const size_t n = seconds(std::min(1.5, decay_s * 6.0 + 0.01));
    Mono out(n, 0.0f);
    Noise rng(seed);
    Osc osc[6];
    Svf bp, hp;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const float src = 0.6f * metal(osc, 1.9) + 0.5f * rng.white();
        bp.run(src, 9500.0, 0.9);
        hp.run(bp.bp, 7000.0, 0.7);
        out[i] = static_cast<float>(velocity * 1.6 * hp.hp * std::exp(-t / decay_s));
    }
    fade_edges(out, 0.0003, 0.01);
    return out;
}

Mono crash(double velocity, uint32_t seed) {
    const size_t n = seconds(2.4);
    Mono out(n, 0.0f);
    Noise rng(seed);
    Osc osc[6];
    Svf hp, lp;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const float src = 0.4f * metal(osc, 1.3) + 0.7f * rng.white();
        hp.run(src, 4200.0, 0.7);
        lp.run(hp.hp, 12000.0 - 5000.0 * std::min(1.0, t), 0.7);
        const double env = std::exp(-t / 0.55) * std::min(1.0, t / 0.001);
        out[i] = static_cast<float>(velocity * 1.3 * lp.lp * env);
    }
    fade_edges(out, 0.0, 0.2);
    return out;
}

Mono tom(double hz, double velocity) {
    const size_t n = seconds(0.55);
    Mono out(n, 0.0f);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double f = hz * (1.0 + 0.7 * std::exp(-t / 0.04));
        out[i] = static_cast<float>(velocity * std::sin(2.0 * kPi * phase) * std::exp(-t / 0.2));
        phase += f / kRate;
        phase -= std::floor(phase);
    }
    fade_edges(out, 0.0005, 0.03);
    return out;
}

Mono riser(double length, double velocity, uint32_t seed) {
    const size_t n = seconds(length);
    Mono out(n, 0.0f);
    Noise rng(seed);
    Svf bp;
    for (size_t i = 0; i < n; ++i) {
        const double u = static_cast<double>(i) / static_cast<double>(n);
        bp.run(rng.white(), 300.0 * std::pow(30.0, u), 2.0);
        out[i] = static_cast<float>(velocity * 1.5 * bp.bp * u * u);
    }
    fade_edges(out, 0.0, 0.01);
    return out;
}

}  // namespace snd
