#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/mixer.h"
#include "platform/sound_load.h"
#include "sound_files.h"
#include "support.h"

namespace {

// Twelve seconds of two tones with a slow sweep, long enough to be streamed.
std::vector<uint8_t> LongOgg(int channels) {
    const int frames = 12 * kMixerRate;
    std::vector<int16_t> pcm(size_t(frames) * size_t(channels));
    for (int f = 0; f < frames; ++f) {
        double t = double(f) / kMixerRate;
        for (int c = 0; c < channels; ++c) {
            pcm[size_t(f) * size_t(channels) + size_t(c)] =
                int16_t(9000 * std::sin(6.2831853 * (220 + 110 * c + 20 * t) * t));
        }
    }
    return sound_files::EncodeOgg(pcm, channels, kMixerRate, 0.3f);
}

// Plays a sound on one slot and gives `frames` mixed frames; a streamed sound gets a
// ring of its own, filled by a thread as the mixer reads (the mixer waits for it).
std::vector<int16_t> Play(const SamplePtr& sound, int frames, std::string* problem = nullptr) {
    MixerReset();
    MixerWaitForStreams(true);
    SamplePtr cue = sound;
    std::shared_ptr<StreamDecoder> decoder;
    std::atomic<bool> stop{false};
    std::thread filler;
    if (sound->streamed()) {
        auto data = std::make_shared<SampleData>(*sound);
        data->encoded.reset();
        data->file.clear();
        data->stream = std::make_shared<StreamRing>(sound->channels);
        decoder = sound->file.empty()
                      ? std::make_shared<StreamDecoder>(sound->encoded, data->stream, sound->frames, sound->loop)
                      : std::make_shared<StreamDecoder>(sound->file, data->stream, sound->frames, sound->loop);
        cue = data;
        filler = std::thread([&] {
            std::string why;
            while (!stop) {
                decoder->Fill(&why);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (problem) *problem = why;
        });
    }
    int handle = MixerAlloc();
    MixerCue(handle, cue, false);
    std::vector<int16_t> out(size_t(frames) * 2);
    // In blocks of a device buffer, as the audio thread mixes.
    for (int at = 0; at < frames; at += 512) MixerMix(out.data() + size_t(at) * 2, std::min(512, frames - at));
    stop = true;
    if (filler.joinable()) filler.join();
    MixerStop(handle);
    MixerWaitForStreams(false);
    return out;
}

TEST(SoundStream, ALongSoundIsStreamedAndSoundsAsIfDecodedWhole) {
    for (int channels : {1, 2}) {
        std::vector<uint8_t> bytes = LongOgg(channels);
        std::string why;
        std::shared_ptr<SampleData> whole = DecodeSound(bytes, &why);
        ASSERT_TRUE(whole) << why;
        std::shared_ptr<SampleData> streamed =
            DecodeStreamed(std::make_shared<const std::vector<uint8_t>>(bytes), &why);
        ASSERT_TRUE(streamed) << why;
        // Nothing decoded is kept: only the file and its exact length.
        EXPECT_TRUE(streamed->s16.empty());
        ASSERT_TRUE(streamed->encoded);
        EXPECT_EQ(streamed->frames, whole->frames);
        EXPECT_EQ(streamed->channels, channels);
        // Looping: two and a half laps, across the seam twice, sample for sample.
        whole->loop = streamed->loop = true;
        int frames = int(whole->frames * 5 / 2);
        std::vector<int16_t> a = Play(whole, frames), b = Play(streamed, frames);
        ASSERT_EQ(a.size(), b.size());
        size_t first_difference = a.size();
        for (size_t i = 0; i < a.size(); ++i) {
            if (a[i] != b[i]) {
                first_difference = i;
                break;
            }
        }
        EXPECT_EQ(first_difference, a.size()) << "channels " << channels << ", frame " << first_difference / 2;
        // A single shot ends where the whole one does and is silent after.
        whole->loop = streamed->loop = false;
        frames = int(whole->frames) + 3000;
        EXPECT_EQ(Play(whole, frames), Play(streamed, frames)) << "channels " << channels;
    }
}

// A track is read from its file as it plays; nothing of it stays in memory. If the file
// goes before the track is played, that is said once and the track is silent.
TEST(SoundStream, ATrackReadFromItsFileSoundsTheSameAndAFileGoneIsSaidOnce) {
    std::vector<uint8_t> bytes = LongOgg(2);
    std::string path = test_support::OutputPath("streamed_track.ogg");
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    std::string why;
    std::shared_ptr<SampleData> in_memory = DecodeStreamed(std::make_shared<const std::vector<uint8_t>>(bytes), &why);
    ASSERT_TRUE(in_memory && in_memory->encoded) << why;
    auto from_file = std::make_shared<SampleData>(*in_memory);
    from_file->encoded.reset();
    from_file->file = path;
    in_memory->loop = from_file->loop = true;
    int frames = int(in_memory->frames * 3 / 2);
    std::string problem;
    EXPECT_EQ(Play(in_memory, frames), Play(from_file, frames, &problem));
    EXPECT_EQ(problem, "");

    ASSERT_EQ(std::remove(path.c_str()), 0);
    std::vector<int16_t> out = Play(from_file, 20000, &problem);
    EXPECT_EQ(problem, "can no longer be read");
    EXPECT_EQ(out, std::vector<int16_t>(out.size(), 0));
}

TEST(SoundStream, ShortSoundsAndOtherFilesAreDecodedWhole) {
    std::vector<int16_t> pcm(size_t(kMixerRate), 1000);
    std::string why;
    auto ogg = DecodeStreamed(std::make_shared<const std::vector<uint8_t>>(sound_files::EncodeOgg(pcm, 1, kMixerRate, 0.3f)), &why);
    ASSERT_TRUE(ogg) << why;
    EXPECT_FALSE(ogg->encoded);
    EXPECT_EQ(ogg->s16.size(), size_t(ogg->frames));
    auto wav = DecodeStreamed(
        std::make_shared<const std::vector<uint8_t>>(sound_files::WavBytes(1, kMixerRate, 16, sound_files::Pcm16(pcm))),
        &why);
    ASSERT_TRUE(wav) << why;
    EXPECT_FALSE(wav->encoded);
    EXPECT_FALSE(DecodeStreamed(std::make_shared<const std::vector<uint8_t>>(), &why));
    EXPECT_EQ(why, "empty");
}

TEST(SoundStream, AFileThatBreaksPartWayGoesSilentThereAndSaysSoOnce) {
    std::vector<uint8_t> bytes = LongOgg(2);
    std::string why;
    std::shared_ptr<SampleData> streamed = DecodeStreamed(std::make_shared<const std::vector<uint8_t>>(bytes), &why);
    ASSERT_TRUE(streamed && streamed->encoded) << why;
    // The file is cut to its first half after it was read through: as if it changed on
    // disk, or the memory holding it were damaged.
    auto cut = std::make_shared<SampleData>(*streamed);
    cut->encoded = std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.begin() + long(bytes.size() / 2));
    cut->loop = true;
    std::string problem;
    std::vector<int16_t> out = Play(cut, int(streamed->frames * 3 / 2), &problem);
    EXPECT_EQ(problem, "damaged part-way");
    // Sound at first, then silence to the end, through the loop's seam.
    bool heard_early = false;
    for (size_t i = 0; i < size_t(kMixerRate) * 2; ++i) heard_early = heard_early || out[i] != 0;
    EXPECT_TRUE(heard_early);
    size_t last_heard = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] != 0) last_heard = i;
    }
    EXPECT_LT(last_heard / 2, size_t(streamed->frames * 3 / 4)) << "sound after the break";
}

TEST(SoundStream, AMixerThatMayNotWaitPlaysSilenceForWhatIsNotDecodedYet) {
    std::vector<uint8_t> bytes = LongOgg(1);
    std::string why;
    std::shared_ptr<SampleData> streamed = DecodeStreamed(std::make_shared<const std::vector<uint8_t>>(bytes), &why);
    ASSERT_TRUE(streamed) << why;
    MixerReset();
    MixerWaitForStreams(false);
    auto data = std::make_shared<SampleData>(*streamed);
    data->encoded.reset();
    data->stream = std::make_shared<StreamRing>(1);
    auto decoder = std::make_shared<StreamDecoder>(streamed->encoded, data->stream, streamed->frames, false);
    decoder->Fill(nullptr, 1000);  // a first block only; nobody decodes the rest
    int handle = MixerAlloc();
    MixerCue(handle, data, false);
    std::vector<int16_t> out(4000);
    MixerMix(out.data(), 2000);
    // Each frame mixed reads two source frames: 1000 frames short, and frame 999 reads 1000.
    EXPECT_EQ(data->stream->missed.load(), 2 * (2000 - 1000) + 1);
    bool late_heard = false;
    for (size_t i = 2 * 1001; i < out.size(); ++i) late_heard = late_heard || out[i] != 0;
    EXPECT_FALSE(late_heard);
    MixerStop(handle);
}

}  // namespace
