#pragma once
// The software mixer: a table of 4095 channel slots that the game thread fills and the
// audio thread mixes into 44100 Hz stereo 16-bit frames. Every function here belongs to
// the game thread except MixerMix, which the audio thread calls. The two meet only in
// short lock-protected field updates; sample memory is released on the game thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int kMixerRate = 44100;
constexpr int kMixerSlots = 4095;

// Status bits of a slot; 0 means free or stopped.
constexpr int kStatusSingle = 2;
constexpr int kStatusLoop = 4;
constexpr int kStatusPaused = 16;

// Frames a stream keeps decoded ahead of the mixer: about three seconds.
constexpr int64_t kStreamFrames = 1 << 17;

// A long sound decoded while it plays, in a ring of 16-bit frames that a decoder thread
// fills ahead of the mixer. Frames are counted from the sound's start over every lap of
// a loop: frame f sits at f % kStreamFrames. The decoder writes a frame only when the
// mixer no longer needs the one it replaces; the mixer reads only frames written.
struct StreamRing {
    explicit StreamRing(int channels) : channels(channels), ring(size_t(kStreamFrames) * size_t(channels)) {}
    const int channels;
    std::vector<int16_t> ring;
    std::atomic<int64_t> written{0};  // frames decoded so far
    std::atomic<int64_t> needed{0};   // the mixer reads no frame before this one any more
    std::atomic<int64_t> missed{0};   // frames the mixer found not yet decoded, heard as silence
    // The decoder sleeps on this until the mixer has read on, and the mixer (when it may
    // wait) until the decoder has written on.
    std::mutex lock;
    std::condition_variable moved;

    const int16_t* frame(int64_t f) const { return ring.data() + size_t(f % kStreamFrames) * size_t(channels); }
};

// A sound: interleaved frames of 16-bit signed (s16) or 8-bit unsigned (s8) samples at
// the sound's own rate, decoded in full, or (with `stream`) decoded while it plays.
struct SampleData {
    int rate = kMixerRate;
    int channels = 1;  // 1 or 2
    int bits = 16;     // 16 or 8
    int64_t frames = 0;
    bool loop = false;
    std::vector<int16_t> s16;
    std::vector<uint8_t> s8;
    // A sound to stream: its file, kept encoded, or only the file's path when it came
    // from one (a track is read from disk as it plays, not held in memory); each time it
    // is cued it is decoded anew into a ring of its own (`stream`), and `keep` holds what
    // fills that ring.
    std::shared_ptr<const std::vector<uint8_t>> encoded;
    std::string file;
    bool streamed() const { return encoded || !file.empty(); }
    std::shared_ptr<StreamRing> stream;
    std::shared_ptr<void> keep;
};
using SamplePtr = std::shared_ptr<const SampleData>;

// Hands out a free slot: its index in the low 12 bits, the slot's generation (grown by
// 4096 on every hand-out) above. 0 when every slot is in use. Volume 1, centre, rate 1.
int MixerAlloc();
// True while the handle's slot is still handed out to it.
bool MixerValid(int handle);
// Puts the sample on the slot from its start, single-shot or looping by its loop flag.
// A sample with no frames is refused.
void MixerCue(int handle, SamplePtr sample, bool paused);
// Parameters are kept in fixed point: volume, pan and depth in 1/4096 (truncated),
// rate in 16.16. Volume is held to 0 .. 4 and rate to 0 .. 64.
void MixerSetVolume(int handle, float volume);
void MixerSetPan(int handle, float pan);
void MixerSetDepth(int handle, float depth);
void MixerSetRate(int handle, float rate);
// Pausing a stopped slot does nothing; resuming a cued one starts it.
void MixerSetPaused(int handle, bool paused);
// Silences the slot and frees it at once.
void MixerStop(int handle);
// The handle's owner is gone: a sound that is playing plays on to its end and the slot is
// freed then (a looping one keeps its slot); an idle or paused slot is freed at once.
void MixerRelease(int handle);
// Status bits of the handle's slot, 0 for a stale handle.
int MixerStatus(int handle);
// Frees the slots of released sounds that have ended and drops sample memory that the
// audio thread no longer reads. The other calls do this too when they need a slot.
void MixerCollect();
// Number of slots not handed out.
int MixerFreeSlots();

// Mixes the next frames of every playing slot into out (interleaved left, right), summed
// in 32 bits and clipped once. Audio thread; only one thread may mix at a time.
void MixerMix(int16_t* out, int frames);
// Moves every playing slot on by frames without producing output, so that sounds still
// end on time when nothing is heard. Game thread, never while a device is mixing.
void MixerAdvance(int64_t frames);

// Stops and frees every slot. Generations carry on, so handles from before stay stale.
void MixerReset();
// Whether the mixer waits for a stream's decoder when a frame is not decoded yet (a
// recording that must come out the same every time), or plays silence for it (a device
// in real time, which must not stall).
void MixerWaitForStreams(bool wait);
bool MixerWaitsForStreams();
