// What the game sounds like: headless runs recorded by SDL's disk audio driver, in step
// with the virtual clock, compared with the decoded sound files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/resources.h"
#include "platform/sound_load.h"
#include "support.h"

namespace {

using test_support::Json;
using test_support::OutputPath;

struct Recording {
    std::vector<int16_t> samples;  // interleaved left, right
    std::vector<Json> trace;
    size_t frames() const { return samples.size() / 2; }
    int16_t left(size_t frame) const { return samples[frame * 2]; }
    bool silent(size_t from, size_t to) const {
        for (size_t i = from * 2; i < std::min(to, frames()) * 2; ++i) {
            if (samples[i] != 0) return false;
        }
        return true;
    }
    size_t first_sound(size_t from = 0) const {
        for (size_t i = from; i < frames(); ++i) {
            if (samples[i * 2] != 0 || samples[i * 2 + 1] != 0) return i;
        }
        return frames();
    }
};

Recording record(const std::string& name, const std::string& script_text, int frames) {
    std::string script = OutputPath(name + ".txt"), raw = OutputPath(name + ".raw");
    std::string trace = OutputPath(name + ".jsonl");
    std::ofstream(script) << script_text;
    std::string err;
    int code = test_support::RunGame(
        {"--headless", "--seed", "3", "--frames", std::to_string(frames), "--script", script, "--trace", trace},
        &err, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIODELAY=0", "SDL_DISKAUDIOFILE=" + raw});
    EXPECT_EQ(code, 0) << err;
    Recording r;
    std::ifstream in(raw, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    r.samples.resize(bytes.size() / 2);
    std::memcpy(r.samples.data(), bytes.data(), r.samples.size() * 2);
    r.trace = test_support::ReadTrace(trace);
    return r;
}

std::shared_ptr<SampleData> decoded(const std::string& file) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadUrl(test_support::SourcePath(file), bytes));
    auto s = DecodeSound(bytes);
    EXPECT_TRUE(s);
    return s;
}

int16_t sample_at(const SampleData& s, int64_t frame, int channel) {
    return s.s16[size_t(frame * s.channels + (s.channels == 2 ? channel : 0))];
}

// Frame in the recording of a moment on the virtual clock.
size_t at_ms(int ms) { return size_t(int64_t(ms) * 44100 / 1000); }

// Sounds start and stop on the device's 512-frame buffers.
constexpr size_t kBuffer = 512;
size_t buffer_start(size_t frame) { return frame / kBuffer * kBuffer; }

const Json& line(const Recording& r, int frame) { return r.trace[size_t(frame - 1)]; }

TEST(Sound, TheTitleTrackStartsAtTheEndOfStartUp) {
    Recording r = record("sound-title", "", 420);
    ASSERT_EQ(r.trace.size(), 420u);
    int title_ms = line(r, 326)["ms"].i();
    size_t onset = buffer_start(r.first_sound());
    // Nothing is heard during the logo; the track starts within one device buffer of
    // the end of start-up.
    EXPECT_GE(onset + 1024, at_ms(title_ms));
    EXPECT_LE(onset, at_ms(title_ms) + 1024);
    auto track = decoded("data/titletrack.ogg");
    ASSERT_EQ(track->channels, 2);
    for (size_t i = 0; i < 44100 && onset + i < r.frames(); ++i) {
        ASSERT_EQ(r.samples[(onset + i) * 2], sample_at(*track, int64_t(i), 0)) << i;
        ASSERT_EQ(r.samples[(onset + i) * 2 + 1], sample_at(*track, int64_t(i), 1)) << i;
    }
    EXPECT_EQ(line(r, 327)["music"].i(), 1);
}

TEST(Sound, EffectsAtVolumeOffAreStartedButSilent) {
    // Music Off, then sound Off (its sample plays silently), then "Start Game".
    Recording r = record("sound-off",
                         "f340 mouse move 320 365\nf341 mouse left down\nf342 mouse left up\n"
                         "f350 mouse move 320 325\nf351 mouse left down\nf352 mouse left up\n"
                         "f360 mouse move 320 250\nf361 mouse left down\nf362 mouse left up\n",
                         460);
    ASSERT_EQ(r.trace.size(), 460u);
    EXPECT_EQ(line(r, 342)["music_lvl"].i(), 0);
    EXPECT_EQ(line(r, 352)["sound_lvl"].i(), 0);
    std::vector<std::string> started;
    for (const Json& j : r.trace) {
        for (const Json& s : j["sfx"].items) started.push_back(s.text);
    }
    EXPECT_EQ(started, (std::vector<std::string>{"explode", "newmap", "start"}));
    // Silent from the music's Off onward, though three effects and a track started.
    size_t off = at_ms(line(r, 342)["ms"].i()) + 1024;
    EXPECT_FALSE(r.silent(at_ms(line(r, 330)["ms"].i()), off - 2048));
    EXPECT_TRUE(r.silent(off, r.frames()));
}

TEST(Sound, TheStartCueSoundsWhenTheRoundOpens) {
    // Music Off so the cue stands alone; "Start Game" plays the new-map sound first.
    Recording r = record("sound-start",
                         "f340 mouse move 320 365\nf341 mouse left down\nf342 mouse left up\n"
                         "f360 mouse move 320 250\nf361 mouse left down\nf362 mouse left up\n",
                         520);
    int start_frame = 0;
    for (const Json& j : r.trace) {
        for (const Json& s : j["sfx"].items) {
            if (s.text == "start") start_frame = j["frame"].i();
        }
    }
    ASSERT_GT(start_frame, 0);
    EXPECT_EQ(line(r, start_frame)["play_phase"].i(), 1);
    auto newmap = decoded("data/newmap.ogg");
    auto start = decoded("data/start.ogg");
    size_t a = r.first_sound(at_ms(line(r, 350)["ms"].i()));
    size_t expected_b = at_ms(line(r, start_frame - 1)["ms"].i());
    // The cue begins at the device buffer in which the round started; with the new-map
    // sound still ringing, the recording is the two added together.
    auto mix = [&](size_t i, size_t b) {
        int v = 0;
        if (i >= a && int64_t(i - a) < newmap->frames) v += sample_at(*newmap, int64_t(i - a), 0);
        if (i >= b && int64_t(i - b) < start->frames) v += sample_at(*start, int64_t(i - b), 0);
        return std::clamp(v, -32768, 32767);
    };
    size_t found = 0;
    for (size_t b = expected_b > 2048 ? expected_b - 2048 : 0; b <= expected_b + 2048 && !found; ++b) {
        bool same = true;
        for (size_t i = b; i < b + size_t(start->frames) && same; i += 7) same = r.left(i) == mix(i, b);
        if (same) found = b;
    }
    ASSERT_GT(found, 0u) << "the start cue is not where the round opened";
    for (size_t i = found; i < found + size_t(start->frames); ++i) ASSERT_EQ(r.left(i), mix(i, found)) << i;
    // The opening lasts 46 frames: about 0.77 s after the new-map sound.
    EXPECT_NEAR(double(found - a) / 44100, 46.0 / 60, 0.03);
}

TEST(Sound, MusicPausesWithTheWindowAndResumesWhereItStopped) {
    Recording r = record("sound-focus", "f400 window focus lost\nt9000 window focus gained\n", 470);
    size_t onset = buffer_start(r.first_sound());
    size_t lost = at_ms(line(r, 400)["ms"].i()), back = at_ms(9000);
    // Silence while inactive (give or take a device buffer at each end).
    EXPECT_TRUE(r.silent(lost + kBuffer, back - kBuffer));
    EXPECT_FALSE(r.silent(lost - 4 * kBuffer, lost - kBuffer));
    // The buffers where the music stopped and where it came back.
    size_t stop = buffer_start(lost - 2 * kBuffer);
    while (!r.silent(stop, back - kBuffer)) stop += kBuffer;
    size_t resume = buffer_start(back - 2 * kBuffer);
    while (r.silent(resume, resume + kBuffer)) resume += kBuffer;
    auto track = decoded("data/titletrack.ogg");
    size_t played = stop - onset;
    for (size_t i = 0; i < 22050; ++i) {
        ASSERT_EQ(r.samples[(resume + i) * 2], sample_at(*track, int64_t(played + i), 0)) << i;
    }
}

}  // namespace
