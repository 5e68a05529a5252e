// Checks of the sounds the generators make, run by build.sh after every generation:
// decodes every OGG file of data/ with libvorbisfile and checks what the game and the
// player rely on: format, length, level, clean edges, music that loops without a
// click, and room left for the sounds the game starts together.
#include <vorbis/vorbisfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Decoded {
    long rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved

    size_t frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
    double seconds() const { return rate ? static_cast<double>(frames()) / static_cast<double>(rate) : 0.0; }
    int16_t at(size_t frame, int channel) const {
        return samples[frame * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
    }
};

std::string data_path(const std::string& name) {
    return std::string(WHIRLBAT_SOURCE_DIR) + "/data/" + name + ".ogg";
}

// Decodes the whole file to 16-bit samples; an empty result means it could not be opened.
Decoded decode(const std::string& name) {
    Decoded d;
    OggVorbis_File vf;
    if (ov_fopen(data_path(name).c_str(), &vf) != 0) return d;
    const vorbis_info* info = ov_info(&vf, -1);
    d.rate = info->rate;
    d.channels = info->channels;
    std::vector<char> buf(16384);
    int section = 0;
    for (;;) {
        const long got = ov_read(&vf, buf.data(), static_cast<int>(buf.size()), 0, 2, 1, &section);
        if (got <= 0) break;
        const size_t n = static_cast<size_t>(got) / 2;
        for (size_t i = 0; i < n; ++i) {
            const auto lo = static_cast<uint8_t>(buf[2 * i]);
            const auto hi = static_cast<uint8_t>(buf[2 * i + 1]);
            d.samples.push_back(static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8))));
        }
    }
    ov_clear(&vf);
    return d;
}

double dbfs(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-9) / 32768.0); }

int peak_of(const Decoded& d) {
    int peak = 0;
    for (int16_t s : d.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
}

double peak_dbfs(const Decoded& d) { return dbfs(peak_of(d)); }

size_t clipped_samples(const Decoded& d) {
    return static_cast<size_t>(std::count_if(d.samples.begin(), d.samples.end(),
                                             [](int16_t s) { return s >= 32767 || s <= -32767; }));
}

double rms_dbfs(const Decoded& d, size_t from_frame, size_t to_frame) {
    double acc = 0.0;
    for (size_t f = from_frame; f < to_frame; ++f) {
        for (int c = 0; c < d.channels; ++c) acc += static_cast<double>(d.at(f, c)) * d.at(f, c);
    }
    return dbfs(std::sqrt(acc / static_cast<double>((to_frame - from_frame) * static_cast<size_t>(d.channels))));
}

// Zero crossings per second of the first channel between two times: a rough
// measure of how high a sound sits.
double crossings_per_second(const Decoded& d, double from_s, double to_s) {
    const auto from = static_cast<size_t>(from_s * static_cast<double>(d.rate));
    const auto to = std::min(d.frames(), static_cast<size_t>(to_s * static_cast<double>(d.rate)));
    size_t count = 0;
    for (size_t f = from + 1; f < to; ++f) {
        if ((d.at(f - 1, 0) < 0) != (d.at(f, 0) < 0)) ++count;
    }
    return static_cast<double>(count) / (to_s - from_s);
}

enum class Kind { Effect, Announcement, Music };

struct Expected {
    const char* name;
    Kind kind;
    double min_s, max_s;
    double min_peak_db, max_peak_db;
};

// The game adds its sounds at full volume and clips only the sum, so every file
// keeps well below full scale: music -18 dBFS RMS, effects and announcements
// near -11 dBFS at their peak, the loss sound (started up to three times at
// once) near -18 dBFS.
const Expected kSounds[] = {
    {"start", Kind::Effect, 0.8, 1.3, -13.0, -9.5},
    {"explode", Kind::Effect, 1.0, 1.6, -13.0, -9.5},
    {"brocket", Kind::Effect, 0.5, 0.8, -13.0, -9.5},
    {"rrocket", Kind::Effect, 0.5, 0.8, -13.0, -9.5},
    {"land", Kind::Effect, 0.5, 1.0, -13.0, -9.5},
    {"death", Kind::Effect, 0.7, 1.2, -20.0, -16.5},
    {"blulead", Kind::Announcement, 0.8, 2.0, -13.0, -9.5},
    {"redlead", Kind::Announcement, 0.8, 2.0, -13.0, -9.5},
    {"bluwin", Kind::Announcement, 0.8, 2.0, -13.0, -9.5},
    {"redwin", Kind::Announcement, 0.8, 2.0, -13.0, -9.5},
    {"tied", Kind::Announcement, 0.5, 1.6, -13.0, -9.5},
    {"detectgb", Kind::Effect, 0.3, 0.5, -13.0, -9.5},
    {"newmap", Kind::Effect, 0.6, 1.0, -13.0, -9.5},
    {"titletrack", Kind::Music, 30.0, 120.0, -9.0, -6.0},
    {"playtrack", Kind::Music, 30.0, 120.0, -9.0, -6.0},
};

class EverySound : public ::testing::TestWithParam<Expected> {};

TEST_P(EverySound, DecodesAt44100HzWithTheExpectedLength) {
    const Expected& e = GetParam();
    const Decoded d = decode(e.name);
    ASSERT_FALSE(d.samples.empty()) << data_path(e.name) << " did not decode";
    EXPECT_EQ(d.rate, 44100);
    if (e.kind == Kind::Music) {
        EXPECT_EQ(d.channels, 2);
    } else {
        EXPECT_TRUE(d.channels == 1 || d.channels == 2) << d.channels;
    }
    EXPECT_GE(d.seconds(), e.min_s);
    EXPECT_LE(d.seconds(), e.max_s);
}

TEST_P(EverySound, PeaksInItsRangeWithoutClipping) {
    const Expected& e = GetParam();
    const Decoded d = decode(e.name);
    ASSERT_FALSE(d.samples.empty());
    EXPECT_EQ(clipped_samples(d), 0u);
    const double peak = peak_dbfs(d);
    EXPECT_GE(peak, e.min_peak_db);
    EXPECT_LE(peak, e.max_peak_db);
}

INSTANTIATE_TEST_SUITE_P(Data, EverySound, ::testing::ValuesIn(kSounds),
                         [](const ::testing::TestParamInfo<Expected>& info) { return std::string(info.param.name); });

std::vector<Expected> one_shots() {
    std::vector<Expected> v;
    for (const Expected& e : kSounds) {
        if (e.kind != Kind::Music) v.push_back(e);
    }
    return v;
}

// The effects and announcements: each plays once per event.
class OneShot : public ::testing::TestWithParam<Expected> {};

TEST_P(OneShot, StartsAndEndsInSilence) {
    const Expected& e = GetParam();
    const Decoded d = decode(e.name);
    ASSERT_GT(d.frames(), 200u);
    for (int c = 0; c < d.channels; ++c) {
        EXPECT_LT(std::abs(d.at(0, c)), 600) << "click at the start";
        EXPECT_LT(std::abs(d.at(d.frames() - 1, c)), 100) << "cut off at the end";
    }
    // Something is heard within the first 50 ms: the game plays it on the event.
    const auto early = static_cast<size_t>(0.05 * 44100);
    int loudest = 0;
    for (size_t f = 0; f < early; ++f) loudest = std::max(loudest, std::abs(static_cast<int>(d.at(f, 0))));
    EXPECT_GT(dbfs(loudest), peak_dbfs(d) - 27.0);
}

INSTANTIATE_TEST_SUITE_P(Data, OneShot, ::testing::ValuesIn(one_shots()),
                         [](const ::testing::TestParamInfo<Expected>& info) { return std::string(info.param.name); });

class Music : public ::testing::TestWithParam<const char*> {};

TEST_P(Music, IsAboutMinus18DbfsRmsAndNeverDropsOut) {
    const Decoded d = decode(GetParam());
    ASSERT_EQ(d.channels, 2);
    const double rms = rms_dbfs(d, 0, d.frames());
    EXPECT_GE(rms, -19.0);
    EXPECT_LE(rms, -17.0);
    // Every second of the loop carries sound, breakdowns included.
    for (size_t f = 0; f + 44100 <= d.frames(); f += 44100) {
        EXPECT_GT(rms_dbfs(d, f, f + 44100), -36.0) << "quiet second at " << f / 44100 << " s";
    }
}

TEST_P(Music, IsRealStereo) {
    const Decoded d = decode(GetParam());
    ASSERT_EQ(d.channels, 2);
    double diff = 0.0, sum = 0.0;
    for (size_t f = 0; f < d.frames(); ++f) {
        const double l = d.at(f, 0), r = d.at(f, 1);
        diff += (l - r) * (l - r);
        sum += (l + r) * (l + r);
    }
    EXPECT_GT(diff / sum, 0.01) << "left and right are (almost) the same";
}

TEST_P(Music, LoopsWithoutAJumpAtTheSeam) {
    const Decoded d = decode(GetParam());
    ASSERT_GT(d.frames(), 10000u);
    const size_t n = d.frames();
    const size_t near = 2048;
    for (int c = 0; c < d.channels; ++c) {
        // The steps between neighbouring samples on both sides of the seam.
        std::vector<int> steps;
        for (size_t f = 1; f < near; ++f) {
            steps.push_back(std::abs(d.at(f, c) - d.at(f - 1, c)));
            steps.push_back(std::abs(d.at(n - f, c) - d.at(n - f - 1, c)));
        }
        std::sort(steps.begin(), steps.end());
        const int ordinary = steps[steps.size() * 99 / 100];
        const int seam = std::abs(d.at(0, c) - d.at(n - 1, c));
        EXPECT_LE(seam, ordinary) << "channel " << c << ": the wrap from the last sample to the first clicks";
        // The ends are not silent: the music plays through the seam.
        EXPECT_GT(ordinary, 200) << "channel " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Data, Music, ::testing::Values("titletrack", "playtrack"));

TEST(Effects, BlueAndRedRocketsSoundClearlyDifferent) {
    const Decoded blue = decode("brocket");
    const Decoded red = decode("rrocket");
    ASSERT_FALSE(blue.samples.empty());
    ASSERT_FALSE(red.samples.empty());
    // Blue's whoosh climbs and sits high; Red's growls low and falls.
    EXPECT_GT(crossings_per_second(blue, 0.05, 0.45), 2.0 * crossings_per_second(red, 0.05, 0.45));
    EXPECT_GT(crossings_per_second(blue, 0.25, 0.45), crossings_per_second(blue, 0.0, 0.1));
    EXPECT_LT(crossings_per_second(red, 0.35, 0.55), crossings_per_second(red, 0.0, 0.15));
}

// The loudest sample of sounds that start on the same sample, as the mixer adds
// them (a mono sound plays on both sides).
int peak_together(const std::vector<const Decoded*>& sounds) {
    size_t frames = 0;
    for (const Decoded* s : sounds) frames = std::max(frames, s->frames());
    int peak = 0;
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            int sum = 0;
            for (const Decoded* s : sounds) {
                if (f < s->frames()) sum += s->at(f, s->channels == 2 ? c : 0);
            }
            peak = std::max(peak, std::abs(sum));
        }
    }
    return peak;
}

// What one frame of play starts at once lands on the play track at any moment,
// its loudest included, and must not reach full scale.
TEST(Headroom, SoundsStartedInOneFrameLeaveRoomForTheMusic) {
    const Decoded music = decode("playtrack");
    const Decoded death = decode("death");
    const Decoded explode = decode("explode");
    ASSERT_FALSE(music.samples.empty() || death.samples.empty() || explode.samples.empty());
    const struct {
        const char* event;
        std::vector<const Decoded*> sounds;
    } events[] = {
        {"a collision sounds the loss three times", {&death, &death, &death}},
        {"a rocket hit sounds the loss twice", {&death, &death}},
        {"a crash into a block sounds the explosion and the loss", {&explode, &death}},
    };
    for (const auto& e : events) {
        EXPECT_LT(dbfs(peak_together(e.sounds) + peak_of(music)), -1.0) << e.event;
    }
}

TEST(Effects, LossSoundFalls) {
    const Decoded d = decode("death");
    ASSERT_FALSE(d.samples.empty());
    EXPECT_GT(crossings_per_second(d, 0.02, 0.25), 2.0 * crossings_per_second(d, 0.6, 0.85));
}

}  // namespace
