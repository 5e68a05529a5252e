#include "platform/audio.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/mixer.h"
#include "platform/options.h"
#include "sound_files.h"

namespace {

using namespace sound_files;

// Sets the audio environment of one test and puts everything back afterwards.
class AudioDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE", "SDL_DISKAUDIODELAY"}) {
            const char* value = std::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(name);
        }
        saved_headless_ = engine_options.headless;
        dir_ = TempDir();
    }
    void TearDown() override {
        AudioShutdown();
        engine_options.headless = saved_headless_;
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        std::filesystem::remove_all(dir_);
    }

    // A mono 16-bit WAV of the given samples at 44100 Hz.
    std::string Wav(const std::string& name, const std::vector<int16_t>& samples) {
        std::string path = dir_ + "/" + name;
        EXPECT_TRUE(WriteFile(path, WavBytes(1, 44100, 16, Pcm16(samples))));
        return path;
    }

    std::string dir_;
    std::map<std::string, std::optional<std::string>> saved_;
    bool saved_headless_ = false;
};

TEST_F(AudioDeviceTest, HeadlessWithoutADriverIsSilentQuietly) {
    engine_options.headless = true;
    AudioClockAdvanced(0);
    testing::internal::CaptureStderr();
    Sound beep = LoadSound(Wav("beep.wav", std::vector<int16_t>(4410, 1000)), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(beep);

    Channel chn = CueSound(beep);
    ASSERT_TRUE(chn);
    EXPECT_EQ(ChannelPlaying(chn), 0) << "cued, not started";
    SetChannelVolume(chn, 0.3f);
    SetChannelPan(chn, -0.5f);
    SetChannelDepth(chn, 0.2f);
    SetChannelRate(chn, 1.0f);
    ResumeChannel(chn);
    EXPECT_EQ(ChannelPlaying(chn), 1);
    PauseChannel(chn);
    EXPECT_EQ(ChannelPlaying(chn), 0);
    ResumeChannel(chn);

    // The sound lasts 4410 samples, 100 ms of the virtual clock.
    AudioClockAdvanced(99);
    EXPECT_EQ(ChannelPlaying(chn), 1);
    AudioClockAdvanced(100);
    EXPECT_EQ(ChannelPlaying(chn), 0) << "a single shot ends with its sound";

    // Bit 0 of the flags makes it loop.
    Channel loop = PlaySound(LoadSound(dir_ + "/beep.wav", 1));
    AudioClockAdvanced(2000);
    EXPECT_EQ(ChannelPlaying(loop), 1);
    StopChannel(loop);
    EXPECT_EQ(ChannelPlaying(loop), 0);
    StopChannel(loop);

    // None is accepted everywhere.
    Channel none;
    SetChannelVolume(none, 1.0f);
    PauseChannel(none);
    ResumeChannel(none);
    StopChannel(none);
    EXPECT_EQ(ChannelPlaying(none), 0);
    EXPECT_FALSE(CueSound(nullptr));
}

TEST_F(AudioDeviceTest, ChannelObjectsKeepTheirOwnSlots) {
    engine_options.headless = true;
    AudioClockAdvanced(0);
    Sound beep = LoadSound(Wav("beep.wav", std::vector<int16_t>(4410, 1000)), 0);
    ASSERT_TRUE(beep);

    // A channel from AllocChannel is reused by PlaySound and may be stopped unplayed.
    Channel idle = AllocChannel();
    ASSERT_TRUE(idle);
    EXPECT_EQ(ChannelPlaying(idle), 0);
    StopChannel(idle);
    StopChannel(idle);
    Channel mine = AllocChannel();
    EXPECT_EQ(PlaySound(beep, mine), mine);
    EXPECT_EQ(ChannelPlaying(mine), 1);
    EXPECT_EQ(CueSound(beep, mine), mine);
    EXPECT_EQ(ChannelPlaying(mine), 0);
    StopChannel(mine);

    // A stopped channel object cannot touch the sound that got its slot next.
    Channel first = PlaySound(beep);
    StopChannel(first);
    Channel second = PlaySound(beep);
    PauseChannel(first);
    StopChannel(first);
    EXPECT_EQ(ChannelPlaying(second), 1);
    Channel again = PlaySound(beep, first);
    ASSERT_TRUE(again);
    EXPECT_NE(again, first) << "a stale channel object gets a new one";
    StopChannel(second);
    StopChannel(again);

    // A discarded channel plays its sound out and frees its slot at the end.
    const int free_before = MixerFreeSlots();
    PlaySound(beep);
    EXPECT_EQ(MixerFreeSlots(), free_before - 1);
    AudioClockAdvanced(50);
    EXPECT_EQ(MixerFreeSlots(), free_before - 1);
    AudioClockAdvanced(101);
    EXPECT_EQ(MixerFreeSlots(), free_before);
    // A cued one that was never started is freed at once.
    CueSound(beep);
    EXPECT_EQ(MixerFreeSlots(), free_before);

    // When every slot is in use there is no channel to be had.
    std::vector<Channel> all;
    while (Channel c = AllocChannel()) all.push_back(c);
    EXPECT_EQ(all.size(), size_t(free_before));
    EXPECT_FALSE(CueSound(beep));
    EXPECT_FALSE(PlaySound(beep));
    all.pop_back();
    EXPECT_TRUE(PlaySound(beep));
}

TEST_F(AudioDeviceTest, DummyDriverRunsSilentAndSaysSoOnce) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    testing::internal::CaptureStderr();
    Sound hum = LoadSound(Wav("hum.wav", std::vector<int16_t>(441, -300)), 1);
    Channel chn = CueSound(hum);
    SetChannelVolume(chn, 0.5f);
    ResumeChannel(chn);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "rc-whirlbat: no audio device (dummy driver); the game runs without sound\n");
    ASSERT_TRUE(hum);
    ASSERT_TRUE(chn);
    EXPECT_EQ(ChannelPlaying(chn), 1);
    PauseChannel(chn);
    EXPECT_EQ(ChannelPlaying(chn), 0);
    ResumeChannel(chn);
    EXPECT_EQ(ChannelPlaying(chn), 1);
    StopChannel(chn);
    EXPECT_EQ(ChannelPlaying(chn), 0);
}

// The source of the lockstep runs: 30000 samples of a saw-tooth that never repeats within
// a buffer, so a shift by any number of samples shows.
int16_t Saw(int64_t i) { return int16_t((i * 37) % 2001 - 1000); }

std::vector<int16_t> SawSamples() {
    std::vector<int16_t> out;
    for (int i = 0; i < 30000; ++i) out.push_back(Saw(i));
    return out;
}

// A scripted run on SDL's disk driver: the clock moves 10 ms at a time; the sound starts
// at 100 ms, drops to half volume at 250 ms, pauses at 300 ms, resumes at 400 ms, and the
// run ends at 500 ms.
std::vector<uint8_t> RecordRun(const std::string& wav, const std::string& file) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    engine_options.headless = true;
    AudioClockAdvanced(0);
    Sound saw = LoadSound(wav, 0);
    EXPECT_TRUE(saw);
    Channel chn;
    for (int t = 10; t <= 500; t += 10) {
        AudioClockAdvanced(t);
        if (t == 100) chn = PlaySound(saw);
        if (t == 250) SetChannelVolume(chn, 0.5f);
        if (t == 300) PauseChannel(chn);
        if (t == 400) ResumeChannel(chn);
    }
    AudioShutdown();
    return ReadFile(file);
}

TEST_F(AudioDeviceTest, DiskDriverRecordsTheVirtualTimeline) {
    const std::string wav = Wav("saw.wav", SawSamples());
    std::vector<uint8_t> first = RecordRun(wav, dir_ + "/first.raw");

    // The file holds exactly the 500 ms of the run: 22050 stereo 16-bit frames.
    ASSERT_EQ(first.size(), 22050u * 4);
    // Buffers are 512 frames and each one hears the game as it was when the clock passed
    // its end, so an event at t ms takes effect at the buffer holding sample t × 44.1:
    // 100 ms → 4096, 250 ms → 10752, 300 ms → 12800, 400 ms → 17408.
    auto expected = [](int64_t f) -> int {
        if (f < 4096) return 0;
        if (f < 10752) return Saw(f - 4096);
        if (f < 12800) return Saw(f - 4096) >> 1;
        if (f < 17408) return 0;
        return Saw(12800 - 4096 + (f - 17408)) >> 1;
    };
    int wrong = 0;
    for (int64_t f = 0; f < 22050; ++f) {
        const uint8_t* p = first.data() + f * 4;
        int left = int16_t(p[0] | p[1] << 8);
        int right = int16_t(p[2] | p[3] << 8);
        if (left != expected(f) || right != expected(f)) {
            if (wrong++ < 5) ADD_FAILURE() << "frame " << f << ": " << left << ", " << right << " instead of " << expected(f);
        }
    }
    EXPECT_EQ(wrong, 0);

    std::vector<uint8_t> second = RecordRun(wav, dir_ + "/second.raw");
    EXPECT_TRUE(first == second) << "two runs of the same script write the same file";
}

TEST_F(AudioDeviceTest, DiskDriverOpenedLateStartsWithTheSilenceBefore) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    const std::string file = dir_ + "/late.raw";
    setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    engine_options.headless = true;
    AudioClockAdvanced(1000);
    Channel chn = PlaySound(LoadSound(Wav("saw.wav", SawSamples()), 1));
    ASSERT_TRUE(chn);
    AudioClockAdvanced(1100);
    AudioShutdown();

    std::vector<uint8_t> raw = ReadFile(file);
    ASSERT_EQ(raw.size(), 48510u * 4) << "1100 ms of frames";
    // 1000 ms is sample 44100, inside the buffer that starts at 86 × 512 = 44032.
    auto left = [&](int64_t f) { return int16_t(raw[size_t(f * 4)] | raw[size_t(f * 4 + 1)] << 8); };
    for (int64_t f = 0; f < 44032; f += 97) ASSERT_EQ(left(f), 0) << "frame " << f;
    for (int64_t f = 44032; f < 48510; ++f) ASSERT_EQ(left(f), Saw(f - 44032)) << "frame " << f;
}

}  // namespace
