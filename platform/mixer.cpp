#include "platform/mixer.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace {

constexpr int kSlotMask = 4095;
constexpr int kChunk = 1024;  // frames mixed per pass over the table

// The part of a slot that both threads see, only under MixerState::lock.
struct MixSlot {
    const SampleData* data = nullptr;  // owned by GameSlot::data
    int status = 0;
    int volume = 4096;
    int pan = 0;
    int depth = 0;
    int rate = 65536;
    int64_t pos = 0;  // 16.16 frame index
    int64_t laps = 0;  // times a loop came round (a stream counts its frames over them)
    // Grows whenever the game thread moves pos or changes the sound, so that a mixing
    // pass that started before does not write back a position from the old sound.
    uint32_t serial = 0;
};

// The part of a slot that only the game thread touches.
struct GameSlot {
    int handle = 0;  // 0 while the slot is free
    int generation = 0;
    bool owned = false;
    SamplePtr data;
};

// A playing slot as one mixing pass sees it, copied out of the table under the lock.
struct Voice {
    int slot;
    uint32_t serial;
    const SampleData* data;
    int gain_left;
    int gain_right;
    int64_t step;
    int64_t pos;
    int64_t laps;
    bool ended;
};

struct MixerState {
    std::mutex lock;
    MixSlot mix[kMixerSlots + 1];
    int top = 0;                  // highest slot index ever handed out
    uint64_t passes_started = 0;  // a pass is running while these differ
    uint64_t passes_finished = 0;

    GameSlot game[kMixerSlots + 1];
    std::vector<int> free_slots;  // a stack, lowest index on top
    std::vector<int> orphans;     // released handles whose sound still plays
    // Sample memory a running pass may still read, with the pass count it waits for.
    std::vector<std::pair<SamplePtr, uint64_t>> retired;

    std::atomic<bool> wait_for_streams{false};

    // Scratch of the mixing thread.
    Voice voices[kMixerSlots];
    int32_t acc[2 * kChunk];

    MixerState() { RefillFreeSlots(); }

    void RefillFreeSlots() {
        free_slots.clear();
        for (int s = kMixerSlots; s >= 1; --s) {
            if (game[s].handle == 0) free_slots.push_back(s);
        }
    }
};

// Never destroyed: channel objects owned by the game's globals release their handles
// while the program exits, after this file's statics would have gone.
MixerState& mixer() {
    static MixerState* state = new MixerState;
    return *state;
}

GameSlot* Lookup(int handle) {
    int slot = handle & kSlotMask;
    if (handle == 0 || slot == 0) return nullptr;
    GameSlot& g = mixer().game[slot];
    return g.handle == handle ? &g : nullptr;
}

// Keeps sample memory alive until no mixing pass that might read it is running.
void Retire(SamplePtr data, uint64_t started, uint64_t finished) {
    if (!data) return;
    if (started != finished) mixer().retired.emplace_back(std::move(data), started);
}

void FreeSlot(int slot) {
    MixerState& m = mixer();
    uint64_t started, finished;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        MixSlot& s = m.mix[slot];
        s.data = nullptr;
        s.status = 0;
        s.serial++;
        started = m.passes_started;
        finished = m.passes_finished;
    }
    GameSlot& g = m.game[slot];
    Retire(std::move(g.data), started, finished);
    g.handle = 0;
    g.owned = false;
    m.free_slots.push_back(slot);
}

int ReadStatus(int slot) {
    std::lock_guard<std::mutex> hold(mixer().lock);
    return mixer().mix[slot].status;
}

template <typename Fn>
void Update(int handle, Fn fn) {
    if (!Lookup(handle)) return;
    std::lock_guard<std::mutex> hold(mixer().lock);
    fn(mixer().mix[handle & kSlotMask]);
}

inline int Sample(const int16_t* p) { return *p; }
inline int Sample(const uint8_t* p) { return (int(*p) - 128) * 256; }

// Linear interpolation between the two source samples around the 16.16 position.
inline int Lerp(int a, int b, int frac) {
    return a + int((int64_t(b - a) * frac) >> 16);
}

// Adds one voice into the accumulator; true when a single-shot sound reached its end.
// frames_at(i, j) gives the source frames i and j of the current lap (j is 0 at a
// loop's seam, meaning the next lap's first frame).
template <typename T, int C, typename FramesAt>
bool MixFrames(Voice& v, int32_t* acc, int frames, FramesAt frames_at) {
    const int64_t len = v.data->frames;
    const int64_t end = len << 16;
    const bool loop = v.data->loop;
    int64_t pos = v.pos;
    for (int f = 0; f < frames; ++f) {
        const int64_t i = pos >> 16;
        const int frac = int(pos & 0xffff);
        // A loop interpolates across its seam; a single shot holds its last sample.
        const int64_t j = i + 1 < len ? i + 1 : (loop ? 0 : i);
        const auto [a, b] = frames_at(i, j);
        const int left = Lerp(Sample(a), Sample(b), frac);
        const int right = C == 2 ? Lerp(Sample(a + 1), Sample(b + 1), frac) : left;
        acc[2 * f] += int32_t((int64_t(left) * v.gain_left) >> 12);
        acc[2 * f + 1] += int32_t((int64_t(right) * v.gain_right) >> 12);
        pos += v.step;
        if (pos >= end) {
            if (!loop) {
                v.pos = pos;
                return true;
            }
            pos %= end;
            v.laps++;
        }
    }
    v.pos = pos;
    return false;
}

template <typename T, int C>
bool MixVoice(Voice& v, const T* src, int32_t* acc, int frames) {
    return MixFrames<T, C>(v, acc, frames, [src](int64_t i, int64_t j) {
        return std::pair<const T*, const T*>(src + i * C, src + j * C);
    });
}

// A streamed frame: from the ring once decoded. A frame not decoded yet is waited for
// when the mixer may wait, and heard as silence when it may not.
const int16_t* StreamFrame(StreamRing& s, int64_t f) {
    static const int16_t kSilence[2] = {0, 0};
    if (f < s.written.load(std::memory_order_acquire)) return s.frame(f);
    if (mixer().wait_for_streams.load(std::memory_order_relaxed)) {
        std::unique_lock<std::mutex> hold(s.lock);
        s.moved.notify_all();
        s.moved.wait(hold, [&] { return f < s.written.load(std::memory_order_acquire); });
        return s.frame(f);
    }
    s.missed.fetch_add(1, std::memory_order_relaxed);
    return kSilence;
}

// A streamed sound: frame i of lap `laps` is frame laps * len + i of the stream, and a
// loop's seam reads on into the next lap.
template <int C>
bool MixStreamVoice(Voice& v, int32_t* acc, int frames) {
    StreamRing& s = *v.data->stream;
    const int64_t len = v.data->frames;
    bool ended = MixFrames<int16_t, C>(v, acc, frames, [&s, &v, len](int64_t i, int64_t j) {
        const int64_t at = v.laps * len + i;
        return std::pair<const int16_t*, const int16_t*>(StreamFrame(s, at), StreamFrame(s, j < i ? at + 1 : at + (j - i)));
    });
    s.needed.store(v.laps * len + std::min(v.pos >> 16, len), std::memory_order_release);
    s.moved.notify_all();
    return ended;
}

bool MixVoice(Voice& v, int32_t* acc, int frames) {
    const SampleData& d = *v.data;
    if (d.stream) return d.channels == 2 ? MixStreamVoice<2>(v, acc, frames) : MixStreamVoice<1>(v, acc, frames);
    if (d.bits == 8) {
        return d.channels == 2 ? MixVoice<uint8_t, 2>(v, d.s8.data(), acc, frames)
                               : MixVoice<uint8_t, 1>(v, d.s8.data(), acc, frames);
    }
    return d.channels == 2 ? MixVoice<int16_t, 2>(v, d.s16.data(), acc, frames)
                           : MixVoice<int16_t, 1>(v, d.s16.data(), acc, frames);
}

bool AdvanceVoice(Voice& v, int64_t frames) {
    const int64_t end = v.data->frames << 16;
    v.pos += v.step * frames;
    bool ended = false;
    if (v.pos >= end) {
        if (v.data->loop) {
            v.laps += v.pos / end;
            v.pos %= end;
        } else {
            ended = true;
        }
    }
    // A stream moved on unheard: its decoder skips what nobody will hear.
    if (StreamRing* s = v.data->stream.get()) {
        s->needed.store(v.laps * v.data->frames + std::min(v.pos >> 16, v.data->frames), std::memory_order_release);
        s->moved.notify_all();
    }
    return ended;
}

// Copies the playing slots out of the table. Returns the number of voices.
int BeginPass() {
    MixerState& m = mixer();
    std::lock_guard<std::mutex> hold(m.lock);
    m.passes_started++;
    int n = 0;
    for (int s = 1; s <= m.top; ++s) {
        const MixSlot& slot = m.mix[s];
        if (!slot.data || slot.status == 0 || (slot.status & kStatusPaused)) continue;
        Voice& v = m.voices[n++];
        v.slot = s;
        v.serial = slot.serial;
        v.data = slot.data;
        // Pan keeps the louder side at full volume.
        v.gain_left = slot.pan > 0 ? slot.volume * (4096 - slot.pan) / 4096 : slot.volume;
        v.gain_right = slot.pan < 0 ? slot.volume * (4096 + slot.pan) / 4096 : slot.volume;
        v.step = int64_t(slot.rate) * slot.data->rate / kMixerRate;
        v.pos = slot.pos;
        v.laps = slot.laps;
        v.ended = false;
    }
    return n;
}

void EndPass(int voices) {
    MixerState& m = mixer();
    std::lock_guard<std::mutex> hold(m.lock);
    for (int k = 0; k < voices; ++k) {
        const Voice& v = m.voices[k];
        MixSlot& slot = m.mix[v.slot];
        if (slot.serial != v.serial) continue;
        slot.pos = v.pos;
        slot.laps = v.laps;
        if (v.ended) slot.status = 0;
    }
    m.passes_finished++;
}

}  // namespace

int MixerAlloc() {
    MixerCollect();
    MixerState& m = mixer();
    if (m.free_slots.empty()) return 0;
    int slot = m.free_slots.back();
    m.free_slots.pop_back();
    GameSlot& g = m.game[slot];
    g.generation = int((unsigned(g.generation) + 4096u) & 0x7ffff000u);
    g.handle = g.generation | slot;
    g.owned = true;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        MixSlot& s = m.mix[slot];
        uint32_t serial = s.serial + 1;
        s = MixSlot{};
        s.serial = serial;
        m.top = std::max(m.top, slot);
    }
    return g.handle;
}

bool MixerValid(int handle) { return Lookup(handle) != nullptr; }

void MixerCue(int handle, SamplePtr sample, bool paused) {
    GameSlot* g = Lookup(handle);
    if (!g || !sample || sample->frames <= 0) return;
    MixerState& m = mixer();
    uint64_t started, finished;
    {
        std::lock_guard<std::mutex> hold(m.lock);
        MixSlot& s = m.mix[handle & kSlotMask];
        s.data = sample.get();
        s.status = (sample->loop ? kStatusLoop : kStatusSingle) | (paused ? kStatusPaused : 0);
        s.pos = 0;
        s.laps = 0;
        s.serial++;
        started = m.passes_started;
        finished = m.passes_finished;
    }
    Retire(std::exchange(g->data, std::move(sample)), started, finished);
}

namespace {

int Fixed(float value, float lo, float hi, float one) {
    if (!(value > lo)) value = lo;  // NaN lands here too
    if (value > hi) value = hi;
    return int(value * one);
}

}  // namespace

void MixerSetVolume(int handle, float volume) {
    int v = Fixed(volume, 0.0f, 4.0f, 4096.0f);
    Update(handle, [v](MixSlot& s) { s.volume = v; });
}

void MixerSetPan(int handle, float pan) {
    int p = Fixed(pan, -1.0f, 1.0f, 4096.0f);
    Update(handle, [p](MixSlot& s) { s.pan = p; });
}

void MixerSetDepth(int handle, float depth) {
    int d = Fixed(depth, -1.0f, 1.0f, 4096.0f);
    Update(handle, [d](MixSlot& s) { s.depth = d; });
}

void MixerSetRate(int handle, float rate) {
    int r = Fixed(rate, 0.0f, 64.0f, 65536.0f);
    Update(handle, [r](MixSlot& s) { s.rate = r; });
}

void MixerSetPaused(int handle, bool paused) {
    Update(handle, [paused](MixSlot& s) {
        if (s.status == 0) return;
        s.status = paused ? (s.status | kStatusPaused) : (s.status & ~kStatusPaused);
    });
}

void MixerStop(int handle) {
    if (Lookup(handle)) FreeSlot(handle & kSlotMask);
}

void MixerRelease(int handle) {
    GameSlot* g = Lookup(handle);
    if (!g || !g->owned) return;
    g->owned = false;
    int status = ReadStatus(handle & kSlotMask);
    if (status != 0 && !(status & kStatusPaused)) {
        mixer().orphans.push_back(handle);
    } else {
        FreeSlot(handle & kSlotMask);
    }
}

int MixerStatus(int handle) {
    if (!Lookup(handle)) return 0;
    return ReadStatus(handle & kSlotMask);
}

void MixerCollect() {
    MixerState& m = mixer();
    if (!m.retired.empty()) {
        uint64_t finished;
        {
            std::lock_guard<std::mutex> hold(m.lock);
            finished = m.passes_finished;
        }
        std::erase_if(m.retired, [finished](const auto& r) { return r.second <= finished; });
    }
    std::erase_if(m.orphans, [](int handle) {
        GameSlot* g = Lookup(handle);
        if (!g || g->owned) return true;
        int status = ReadStatus(handle & kSlotMask);
        if (status != 0 && !(status & kStatusPaused)) return false;
        FreeSlot(handle & kSlotMask);
        return true;
    });
}

int MixerFreeSlots() { return int(mixer().free_slots.size()); }

void MixerMix(int16_t* out, int frames) {
    MixerState& m = mixer();
    while (frames > 0) {
        const int n = std::min(frames, kChunk);
        const int voices = BeginPass();
        std::fill(m.acc, m.acc + 2 * n, 0);
        for (int k = 0; k < voices; ++k) m.voices[k].ended = MixVoice(m.voices[k], m.acc, n);
        EndPass(voices);
        for (int i = 0; i < 2 * n; ++i) out[i] = int16_t(std::clamp(m.acc[i], -32768, 32767));
        out += 2 * n;
        frames -= n;
    }
}

void MixerAdvance(int64_t frames) {
    if (frames <= 0) return;
    MixerState& m = mixer();
    const int voices = BeginPass();
    for (int k = 0; k < voices; ++k) m.voices[k].ended = AdvanceVoice(m.voices[k], frames);
    EndPass(voices);
}

void MixerReset() {
    MixerState& m = mixer();
    for (int s = 1; s <= kMixerSlots; ++s) {
        if (m.game[s].handle != 0) FreeSlot(s);
    }
    m.orphans.clear();
    m.RefillFreeSlots();
    MixerCollect();
}

void MixerWaitForStreams(bool wait) { mixer().wait_for_streams.store(wait, std::memory_order_relaxed); }

bool MixerWaitsForStreams() { return mixer().wait_for_streams.load(std::memory_order_relaxed); }
