// Building blocks of the sound generator: oscillators, envelopes, filters,
// noise, delay and reverb. Everything is plain float arithmetic at 44100 Hz
// with fixed seeds, so the same source always renders the same samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace snd {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

using Mono = std::vector<float>;

struct Stereo {
    Mono l, r;
    explicit Stereo(std::size_t n = 0) : l(n, 0.0f), r(n, 0.0f) {}
    std::size_t size() const { return l.size(); }
};

double db_to_gain(double db);
double gain_to_db(double gain);
// Frequency of a MIDI note number (69 = A4 = 440 Hz).
double midi_hz(double note);
std::size_t seconds(double s);

// xorshift32; each sound or drum hit seeds its own, so hits are reproducible
// no matter in which order they are rendered.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed);
    float white();  // uniform in [-1, 1)
};

// Hashes a few integers into a noise seed.
uint32_t seed_of(uint32_t a, uint32_t b = 0, uint32_t c = 0);

// Phase accumulator with band-limited saw and pulse (polyBLEP corrections).
struct Osc {
    double phase = 0.0;
    float sine(double hz);
    float tri(double hz);
    float saw(double hz);
    float pulse(double hz, double width);
};

// Linear attack, exponential-shaped decay to sustain, release after `hold` seconds.
struct Adsr {
    double attack, decay, sustain, release;
    float at(double t, double hold) const;
    double length(double hold) const { return hold + release; }
};

// Zero-delay-feedback state-variable filter; cutoff may change every sample.
struct Svf {
    float ic1 = 0.0f, ic2 = 0.0f;
    float lp = 0.0f, bp = 0.0f, hp = 0.0f;
    void run(float x, double cutoff_hz, double q);
};

struct OnePole {
    float z = 0.0f;
    float lowpass(float x, double cutoff_hz);
    float highpass(float x, double cutoff_hz);
};

struct DelayLine {
    Mono buf;
    std::size_t pos = 0;
    explicit DelayLine(std::size_t n) : buf(n, 0.0f) {}
    float tap(std::size_t delay) const;  // delay in samples, 1 .. size
    void push(float x);
};

// Comb and allpass network of the classic Schroeder-Moorer kind, stereo by
// offsetting the right channel's delay lengths.
class Reverb {
public:
    Reverb(double room, double damp);
    void run(float in, float& out_l, float& out_r);

private:
    struct Comb {
        DelayLine line;
        float store = 0.0f;
        explicit Comb(std::size_t n) : line(n) {}
    };
    struct Allpass {
        DelayLine line;
        explicit Allpass(std::size_t n) : line(n) {}
    };
    std::vector<Comb> combs_l_, combs_r_;
    std::vector<Allpass> aps_l_, aps_r_;
    float feedback_, damp_;
};

// Soft saturation that stays linear for small signals.
float soft_clip(float x);

double peak_of(const Mono& m);
double peak_of(const Stereo& s);
double rms_of(const Stereo& s, std::size_t from, std::size_t to);
void scale(Mono& m, double g);
void scale(Stereo& s, double g);
// Adds `src` into `dst` at `offset`, panned (-1 left .. 1 right, equal power).
void mix_into(Stereo& dst, const Mono& src, std::size_t offset, double gain, double pan);
// Short fades at both ends so a one-shot never starts or stops with a click.
void fade_edges(Mono& m, double fade_in_s, double fade_out_s);

}  // namespace snd
