#include "song.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <deque>
#include <sstream>
#include <stdexcept>

namespace snd {

namespace {

constexpr int kPasses = 3;

// Gain curve of one duck: a 4 ms dip, then a recovery that lands on 1 with zero slope.
double duck_shape(double t) {
    const double attack = 0.004, recover = 0.26;
    if (t < attack) return t / attack;
    const double u = (t - attack) / recover;
    return u >= 1.0 ? 0.0 : (1.0 - u) * (1.0 - u);
}

// Look-ahead peak limiter: the gain is the windowed minimum of what each
// sample needs, released slowly and then box-smoothed inside the window, so
// it is already down when a peak arrives and never overshoots the ceiling.
Stereo limit(const Stereo& x, double gain, double ceiling) {
    const size_t n = x.size();
    const size_t w = seconds(0.003);
    std::vector<double> need(n);
    for (size_t i = 0; i < n; ++i) {
        const double a = gain * std::max(std::fabs(x.l[i]), std::fabs(x.r[i]));
        need[i] = a > ceiling ? ceiling / a : 1.0;
    }
    std::vector<double> held(n);
    std::deque<size_t> window;  // indices with increasing need
    size_t next = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t hi = std::min(n - 1, i + w);
        for (; next <= hi; ++next) {
            while (!window.empty() && need[window.back()] >= need[next]) window.pop_back();
            window.push_back(next);
        }
        while (window.front() + w < i) window.pop_front();
        held[i] = need[window.front()];
    }
    const double rel = 1.0 - std::exp(-1.0 / (0.08 * kRate));
    double b = 1.0;
    for (size_t i = 0; i < n; ++i) {
        b = std::min(held[i], b + (1.0 - b) * rel);
        held[i] = b;
    }
    std::vector<double> sum(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) sum[i + 1] = sum[i] + held[i];
    Stereo y(n);
    const size_t half = w / 2;
    for (size_t i = 0; i < n; ++i) {
        const size_t lo = i >= half ? i - half : 0;
        const size_t hi = std::min(n, i + half + 1);
        const double g = gain * (sum[hi] - sum[lo]) / static_cast<double>(hi - lo);
        y.l[i] = static_cast<float>(x.l[i] * g);
        y.r[i] = static_cast<float>(x.r[i] * g);
    }
    return y;
}

}  // namespace

Song::Song(double bpm, int bars)
    : bpm_(bpm),
      bars_(bars),
      loop_(static_cast<size_t>(std::llround(4.0 * bars * 60.0 / bpm * kRate))),
      dry_(kPasses * loop_),
      ducked_(kPasses * loop_),
      reverb_send_(kPasses * loop_, 0.0f),
      delay_send_(kPasses * loop_, 0.0f) {}

void Song::add(double beat, const Mono& sound, const Send& send) {
    const size_t onset = static_cast<size_t>(std::llround(beat * seconds_per_beat() * kRate));
    const size_t total = kPasses * loop_;
    for (int pass = 0; pass < kPasses; ++pass) {
        const size_t at = onset + static_cast<size_t>(pass) * loop_;
        mix_into(send.ducked ? ducked_ : dry_, sound, at, send.gain, send.pan);
        for (size_t i = 0; i < sound.size() && at + i < total; ++i) {
            const float v = static_cast<float>(sound[i] * send.gain);
            reverb_send_[at + i] += static_cast<float>(v * send.reverb);
            delay_send_[at + i] += static_cast<float>(v * send.delay);
        }
    }
}

void Song::duck_at(double beat) {
    const size_t onset = static_cast<size_t>(std::llround(beat * seconds_per_beat() * kRate));
    for (int pass = 0; pass < kPasses; ++pass) duck_onsets_.push_back(onset + static_cast<size_t>(pass) * loop_);
}

void Song::line(double beat, const std::string& notes, const Voice& voice, const Send& send, double gate,
                int transpose) {
    const double step_s = seconds_per_beat() / 4.0;
    for (const StepNote& n : parse_line(notes)) {
        add(beat + n.step / 4.0, voice(n.midi + transpose, n.length * step_s * gate, next_seed()), send);
    }
}

void Song::rhythm(double beat, const std::string& steps, const std::function<int(char)>& pitch,
                  const Voice& voice, const Send& send, double gate) {
    const double step_s = seconds_per_beat() / 4.0;
    for (size_t i = 0; i < steps.size(); ++i) {
        const char c = steps[i];
        if (!std::isalpha(static_cast<unsigned char>(c))) continue;
        size_t len = 1;
        while (i + len < steps.size() && steps[i + len] == '-') ++len;
        add(beat + static_cast<double>(i) / 4.0,
            voice(pitch(c), static_cast<double>(len) * step_s * gate, next_seed()), send);
    }
}

void Song::hits(double beat, const std::string& pattern, const Hit& hit, const Send& send) {
    const std::vector<double> v = parse_hits(pattern);
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] > 0.0) add(beat + static_cast<double>(i) / 4.0, hit(v[i], next_seed()), send);
    }
}

Stereo Song::finish(const MasterSettings& m) {
    const size_t total = kPasses * loop_;
    Stereo mix(total);

    // Ping-pong delay: the send enters on the left and bounces across,
    // darker on every repeat; a little of it feeds the reverb.
    const size_t d = static_cast<size_t>(std::llround(m.delay_beats * seconds_per_beat() * kRate));
    DelayLine left(d), right(d);
    OnePole damp_l, damp_r;
    for (size_t i = 0; i < total; ++i) {
        const float yl = left.tap(d), yr = right.tap(d);
        left.push(delay_send_[i] + static_cast<float>(m.delay_feedback) * damp_r.lowpass(yr, 3500.0));
        right.push(static_cast<float>(m.delay_feedback) * damp_l.lowpass(yl, 3500.0));
        mix.l[i] += yl;
        mix.r[i] += yr;
        reverb_send_[i] += 0.25f * (yl + yr);
    }

    Reverb reverb(0.8, 0.5);
    OnePole rumble;
    for (size_t i = 0; i < total; ++i) {
        float ol, orr;
        reverb.run(rumble.highpass(reverb_send_[i], 180.0), ol, orr);
        mix.l[i] += static_cast<float>(3.0 * m.reverb_wet * ol);
        mix.r[i] += static_cast<float>(3.0 * m.reverb_wet * orr);
    }

    Mono duck(total, 1.0f);
    const size_t span = seconds(0.27);
    for (size_t onset : duck_onsets_) {
        for (size_t j = 0; j < span && onset + j < total; ++j) {
            const double g = 1.0 - m.duck_depth * duck_shape(static_cast<double>(j) / kRate);
            duck[onset + j] = std::min(duck[onset + j], static_cast<float>(g));
        }
    }
    OnePole dc_l, dc_r;
    for (size_t i = 0; i < total; ++i) {
        mix.l[i] = dc_l.highpass(mix.l[i] + dry_.l[i] + ducked_.l[i] * duck[i], 18.0);
        mix.r[i] = dc_r.highpass(mix.r[i] + dry_.r[i] + ducked_.r[i] * duck[i], 18.0);
    }

    // Find the gain that puts the limited middle pass at the wanted loudness.
    const double target = db_to_gain(m.rms_db);
    const double ceiling = db_to_gain(m.ceiling_db);
    double gain = target / std::max(1e-9, rms_of(mix, loop_, 2 * loop_));
    Stereo out;
    for (int iter = 0; iter < 8; ++iter) {
        out = limit(mix, gain, ceiling);
        gain *= target / rms_of(out, loop_, 2 * loop_);
    }
    out = limit(mix, gain, ceiling);

    Stereo loop(loop_);
    std::copy(out.l.begin() + static_cast<long>(loop_), out.l.begin() + static_cast<long>(2 * loop_), loop.l.begin());
    std::copy(out.r.begin() + static_cast<long>(loop_), out.r.begin() + static_cast<long>(2 * loop_), loop.r.begin());
    return loop;
}

int note_number(const std::string& name) {
    static const int base[7] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    if (name.empty() || name[0] < 'a' || name[0] > 'g') throw std::runtime_error("bad note: " + name);
    int n = base[name[0] - 'a'];
    size_t i = 1;
    for (; i < name.size() && (name[i] == '#' || name[i] == 'b'); ++i) n += name[i] == '#' ? 1 : -1;
    const int octave = std::stoi(name.substr(i));
    return 12 * (octave + 1) + n;
}

std::vector<StepNote> parse_line(const std::string& line) {
    std::istringstream in(line);
    std::vector<StepNote> notes;
    std::string tok;
    int step = 0;
    bool holding = false;
    while (in >> tok) {
        if (tok == "|") continue;
        if (tok == "-") {
            if (holding) ++notes.back().length;
        } else if (tok == ".") {
            holding = false;
        } else {
            notes.push_back({step, 1, note_number(tok)});
            holding = true;
        }
        ++step;
    }
    return notes;
}

std::vector<double> parse_hits(const std::string& pattern) {
    std::vector<double> v;
    for (char c : pattern) {
        if (c == ' ' || c == '|') continue;
        v.push_back(c == 'X' ? 1.0 : c == 'x' ? 0.8 : c == 'o' ? 0.45 : 0.0);
    }
    return v;
}

int chord_root(const std::string& name, int octave) {
    std::string lower(1, static_cast<char>(name[0] - 'A' + 'a'));
    size_t i = 1;
    if (i < name.size() && (name[i] == '#' || name[i] == 'b')) lower += name[i++];
    return note_number(lower + std::to_string(octave));
}

std::vector<int> chord_tones(const std::string& name, int octave) {
    const int root = chord_root(name, octave);
    size_t i = 1;
    if (i < name.size() && (name[i] == '#' || name[i] == 'b')) ++i;
    const std::string kind = name.substr(i);
    std::vector<int> iv;
    if (kind.empty()) iv = {0, 4, 7};
    else if (kind == "m") iv = {0, 3, 7};
    else if (kind == "7") iv = {0, 4, 7, 10};
    else if (kind == "m7") iv = {0, 3, 7, 10};
    else if (kind == "maj7") iv = {0, 4, 7, 11};
    else if (kind == "sus2") iv = {0, 2, 7};
    else if (kind == "sus4") iv = {0, 5, 7};
    else throw std::runtime_error("bad chord: " + name);
    for (int& v : iv) v += root;
    return iv;
}

std::vector<int> voicing(const std::string& name, int low) {
    std::vector<int> tones = chord_tones(name, 4);
    for (int& t : tones) t = low + ((t - low) % 12 + 12) % 12;
    std::sort(tones.begin(), tones.end());
    return tones;
}

}  // namespace snd
