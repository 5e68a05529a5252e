#include "dsp.h"

#include <algorithm>
#include <cmath>

namespace snd {

double db_to_gain(double db) { return std::pow(10.0, db / 20.0); }
double gain_to_db(double gain) { return 20.0 * std::log10(std::max(gain, 1e-12)); }
double midi_hz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }
size_t seconds(double s) { return static_cast<size_t>(std::lround(s * kRate)); }

Noise::Noise(uint32_t seed) : state(seed ? seed : 0x9e3779b9u) {}

float Noise::white() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<float>(static_cast<double>(state) / 2147483648.0 - 1.0);
}

uint32_t seed_of(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = 2166136261u;
    for (uint32_t v : {a, b, c}) {
        for (int i = 0; i < 4; ++i) {
            h ^= (v >> (8 * i)) & 0xffu;
            h *= 16777619u;
        }
    }
    return h;
}

namespace {

double blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double wrap01(double x) { return x - std::floor(x); }

}  // namespace

float Osc::sine(double hz) {
    const double v = std::sin(2.0 * kPi * phase);
    phase = wrap01(phase + hz / kRate);
    return static_cast<float>(v);
}

float Osc::tri(double hz) {
    const double v = phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
    phase = wrap01(phase + hz / kRate);
    return static_cast<float>(v);
}

float Osc::saw(double hz) {
    const double dt = std::min(hz / kRate, 0.5);
    const double v = 2.0 * phase - 1.0 - blep(phase, dt);
    phase = wrap01(phase + dt);
    return static_cast<float>(v);
}

float Osc::pulse(double hz, double width) {
    const double dt = std::min(hz / kRate, 0.5);
    const double other = wrap01(phase + 1.0 - width);
    double v = phase < width ? 1.0 : -1.0;
    v += blep(phase, dt) - blep(other, dt);
    phase = wrap01(phase + dt);
    return static_cast<float>(v);
}

float Adsr::at(double t, double hold) const {
    auto held = [&](double u) {
        if (u < attack) return u / attack;
        const double d = (u - attack) / std::max(decay, 1e-6);
        return sustain + (1.0 - sustain) * std::exp(-4.0 * d);
    };
    if (t < 0.0) return 0.0f;
    if (t < hold) return static_cast<float>(held(t));
    const double r = (t - hold) / std::max(release, 1e-6);
    if (r >= 1.0) return 0.0f;
    // A curved release that still reaches exactly zero.
    return static_cast<float>(held(hold) * (1.0 - r) * (1.0 - r));
}

void Svf::run(float x, double cutoff_hz, double q) {
    const double fc = std::clamp(cutoff_hz, 10.0, kRate * 0.45);
    const double g = std::tan(kPi * fc / kRate);
    const double k = 1.0 / q;
    const double a1 = 1.0 / (1.0 + g * (g + k));
    const double a2 = g * a1;
    const double a3 = g * a2;
    const double v3 = x - ic2;
    const double v1 = a1 * ic1 + a2 * v3;
    const double v2 = ic2 + a2 * ic1 + a3 * v3;
    ic1 = static_cast<float>(2.0 * v1 - ic1);
    ic2 = static_cast<float>(2.0 * v2 - ic2);
    lp = static_cast<float>(v2);
    bp = static_cast<float>(v1);
    hp = static_cast<float>(x - k * v1 - v2);
}

float OnePole::lowpass(float x, double cutoff_hz) {
    const double a = 1.0 - std::exp(-2.0 * kPi * cutoff_hz / kRate);
    z = static_cast<float>(z + a * (x - z));
    return z;
}

float OnePole::highpass(float x, double cutoff_hz) { return x - lowpass(x, cutoff_hz); }

float DelayLine::tap(size_t delay) const {
    const size_t n = buf.size();
    return buf[(pos + n - delay) % n];
}

void DelayLine::push(float x) {
    buf[pos] = x;
    pos = (pos + 1) % buf.size();
}

Reverb::Reverb(double room, double damp)
    : feedback_(static_cast<float>(0.7 + 0.28 * room)), damp_(static_cast<float>(0.4 * damp)) {
    const size_t combs[] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    const size_t aps[] = {556, 441, 341, 225};
    const size_t spread = 23;
    for (size_t n : combs) {
        combs_l_.emplace_back(n);
        combs_r_.emplace_back(n + spread);
    }
    for (size_t n : aps) {
        aps_l_.emplace_back(n);
        aps_r_.emplace_back(n + spread);
    }
}

void Reverb::run(float in, float& out_l, float& out_r) {
    const float x = in * 0.015f;
    auto side = [&](std::vector<Comb>& combs, std::vector<Allpass>& aps) {
        float acc = 0.0f;
        for (Comb& c : combs) {
            const float y = c.line.tap(c.line.buf.size());
            c.store = y * (1.0f - damp_) + c.store * damp_;
            c.line.push(x + c.store * feedback_);
            acc += y;
        }
        for (Allpass& a : aps) {
            const float held = a.line.tap(a.line.buf.size());
            a.line.push(acc + held * 0.5f);
            acc = held - acc;
        }
        return acc;
    };
    out_l = side(combs_l_, aps_l_);
    out_r = side(combs_r_, aps_r_);
}

float soft_clip(float x) {
    // Linear up to 0.5, then a smooth knee that approaches 1.
    const float a = std::fabs(x);
    if (a <= 0.5f) return x;
    const float y = 0.5f + 0.5f * std::tanh((a - 0.5f) / 0.5f);
    return x < 0.0f ? -y : y;
}

double peak_of(const Mono& m) {
    double p = 0.0;
    for (float v : m) p = std::max(p, static_cast<double>(std::fabs(v)));
    return p;
}

double peak_of(const Stereo& s) { return std::max(peak_of(s.l), peak_of(s.r)); }

double rms_of(const Stereo& s, size_t from, size_t to) {
    double acc = 0.0;
    for (size_t i = from; i < to; ++i) acc += double(s.l[i]) * s.l[i] + double(s.r[i]) * s.r[i];
    return std::sqrt(acc / (2.0 * static_cast<double>(to - from)));
}

void scale(Mono& m, double g) {
    for (float& v : m) v = static_cast<float>(v * g);
}

void scale(Stereo& s, double g) {
    scale(s.l, g);
    scale(s.r, g);
}

void mix_into(Stereo& dst, const Mono& src, size_t offset, double gain, double pan) {
    const double angle = (std::clamp(pan, -1.0, 1.0) + 1.0) * kPi / 4.0;
    const double gl = gain * std::cos(angle) * std::sqrt(2.0);
    const double gr = gain * std::sin(angle) * std::sqrt(2.0);
    for (size_t i = 0; i < src.size() && offset + i < dst.size(); ++i) {
        dst.l[offset + i] += static_cast<float>(src[i] * gl);
        dst.r[offset + i] += static_cast<float>(src[i] * gr);
    }
}

void fade_edges(Mono& m, double fade_in_s, double fade_out_s) {
    const size_t n = m.size();
    const size_t fi = std::min(n, seconds(fade_in_s));
    const size_t fo = std::min(n, seconds(fade_out_s));
    for (size_t i = 0; i < fi; ++i) m[i] *= static_cast<float>(i) / static_cast<float>(fi);
    for (size_t i = 0; i < fo; ++i) m[n - 1 - i] *= static_cast<float>(i) / static_cast<float>(fo);
}

}  // namespace snd
