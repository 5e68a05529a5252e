#include "platform/sound_load.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audio.h"
#include "platform/options.h"
#include "platform/resources.h"
#include "sound_files.h"

namespace {

using namespace sound_files;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<uint8_t> out;
    for (int v : values) out.push_back(uint8_t(v));
    return out;
}

// A WAV file put together chunk by chunk, for the shapes real writers produce.
struct Riff {
    std::vector<uint8_t> body;
    void Chunk(const char* tag, const std::vector<uint8_t>& data, uint32_t size_field) {
        PutTag(body, tag);
        PutLe32(body, size_field);
        body.insert(body.end(), data.begin(), data.end());
    }
    void Chunk(const char* tag, const std::vector<uint8_t>& data) {
        Chunk(tag, data, uint32_t(data.size()));
        if (data.size() & 1) body.push_back(0);
    }
    std::vector<uint8_t> File() const {
        std::vector<uint8_t> out;
        PutTag(out, "RIFF");
        PutLe32(out, uint32_t(4 + body.size()));
        PutTag(out, "WAVE");
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
};

std::vector<uint8_t> Fmt(int format, int channels, int rate, int bits) {
    std::vector<uint8_t> f;
    PutLe16(f, uint32_t(format));
    PutLe16(f, uint32_t(channels));
    PutLe32(f, uint32_t(rate));
    PutLe32(f, uint32_t(rate * channels * bits / 8));
    PutLe16(f, uint32_t(channels * bits / 8));
    PutLe16(f, uint32_t(bits));
    return f;
}

// Root-mean-square difference between one channel of the decoded sound and its source,
// relative to the source's own level.
double RelativeError(const SampleData& got, const std::vector<int16_t>& source, int channel, int source_channel) {
    double err = 0, level = 0;
    for (int64_t f = 0; f < got.frames; ++f) {
        double want = source[size_t(f * got.channels + source_channel)];
        double have = got.s16[size_t(f * got.channels + channel)];
        err += (have - want) * (have - want);
        level += want * want;
    }
    return std::sqrt(err / level);
}

TEST(WavDecode, SixteenBitStereoKeepsEverySample) {
    std::vector<int16_t> samples = {0, -1, 32767, -32768, 1234, -4321};
    auto sound = DecodeSound(WavBytes(2, 22050, 16, Pcm16(samples)));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->rate, 22050);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->bits, 16);
    EXPECT_EQ(sound->frames, 3);
    EXPECT_EQ(sound->s16, samples);
    EXPECT_FALSE(sound->loop);
}

TEST(WavDecode, EightBitMonoStaysUnsigned) {
    auto sound = DecodeSound(WavBytes(1, 11025, 8, Bytes({0, 128, 255, 17})));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->rate, 11025);
    EXPECT_EQ(sound->channels, 1);
    EXPECT_EQ(sound->bits, 8);
    EXPECT_EQ(sound->frames, 4);
    EXPECT_EQ(sound->s8, Bytes({0, 128, 255, 17}));
}

TEST(WavDecode, SkipsOtherChunksAndReadsExtensibleFormat) {
    // An odd-sized chunk with its pad byte before "fmt ", an extensible format block and
    // a "fact" chunk between the format and the data.
    std::vector<uint8_t> fmt = Fmt(0xFFFE, 1, 48000, 16);
    PutLe16(fmt, 22);      // extension size
    PutLe16(fmt, 16);      // valid bits
    PutLe32(fmt, 4);       // channel mask
    PutLe16(fmt, 1);       // sub-format: PCM ...
    for (int i = 0; i < 14; ++i) fmt.push_back(uint8_t(i));  // ... rest of its GUID
    Riff riff;
    riff.Chunk("LIST", Bytes({1, 2, 3}));
    riff.Chunk("fmt ", fmt);
    riff.Chunk("fact", Bytes({2, 0, 0, 0}));
    riff.Chunk("data", Pcm16({-7, 7}));
    auto sound = DecodeSound(riff.File());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->rate, 48000);
    EXPECT_EQ(sound->frames, 2);
    EXPECT_EQ(sound->s16, std::vector<int16_t>({-7, 7}));
}

TEST(WavDecode, DataSizeLargerThanTheFileTakesWhatIsThere) {
    Riff riff;
    riff.Chunk("fmt ", Fmt(1, 2, 44100, 16));
    std::vector<uint8_t> data = Pcm16({1, 2, 3, 4, 5, 6});
    data.push_back(9);  // a stray byte that makes no whole frame
    riff.Chunk("data", data, 0xFFFFFFFFu);
    auto sound = DecodeSound(riff.File());
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->frames, 3);
    EXPECT_EQ(sound->s16, std::vector<int16_t>({1, 2, 3, 4, 5, 6}));
}

TEST(WavDecode, UnsupportedOrBrokenFilesGiveNone) {
    const std::vector<uint8_t> pcm = Pcm16({1, 2, 3, 4});
    auto with_fmt = [&](std::vector<uint8_t> fmt, bool data = true) {
        Riff riff;
        riff.Chunk("fmt ", fmt);
        if (data) riff.Chunk("data", pcm);
        return riff.File();
    };
    EXPECT_FALSE(DecodeSound(with_fmt(Fmt(3, 1, 44100, 32)))) << "float";
    EXPECT_FALSE(DecodeSound(with_fmt(Fmt(2, 1, 44100, 4)))) << "ADPCM";
    EXPECT_FALSE(DecodeSound(with_fmt(Fmt(1, 1, 44100, 24)))) << "24 bits";
    EXPECT_FALSE(DecodeSound(with_fmt(Fmt(1, 0, 44100, 16)))) << "no channels";
    EXPECT_FALSE(DecodeSound(with_fmt(Fmt(1, 3, 44100, 16)))) << "three channels";
    EXPECT_FALSE(DecodeSound(with_fmt(Fmt(1, 1, 0, 16)))) << "rate 0";
    EXPECT_FALSE(DecodeSound(with_fmt(Fmt(1, 1, 44100, 16), false))) << "no data chunk";
    std::vector<uint8_t> short_fmt = Fmt(1, 1, 44100, 16);
    short_fmt.resize(14);
    EXPECT_FALSE(DecodeSound(with_fmt(short_fmt))) << "format block too short";

    Riff no_fmt;
    no_fmt.Chunk("data", pcm);
    EXPECT_FALSE(DecodeSound(no_fmt.File())) << "no format chunk";

    Riff empty;
    empty.Chunk("fmt ", Fmt(1, 2, 44100, 16));
    empty.Chunk("data", Bytes({1, 2, 3}));
    EXPECT_FALSE(DecodeSound(empty.File())) << "not one whole frame";

    Riff cut;
    cut.Chunk("fmt ", Fmt(1, 1, 44100, 16), 400);
    EXPECT_FALSE(DecodeSound(cut.File())) << "format chunk runs past the end";

    std::vector<uint8_t> not_wave = WavBytes(1, 44100, 16, pcm);
    std::copy_n("AVI ", 4, not_wave.begin() + 8);
    EXPECT_FALSE(DecodeSound(not_wave));
}

TEST(OggDecode, StereoDecodesToItsTwoTones) {
    const int rate = 44100;
    std::vector<int16_t> source = Tones({440.0, 1000.0}, rate, rate, 12000.0);
    std::vector<uint8_t> ogg = EncodeOgg(source, 2, rate, 0.5f);
    ASSERT_GT(ogg.size(), 1000u);
    auto sound = DecodeSound(ogg);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->rate, rate);
    EXPECT_EQ(sound->channels, 2);
    EXPECT_EQ(sound->bits, 16);
    EXPECT_EQ(sound->frames, rate) << "Vorbis keeps the exact length";
    ASSERT_EQ(sound->s16.size(), source.size());
    EXPECT_LT(RelativeError(*sound, source, 0, 0), 0.05);
    EXPECT_LT(RelativeError(*sound, source, 1, 1), 0.05);
    EXPECT_GT(RelativeError(*sound, source, 0, 1), 1.0) << "left and right stay apart";
}

TEST(OggDecode, MonoKeepsItsRate) {
    const int rate = 22050;
    std::vector<int16_t> source = Tones({300.0}, rate, rate / 2, 20000.0);
    auto sound = DecodeSound(EncodeOgg(source, 1, rate, 0.3f));
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->rate, rate);
    EXPECT_EQ(sound->channels, 1);
    EXPECT_EQ(sound->frames, rate / 2);
    EXPECT_LT(RelativeError(*sound, source, 0, 0), 0.05);
}

TEST(OggDecode, BrokenStreamsGiveNone) {
    std::vector<uint8_t> ogg = EncodeOgg(Tones({500.0}, 44100, 4410, 8000.0), 1, 44100, 0.4f);
    ASSERT_TRUE(DecodeSound(ogg));

    std::vector<uint8_t> headers_cut(ogg.begin(), ogg.begin() + 100);
    EXPECT_FALSE(DecodeSound(headers_cut)) << "cut inside the headers";

    std::vector<uint8_t> garbage = Bytes({'O', 'g', 'g', 'S'});
    for (int i = 0; i < 4000; ++i) garbage.push_back(uint8_t(i * 7919 >> 3));
    EXPECT_FALSE(DecodeSound(garbage)) << "the magic and nothing else";

    std::vector<uint8_t> scrambled = ogg;
    for (size_t i = 40; i < 200 && i < scrambled.size(); ++i) scrambled[i] ^= 0x5a;
    EXPECT_FALSE(DecodeSound(scrambled)) << "identification header damaged";

    EXPECT_FALSE(DecodeSound({}));
    EXPECT_FALSE(DecodeSound(Bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13})));
}

std::string WhyNot(const std::vector<uint8_t>& bytes) {
    std::string why;
    EXPECT_FALSE(DecodeSound(bytes, &why));
    return why;
}

TEST(OggDecode, AHugeClaimedLengthIsRefusedWithoutSettingMemoryAside) {
    // Four seconds, so that the last page is not also the first page of sound.
    std::vector<uint8_t> ogg = EncodeOgg(Tones({500.0, 600.0}, 44100, 4 * 44100, 8000.0), 2, 44100, 0.4f);
    ASSERT_TRUE(DecodeSound(ogg));
    std::vector<uint8_t> same = WithLastGranule(ogg, 4 * 44100);
    EXPECT_EQ(same, ogg) << "the fixture rewrites the page as the encoder wrote it";
    for (int64_t claim : {int64_t(1) << 40, int64_t(0x7000000000000000), int64_t(44100) * 601}) {
        EXPECT_EQ(WhyNot(WithLastGranule(ogg, claim)), "longer than 10 minutes") << claim;
    }
}

// Ten minutes of silence at 8000 Hz, and a few seconds more.
std::vector<uint8_t> LongSilence(int seconds) {
    return EncodeOgg(std::vector<int16_t>(size_t(8000) * size_t(seconds), 0), 1, 8000, -0.1f);
}

TEST(OggDecode, ASoundLongerThanItClaimsStopsAtTenMinutes) {
    std::vector<uint8_t> ogg = LongSilence(605);
    EXPECT_EQ(WhyNot(ogg), "longer than 10 minutes") << "it says so itself";
    // The last page claims one second; the decoder finds out as it goes.
    EXPECT_EQ(WhyNot(WithLastGranule(ogg, 8000)), "longer than 10 minutes");

    auto whole = DecodeSound(LongSilence(599));
    ASSERT_TRUE(whole) << "just under ten minutes is taken";
    EXPECT_EQ(whole->frames, 599 * 8000);
}

TEST(SoundDecode, EveryUnusableFileSaysWhy) {
    EXPECT_EQ(WhyNot({}), "empty");
    EXPECT_EQ(WhyNot(Bytes({'h', 'e', 'l', 'l', 'o'})), "not an OGG Vorbis or WAV file");
    std::vector<int16_t> six(size_t(6) * 4410, 100);
    EXPECT_EQ(WhyNot(EncodeOgg(six, 6, 44100, 0.1f)), "6 channels (1 or 2 play)");
    std::vector<uint8_t> ogg = EncodeOgg(Tones({500.0}, 44100, 4410, 8000.0), 1, 44100, 0.4f);
    std::vector<uint8_t> damaged = ogg;
    for (size_t i = 40; i < 200; ++i) damaged[i] ^= 0x5a;
    EXPECT_EQ(WhyNot(damaged), "damaged");
    EXPECT_EQ(WhyNot(std::vector<uint8_t>(ogg.begin(), ogg.begin() + 100)), "damaged") << "cut in the headers";
    EXPECT_EQ(WhyNot(WavBytes(3, 44100, 16, Pcm16({1, 2, 3}))), "3 channels (1 or 2 play)");
    EXPECT_EQ(WhyNot(WavBytes(1, 44100, 24, Pcm16({1, 2, 3}))), "not 8- or 16-bit PCM");
    EXPECT_EQ(WhyNot(WavBytes(1, 400000, 16, Pcm16({1, 2, 3}))), "a sample rate of 400000 Hz");
    EXPECT_EQ(WhyNot(WavBytes(2, 44100, 16, Bytes({1, 2, 3}))), "holds no sound");
    std::vector<uint8_t> long_wav = WavBytes(1, 1000, 8, std::vector<uint8_t>(1000 * 601, 128));
    EXPECT_EQ(WhyNot(long_wav), "longer than 10 minutes");

    // A stop request ends decoding at once.
    std::atomic<bool> stop{true};
    std::string why;
    EXPECT_FALSE(DecodeSound(ogg, &why, &stop));
    EXPECT_EQ(why, "stopped");
    stop = false;
    EXPECT_TRUE(DecodeSound(ogg, &why, &stop));
}

// LoadSound reads a path or an embedded resource and decodes it; anything it cannot
// read or decode gives none. Runs headless on the silent driver.
class LoadSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* driver = std::getenv("SDL_AUDIODRIVER");
        saved_driver_ = driver ? driver : "";
        had_driver_ = driver != nullptr;
        unsetenv("SDL_AUDIODRIVER");
        engine_options.headless = true;
        dir_ = TempDir();
        TakeSoundProblems();
    }
    void TearDown() override {
        AudioShutdown();
        TakeSoundProblems();
        engine_options.headless = false;
        if (had_driver_) setenv("SDL_AUDIODRIVER", saved_driver_.c_str(), 1);
        std::filesystem::remove_all(dir_);
    }
    std::string dir_;
    std::string saved_driver_;
    bool had_driver_ = false;
};

TEST_F(LoadSoundTest, LoadsFilesAndEmbeddedResources) {
    ASSERT_TRUE(WriteFile(dir_ + "/beep.wav", WavBytes(1, 8000, 8, Bytes({1, 2, 3}))));
    EXPECT_TRUE(LoadSound(dir_ + "/beep.wav", 0));
    EXPECT_TRUE(LoadSound(dir_ + "\\beep.wav", 1)) << "the game's backslashes";

    static const std::vector<uint8_t> ogg = EncodeOgg(Tones({700.0}, 44100, 2000, 9000.0), 1, 44100, 0.2f);
    IncbinAdd("test_tone.ogg", ogg.data(), ogg.size());
    EXPECT_TRUE(LoadSound("incbin::test_tone.ogg", 0));
    EXPECT_TRUE(LoadSound("INCBIN::test_tone.ogg", 0));
}

TEST_F(LoadSoundTest, MissingOrBrokenFilesGiveNone) {
    EXPECT_FALSE(LoadSound(dir_ + "/missing.ogg", 0));
    EXPECT_FALSE(LoadSound("incbin::no_such_sound", 0));
    EXPECT_FALSE(LoadSound(dir_, 0)) << "a folder";
    ASSERT_TRUE(WriteFile(dir_ + "/empty.ogg", {}));
    EXPECT_FALSE(LoadSound(dir_ + "/empty.ogg", 0));
    ASSERT_TRUE(WriteFile(dir_ + "/text.ogg", Bytes({'h', 'e', 'l', 'l', 'o'})));
    EXPECT_FALSE(LoadSound(dir_ + "/text.ogg", 1));

    // Playing none does nothing and gives none.
    Sound none = LoadSound(dir_ + "/missing.ogg", 0);
    EXPECT_FALSE(CueSound(none));
    EXPECT_FALSE(PlaySound(none));
}

std::vector<std::string> Listed(const std::vector<SoundProblem>& problems) {
    std::vector<std::string> out;
    for (const SoundProblem& p : problems) out.push_back(p.url + ": " + p.why);
    return out;
}

TEST_F(LoadSoundTest, EveryFileThatCannotBeUsedIsListedOnceWithWhy) {
    ASSERT_TRUE(WriteFile(dir_ + "/empty.ogg", {}));
    ASSERT_TRUE(WriteFile(dir_ + "/text.ogg", Bytes({'h', 'e', 'l', 'l', 'o'})));
    ASSERT_TRUE(WriteFile(dir_ + "/six.ogg", EncodeOgg(std::vector<int16_t>(6 * 4410, 99), 6, 44100, 0.1f)));
    std::vector<uint8_t> tone = EncodeOgg(Tones({500.0}, 44100, 4 * 44100, 8000.0), 1, 44100, 0.3f);
    ASSERT_TRUE(WriteFile(dir_ + "/huge.ogg", WithLastGranule(tone, int64_t(1) << 40)));
    ASSERT_TRUE(WriteFile(dir_ + "/good.ogg", tone));

    EXPECT_FALSE(LoadSound(dir_ + "/missing.ogg", 0));
    EXPECT_FALSE(LoadSound(dir_ + "/missing.ogg", 0));
    EXPECT_FALSE(LoadSound(dir_, 0));
    EXPECT_FALSE(LoadSound(dir_ + "/empty.ogg", 0));
    EXPECT_TRUE(LoadSound(dir_ + "/good.ogg", 0));
    EXPECT_FALSE(LoadSound(dir_ + "/text.ogg", 0));
    EXPECT_FALSE(LoadSound(dir_ + "/six.ogg", 0));
    PreloadSound(dir_ + "/huge.ogg", 1);
    PreloadSound(dir_ + "/gone.ogg", 1);
    EXPECT_EQ(Listed(TakeSoundProblems()), (std::vector<std::string>{
                                               dir_ + "/missing.ogg: missing",
                                               dir_ + ": not a readable file",
                                               dir_ + "/empty.ogg: empty",
                                               dir_ + "/text.ogg: not an OGG Vorbis or WAV file",
                                               dir_ + "/six.ogg: 6 channels (1 or 2 play)",
                                               dir_ + "/huge.ogg: longer than 10 minutes",
                                               dir_ + "/gone.ogg: missing",
                                           }));
    // Taking a failed preload gives none and lists nothing again.
    EXPECT_FALSE(LoadSound(dir_ + "/huge.ogg", 1));
    EXPECT_FALSE(LoadSound(dir_ + "/gone.ogg", 1));
    EXPECT_TRUE(TakeSoundProblems().empty());
    // A file that fails again after the list was taken is listed again.
    EXPECT_FALSE(LoadSound(dir_ + "/gone.ogg", 1));
    EXPECT_EQ(Listed(TakeSoundProblems()), std::vector<std::string>{dir_ + "/gone.ogg: missing"});
}

// Counts the times a file is opened, through inotify.
class OpenCounter {
public:
    explicit OpenCounter(const std::string& path) {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0) inotify_add_watch(fd_, path.c_str(), IN_OPEN);
    }
    ~OpenCounter() {
        if (fd_ >= 0) close(fd_);
    }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;
    int Opens() {
        alignas(inotify_event) char buffer[4096];
        ssize_t got;
        while ((got = read(fd_, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < got;) {
                auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->mask & IN_OPEN) ++opens_;
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return opens_;
    }

private:
    int fd_ = -1;
    int opens_ = 0;
};

TEST_F(LoadSoundTest, APreloadIsReadOnceAndServesOneLoad) {
    const std::string path = dir_ + "/hum.wav";
    ASSERT_TRUE(WriteFile(path, WavBytes(1, 44100, 16, Pcm16(std::vector<int16_t>(4410, 500)))));
    OpenCounter counter(path);
    AudioClockAdvanced(0);
    PreloadSound(path, 1);
    PreloadSound(path, 1);  // still waiting: nothing more to do
    Sound hum = LoadSound(path, 1);
    ASSERT_TRUE(hum);
    EXPECT_TRUE(TakeSoundProblems().empty());
    EXPECT_EQ(counter.Opens(), 1) << "the load took what the preload read";
    // The loop flag came with it: the 100 ms sound still plays after two seconds.
    Channel chn = PlaySound(hum);
    AudioClockAdvanced(2000);
    EXPECT_EQ(ChannelPlaying(chn), 1);
    StopChannel(chn);

    // The preload served its one load; the next load reads the file anew.
    std::filesystem::remove(path);
    EXPECT_FALSE(LoadSound(path, 1));
    EXPECT_EQ(Listed(TakeSoundProblems()), std::vector<std::string>{path + ": missing"});

    // A preload with other flags is not taken by this load.
    ASSERT_TRUE(WriteFile(path, WavBytes(1, 44100, 16, Pcm16(std::vector<int16_t>(4410, 500)))));
    PreloadSound(path, 0);
    EXPECT_TRUE(TakeSoundProblems().empty());
    std::filesystem::remove(path);
    EXPECT_FALSE(LoadSound(path, 1));
    EXPECT_TRUE(LoadSound(path, 0));
}

TEST_F(LoadSoundTest, ShutdownAbandonsPreloadsAndLoadingStartsAfresh) {
    const std::string path = dir_ + "/long.ogg";
    ASSERT_TRUE(WriteFile(path, EncodeOgg(std::vector<int16_t>(size_t(8000) * 300, 0), 1, 8000, -0.1f)));
    for (int i = 0; i < 3; ++i) {
        PreloadSound(path, 1);
        PreloadSound(dir_ + "/other.ogg", 0);
        AudioShutdown();
        EXPECT_TRUE(TakeSoundProblems().empty()) << "an abandoned preload is no fault of the file";
    }
    PreloadSound(path, 1);
    Sound sound = LoadSound(path, 1);
    EXPECT_TRUE(sound);
    EXPECT_TRUE(TakeSoundProblems().empty());
}

}  // namespace
