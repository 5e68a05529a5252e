#pragma once
// Sound file decoding: OGG Vorbis (through libvorbisfile) and PCM WAV, decoded in full,
// or for a long OGG Vorbis sound, decoded into a ring as it plays (StreamDecoder).
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/mixer.h"

// The longest sound the game takes, and the highest sample rate. A file claiming more
// is refused before anything is decoded; one that holds more than it claims is refused
// as soon as the decoder passes the limit, so a file can never make the game allocate
// more than ten minutes of sound.
constexpr int kMaxSoundSeconds = 600;
constexpr int kMaxSoundRate = 192000;

// Decodes the bytes of an OGG Vorbis or WAV file, recognised by content. OGG gives 16-bit
// samples, WAV keeps its 8 or 16 bits; both keep the file's channels (mono or stereo) and
// rate. The loop flag is left clear. nullptr for an unknown format, a file that cannot be
// decoded, or one that holds no samples.
std::shared_ptr<SampleData> DecodeSound(const std::vector<uint8_t>& bytes);
// As above; when it gives nullptr, *why says what is wrong in a few words for a message
// ("empty", "damaged", "6 channels", "longer than 10 minutes" ...). When stop turns true
// decoding ends early with nullptr and "stopped".
std::shared_ptr<SampleData> DecodeSound(const std::vector<uint8_t>& bytes, std::string* why,
                                        const std::atomic<bool>* stop = nullptr);

// An OGG Vorbis sound longer than this is not kept decoded: DecodeStreamed reads it
// through once (every check as for DecodeSound, and its exact length) and keeps only
// the file, to be decoded again while it plays.
constexpr int64_t kStreamAfterFrames = int64_t(10) * kMixerRate;
// As DecodeSound, but a long OGG Vorbis sound comes back with `encoded` set and no
// samples: a sound to stream.
std::shared_ptr<SampleData> DecodeStreamed(std::shared_ptr<const std::vector<uint8_t>> bytes, std::string* why,
                                           const std::atomic<bool>* stop = nullptr);

// Decodes a streamed sound into its ring, a block at a time, ahead of the mixer; at the
// end of the file a looping sound starts over from its beginning. Used by one thread.
class StreamDecoder {
public:
    StreamDecoder(std::shared_ptr<const std::vector<uint8_t>> bytes, std::shared_ptr<StreamRing> ring, int64_t frames,
                  bool loop);
    // The same, read from a file on disk as it plays: nothing of it is kept in memory.
    StreamDecoder(std::string path, std::shared_ptr<StreamRing> ring, int64_t frames, bool loop);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Decodes what the ring has room for. True if it wrote anything. A decoding error
    // puts "damaged part-way" in *problem (once), a file that can no longer be opened
    // "can no longer be read", and the sound is silent from there on.
    bool Fill(std::string* problem, int64_t most = INT64_MAX);
    // Nothing more will ever be written (a single shot decoded to its end).
    bool Done() const { return done_; }
    // Frames the ring has room for now (those the mixer has passed).
    int64_t Room() const;

private:
    bool Open();
    void Fail(std::string* problem, const char* why);
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    std::string path_;  // instead of bytes_
    std::shared_ptr<StreamRing> ring_;
    int64_t frames_;  // per lap
    bool loop_;
    struct File;
    std::unique_ptr<File> file_;
    int64_t lap_frames_ = 0;  // frames of the current lap written
    bool failed_ = false;
    bool done_ = false;
};
