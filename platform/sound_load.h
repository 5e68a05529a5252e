#pragma once
// Sound file decoding: OGG Vorbis (through libvorbisfile) and PCM WAV, decoded in full.
#include <atomic>
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
