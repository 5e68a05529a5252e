#include "platform/sound_load.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

namespace {

// libvorbisfile reads the file from memory through these callbacks.
struct MemoryFile {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

size_t MemRead(void* ptr, size_t size, size_t count, void* source) {
    auto* f = static_cast<MemoryFile*>(source);
    if (size == 0) return 0;
    size_t n = std::min(count, (f->size - f->pos) / size);
    std::memcpy(ptr, f->data + f->pos, n * size);
    f->pos += n * size;
    return n;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(source);
    ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? ogg_int64_t(f->pos) : ogg_int64_t(f->size);
    ogg_int64_t to = base + offset;
    if (to < 0 || to > ogg_int64_t(f->size)) return -1;
    f->pos = size_t(to);
    return 0;
}

long MemTell(void* source) { return long(static_cast<MemoryFile*>(source)->pos); }

const char* const kTooLong = "longer than 10 minutes";
static_assert(kMaxSoundSeconds == 600, "the message says ten minutes");

std::string ChannelsWhy(int channels) { return std::to_string(channels) + " channels (1 or 2 play)"; }

bool RateOk(long rate) { return rate > 0 && rate <= kMaxSoundRate; }

std::string RateWhy(long rate) { return "a sample rate of " + std::to_string(rate) + " Hz"; }

int64_t MaxFrames(int rate) { return int64_t(kMaxSoundSeconds) * rate; }

std::shared_ptr<SampleData> DecodeOgg(const std::vector<uint8_t>& bytes, std::string* why,
                                      const std::atomic<bool>* stop, int64_t keep_frames = -1) {
    MemoryFile file{bytes.data(), bytes.size(), 0};
    ov_callbacks callbacks{MemRead, MemSeek, nullptr, MemTell};
    OggVorbis_File vf;
    if (ov_open_callbacks(&file, &vf, nullptr, 0, callbacks) < 0) {
        *why = "damaged";
        return nullptr;
    }
    auto sound = std::make_shared<SampleData>();
    const vorbis_info* info = ov_info(&vf, -1);
    if (!info) {
        *why = "damaged";
    } else if (info->channels != 1 && info->channels != 2) {
        *why = ChannelsWhy(info->channels);
    } else if (!RateOk(info->rate)) {
        *why = RateWhy(info->rate);
    } else if (ov_pcm_total(&vf, -1) > MaxFrames(int(info->rate))) {
        // The claim is only believed when it says no; nothing is set aside for it.
        *why = kTooLong;
    } else {
        sound->channels = info->channels;
        sound->rate = int(info->rate);
    }
    const size_t max_samples = size_t(MaxFrames(sound->rate)) * size_t(sound->channels);
    const int big_endian = std::endian::native == std::endian::big ? 1 : 0;
    int16_t buffer[8192];
    int64_t counted = 0;  // samples decoded
    bool streamed = false;
    while (why->empty()) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            *why = "stopped";
            break;
        }
        int section = 0;
        long got = ov_read(&vf, reinterpret_cast<char*>(buffer), sizeof buffer, big_endian, 2, 1, &section);
        if (got == 0) break;
        if (got == OV_HOLE) continue;  // a damaged page was skipped; decoding goes on
        if (got < 0) {
            *why = "damaged";
            break;
        }
        // Chained streams must keep the format of the first.
        const vorbis_info* link = ov_info(&vf, section);
        if (!link || link->channels != sound->channels || link->rate != sound->rate) {
            *why = "changes format part-way";
            break;
        }
        if (size_t(counted) + size_t(got / 2) > max_samples) {
            *why = kTooLong;
            break;
        }
        counted += got / 2;
        // A long sound is only counted from here on: it will be streamed.
        if (keep_frames >= 0 && counted > keep_frames * sound->channels) {
            std::vector<int16_t>().swap(sound->s16);
            streamed = true;
        }
        if (!streamed) sound->s16.insert(sound->s16.end(), buffer, buffer + got / 2);
    }
    ov_clear(&vf);
    if (!why->empty()) return nullptr;
    sound->bits = 16;
    sound->frames = int64_t(counted) / sound->channels;
    if (streamed) {
        sound->s16.clear();
        return sound->frames == 0 ? nullptr : sound;
    }
    sound->s16.resize(size_t(sound->frames) * size_t(sound->channels));
    sound->s16.shrink_to_fit();
    if (sound->frames == 0) {
        *why = "holds no sound";
        return nullptr;
    }
    return sound;
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

std::shared_ptr<SampleData> DecodeWav(const std::vector<uint8_t>& bytes, std::string* why) {
    const uint8_t* fmt = nullptr;
    size_t fmt_size = 0;
    const uint8_t* data = nullptr;
    size_t data_size = 0;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        uint64_t size = Le32(chunk + 4);
        size_t avail = bytes.size() - pos - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !fmt) {
            if (size > avail) {
                *why = "damaged";
                return nullptr;
            }
            fmt = chunk + 8;
            fmt_size = size_t(size);
        } else if (std::memcmp(chunk, "data", 4) == 0 && !data) {
            // Writers that stream often leave the size too large: take what is there.
            data = chunk + 8;
            data_size = size_t(std::min<uint64_t>(size, avail));
        }
        pos += 8 + size_t(std::min<uint64_t>(size + (size & 1), avail + 1));
    }
    if (!fmt || !data || fmt_size < 16) {
        *why = "damaged";
        return nullptr;
    }

    int format = Le16(fmt);
    const int kPcm = 1, kExtensible = 0xFFFE;
    if (format == kExtensible) {
        // The sub-format GUID starts with the plain format code.
        if (fmt_size < 40) {
            *why = "damaged";
            return nullptr;
        }
        format = Le16(fmt + 24);
    }
    auto sound = std::make_shared<SampleData>();
    sound->channels = Le16(fmt + 2);
    uint32_t rate = Le32(fmt + 4);
    sound->bits = Le16(fmt + 14);
    if (format != kPcm || (sound->bits != 8 && sound->bits != 16)) {
        *why = "not 8- or 16-bit PCM";
        return nullptr;
    }
    if (sound->channels != 1 && sound->channels != 2) {
        *why = ChannelsWhy(sound->channels);
        return nullptr;
    }
    if (!RateOk(long(rate))) {
        *why = RateWhy(long(rate));
        return nullptr;
    }
    sound->rate = int(rate);
    const size_t frame_bytes = size_t(sound->channels) * size_t(sound->bits / 8);
    sound->frames = int64_t(data_size / frame_bytes);
    if (sound->frames == 0) {
        *why = "holds no sound";
        return nullptr;
    }
    if (sound->frames > MaxFrames(sound->rate)) {
        *why = kTooLong;
        return nullptr;
    }
    const size_t samples = size_t(sound->frames) * size_t(sound->channels);
    if (sound->bits == 8) {
        sound->s8.assign(data, data + samples);
    } else {
        sound->s16.resize(samples);
        for (size_t i = 0; i < samples; ++i) sound->s16[i] = int16_t(Le16(data + 2 * i));
    }
    return sound;
}

}  // namespace

std::shared_ptr<SampleData> DecodeSound(const std::vector<uint8_t>& bytes) {
    std::string why;
    return DecodeSound(bytes, &why);
}

std::shared_ptr<SampleData> DecodeSound(const std::vector<uint8_t>& bytes, std::string* why,
                                        const std::atomic<bool>* stop) {
    why->clear();
    if (bytes.empty()) {
        *why = "empty";
        return nullptr;
    }
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "OggS", 4) == 0) return DecodeOgg(bytes, why, stop);
    if (bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
        std::memcmp(bytes.data() + 8, "WAVE", 4) == 0) {
        return DecodeWav(bytes, why);
    }
    *why = "not an OGG Vorbis or WAV file";
    return nullptr;
}

std::shared_ptr<SampleData> DecodeStreamed(std::shared_ptr<const std::vector<uint8_t>> bytes, std::string* why,
                                           const std::atomic<bool>* stop) {
    why->clear();
    if (!bytes || bytes->size() < 4 || std::memcmp(bytes->data(), "OggS", 4) != 0) {
        return bytes ? DecodeSound(*bytes, why, stop) : nullptr;
    }
    std::shared_ptr<SampleData> sound = DecodeOgg(*bytes, why, stop, kStreamAfterFrames);
    if (sound && sound->s16.empty()) sound->encoded = std::move(bytes);
    return sound;
}

struct StreamDecoder::File {
    MemoryFile memory;
    OggVorbis_File vf;
};

StreamDecoder::StreamDecoder(std::shared_ptr<const std::vector<uint8_t>> bytes, std::shared_ptr<StreamRing> ring,
                             int64_t frames, bool loop)
    : bytes_(std::move(bytes)), ring_(std::move(ring)), frames_(frames), loop_(loop) {}

StreamDecoder::StreamDecoder(std::string path, std::shared_ptr<StreamRing> ring, int64_t frames, bool loop)
    : path_(std::move(path)), ring_(std::move(ring)), frames_(frames), loop_(loop) {}

StreamDecoder::~StreamDecoder() {
    if (file_) ov_clear(&file_->vf);
}

bool StreamDecoder::Open() {
    if (file_) ov_clear(&file_->vf);
    file_ = std::make_unique<File>();
    bool opened;
    if (bytes_) {
        file_->memory = MemoryFile{bytes_->data(), bytes_->size(), 0};
        ov_callbacks callbacks{MemRead, MemSeek, nullptr, MemTell};
        opened = ov_open_callbacks(&file_->memory, &file_->vf, nullptr, 0, callbacks) >= 0;
    } else {
        opened = ov_fopen(path_.c_str(), &file_->vf) >= 0;
    }
    if (!opened) {
        file_.reset();
        return false;
    }
    lap_frames_ = 0;
    return true;
}

int64_t StreamDecoder::Room() const {
    const StreamRing& r = *ring_;
    return r.needed.load(std::memory_order_acquire) + kStreamFrames - r.written.load(std::memory_order_acquire);
}

void StreamDecoder::Fail(std::string* problem, const char* why) {
    failed_ = true;
    if (problem && problem->empty()) *problem = why;
}

bool StreamDecoder::Fill(std::string* problem, int64_t most) {
    StreamRing& r = *ring_;
    const int c = r.channels;
    const int big_endian = std::endian::native == std::endian::big ? 1 : 0;
    bool wrote = false;
    int16_t buffer[4096];
    while (!done_) {
        const int64_t written = r.written.load(std::memory_order_acquire);
        const int64_t needed = r.needed.load(std::memory_order_acquire);
        // Frames the mixer has already passed are decoded and thrown away.
        const int64_t room = std::min(needed + kStreamFrames - written, most);
        if (room <= 0) break;
        int64_t want = std::min<int64_t>(room, int64_t(sizeof buffer / sizeof buffer[0]) / c);
        int64_t lap_left = frames_ - lap_frames_;
        if (lap_left == 0) {
            if (!loop_) {
                done_ = true;
                break;
            }
            if (!failed_ && !Open()) Fail(problem, "can no longer be read");
            lap_frames_ = 0;
            lap_left = frames_;
        }
        want = std::min(want, lap_left);
        long got = 0;
        if (!failed_ && !file_ && !Open()) Fail(problem, "can no longer be read");
        if (!failed_) {
            int section = 0;
            got = ov_read(&file_->vf, reinterpret_cast<char*>(buffer), int(want * c * 2), big_endian, 2, 1, &section);
            if (got == OV_HOLE) continue;
            // An error, or a file shorter than it was when it was counted.
            if (got <= 0) Fail(problem, "damaged part-way");
        }
        int64_t n = failed_ ? want : got / 2 / c;
        if (failed_) std::fill(buffer, buffer + n * c, int16_t(0));
        for (int64_t k = 0; k < n; ++k) {
            int16_t* to = r.ring.data() + size_t((written + k) % kStreamFrames) * size_t(c);
            for (int ch = 0; ch < c; ++ch) to[ch] = buffer[k * c + ch];
        }
        lap_frames_ += n;
        most -= n;
        {
            std::lock_guard<std::mutex> hold(r.lock);
            r.written.store(written + n, std::memory_order_release);
        }
        r.moved.notify_all();
        wrote = true;
    }
    return wrote;
}