// The mix at its loudest: a busy scripted round at full sound and music volume,
// recorded by SDL's disk audio driver, never reaches full scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support.h"

namespace {

using test_support::Json;
using test_support::OutputPath;

constexpr int kFrames = 1800;
constexpr int kRoundStart = 379;

struct BusyRound {
    std::vector<int16_t> samples;  // interleaved left, right at 44100 Hz
    std::vector<Json> trace;
};

const BusyRound& busy_round() {
    static const BusyRound round = [] {
        BusyRound r;
        // Named after the test that records it: ctest runs each test in a process of its own.
        const std::string name =
            std::string("headroom-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        const std::string raw = OutputPath(name + ".raw"), trace = OutputPath(name + ".jsonl");
        std::string err;
        const int code = test_support::RunGame(
            {"--headless", "--seed", "3", "--frames", std::to_string(kFrames), "--script",
             test_support::SourcePath("tests/scripts/busy_round.txt"), "--trace", trace},
            &err, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIODELAY=0", "SDL_DISKAUDIOFILE=" + raw});
        EXPECT_EQ(code, 0) << err;
        std::ifstream in(raw, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        r.samples.resize(bytes.size() / 2);
        std::memcpy(r.samples.data(), bytes.data(), r.samples.size() * 2);
        r.trace = test_support::ReadTrace(trace);
        return r;
    }();
    return round;
}

double dbfs(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-9) / 32768.0); }

// The effects started in each frame of the round, in the order the game started them.
std::vector<std::vector<std::string>> effects_by_frame(const BusyRound& r) {
    std::vector<std::vector<std::string>> frames;
    for (const Json& line : r.trace) {
        if (line["frame"].i() < kRoundStart) continue;
        std::vector<std::string> started;
        for (const Json& s : line["sfx"].items) started.push_back(s.text);
        if (!started.empty()) frames.push_back(started);
    }
    return frames;
}

TEST(Headroom, TheBusyRoundPlaysEveryLoudCombinationAtFullVolume) {
    const BusyRound& r = busy_round();
    ASSERT_EQ(r.trace.size(), size_t(kFrames));
    for (const Json& line : r.trace) {
        ASSERT_EQ(line["sound_lvl"].i(), 10) << "frame " << line["frame"].i();
        ASSERT_EQ(line["music_lvl"].i(), 10) << "frame " << line["frame"].i();
    }
    EXPECT_EQ(r.trace.back()["game_state"].i(), 2);
    EXPECT_EQ(r.trace.back()["round_no"].i(), 1);
    EXPECT_EQ(r.trace.back()["music"].i(), 2) << "the play track runs under the round";

    const auto frames = effects_by_frame(r);
    auto count = [&](const std::vector<std::string>& wanted) {
        return std::count(frames.begin(), frames.end(), wanted);
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(count(V{"death", "death", "death"}), 1) << "a collision";
    EXPECT_EQ(count(V{"death", "death"}), 1) << "a rocket hit";
    EXPECT_EQ(count(V{"explode", "death"}), 3) << "crashes into blocks";
    EXPECT_EQ(count(V{"explode"}), 2) << "rockets into blocks";
    EXPECT_EQ(count(V{"land"}), 1);
    EXPECT_GE(count(V{"brocket"}), 8);
    EXPECT_GE(count(V{"rrocket"}), 6);
}

TEST(Headroom, TheBusyRoundNeverReachesFullScale) {
    const BusyRound& r = busy_round();
    // The recording follows the virtual clock to the last frame.
    const double seconds = double(r.samples.size() / 2) / 44100.0;
    ASSERT_FALSE(r.trace.empty());
    EXPECT_NEAR(seconds, r.trace.back()["ms"].num() / 1000.0, 0.1);

    size_t clipped = 0;
    int peak = 0;
    for (int16_t s : r.samples) {
        if (s >= 32767 || s <= -32767) ++clipped;
        peak = std::max(peak, std::abs(int(s)));
    }
    EXPECT_EQ(clipped, 0u) << "samples at full scale";
    // The recording is the real mix, music and effects, not a quiet or empty one.
    EXPECT_GT(dbfs(peak), -6.0);
    const size_t from = size_t(r.trace[kRoundStart]["ms"].num() * 44.1) * 2;
    ASSERT_LT(from, r.samples.size());
    double acc = 0.0;
    for (size_t i = from; i < r.samples.size(); ++i) acc += double(r.samples[i]) * r.samples[i];
    const double rms = dbfs(std::sqrt(acc / double(r.samples.size() - from)));
    EXPECT_GT(rms, -20.0);
    std::printf("busy round: peak %.2f dBFS, rms %.2f dBFS over the round, %zu samples clipped\n", dbfs(peak), rms,
                clipped);
}

}  // namespace
