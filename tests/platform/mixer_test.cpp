#include "platform/mixer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>
#include <vector>

namespace {

SamplePtr Samples16(std::vector<int16_t> samples, int channels, int rate, bool loop) {
    auto s = std::make_shared<SampleData>();
    s->rate = rate;
    s->channels = channels;
    s->bits = 16;
    s->frames = int64_t(samples.size()) / channels;
    s->loop = loop;
    s->s16 = std::move(samples);
    return s;
}

SamplePtr Samples8(std::vector<uint8_t> samples, int rate) {
    auto s = std::make_shared<SampleData>();
    s->rate = rate;
    s->bits = 8;
    s->frames = int64_t(samples.size());
    s->s8 = std::move(samples);
    return s;
}

SamplePtr Constant(int16_t value, bool loop, int frames = 64) {
    return Samples16(std::vector<int16_t>(size_t(frames), value), 1, kMixerRate, loop);
}

std::vector<int16_t> Mix(int frames) {
    std::vector<int16_t> out(size_t(frames) * 2, int16_t(12345));
    MixerMix(out.data(), frames);
    return out;
}

std::vector<int16_t> Left(const std::vector<int16_t>& frames) {
    std::vector<int16_t> out;
    for (size_t i = 0; i < frames.size(); i += 2) out.push_back(frames[i]);
    return out;
}

std::vector<int16_t> Right(const std::vector<int16_t>& frames) {
    std::vector<int16_t> out;
    for (size_t i = 1; i < frames.size(); i += 2) out.push_back(frames[i]);
    return out;
}

int Play(const SamplePtr& sample) {
    int h = MixerAlloc();
    MixerCue(h, sample, false);
    return h;
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override { MixerReset(); }
    void TearDown() override { MixerReset(); }
};

using V = std::vector<int16_t>;

TEST_F(MixerTest, HandlesCarrySlotAndGeneration) {
    int a = MixerAlloc();
    int b = MixerAlloc();
    EXPECT_EQ(a & 4095, 1);
    EXPECT_EQ(b & 4095, 2);
    EXPECT_GE(a, 4096);
    EXPECT_EQ(a % 4096, 1);
    EXPECT_EQ(MixerFreeSlots(), kMixerSlots - 2);

    MixerStop(a);
    EXPECT_FALSE(MixerValid(a));
    int c = MixerAlloc();
    EXPECT_EQ(c, a + 4096) << "the slot comes back with the next generation";
    EXPECT_TRUE(MixerValid(c));
    EXPECT_TRUE(MixerValid(b));

    // Each hand-out of the same slot moves the generation on.
    MixerStop(c);
    int d = MixerAlloc();
    EXPECT_EQ(d, c + 4096);
}

TEST_F(MixerTest, StaleHandleIsIgnored) {
    int old = Play(Constant(1000, true));
    MixerStop(old);
    int now = Play(Constant(2000, true));
    ASSERT_EQ(now & 4095, old & 4095);

    MixerSetVolume(old, 0.0f);
    MixerSetPan(old, 1.0f);
    MixerSetRate(old, 0.0f);
    MixerSetPaused(old, true);
    MixerCue(old, Constant(-5000, true), false);
    MixerRelease(old);
    MixerStop(old);

    EXPECT_EQ(MixerStatus(old), 0);
    EXPECT_EQ(MixerStatus(now), kStatusLoop);
    EXPECT_EQ(Mix(3), V(6, 2000));
}

TEST_F(MixerTest, CuedSoundWaitsForResume) {
    int h = MixerAlloc();
    MixerCue(h, Samples16({100, 200, 300, 400}, 1, kMixerRate, false), true);
    EXPECT_EQ(MixerStatus(h), kStatusSingle | kStatusPaused);
    EXPECT_EQ(Mix(4), V(8, 0));

    MixerSetPaused(h, false);
    EXPECT_EQ(MixerStatus(h), kStatusSingle);
    EXPECT_EQ(Left(Mix(3)), V({100, 200, 300})) << "the cue kept its start";

    // A looping sound cues as looping.
    int l = MixerAlloc();
    MixerCue(l, Constant(7, true), true);
    EXPECT_EQ(MixerStatus(l), kStatusLoop | kStatusPaused);
}

TEST_F(MixerTest, PauseResumesWhereItStopped) {
    std::vector<int16_t> ramp;
    for (int i = 1; i <= 10; ++i) ramp.push_back(int16_t(i * 100));
    int h = Play(Samples16(ramp, 1, kMixerRate, false));
    EXPECT_EQ(Left(Mix(3)), V({100, 200, 300}));
    MixerSetPaused(h, true);
    EXPECT_EQ(MixerStatus(h) & kStatusPaused, kStatusPaused);
    EXPECT_EQ(Mix(5), V(10, 0));
    MixerSetPaused(h, false);
    EXPECT_EQ(Left(Mix(3)), V({400, 500, 600}));
}

TEST_F(MixerTest, SingleShotStopsAtItsEndAndCanBeCuedAgain) {
    auto sound = Samples16({1000, 2000, 3000, 4000}, 1, kMixerRate, false);
    int h = Play(sound);
    EXPECT_EQ(Left(Mix(6)), V({1000, 2000, 3000, 4000, 0, 0}));
    EXPECT_EQ(MixerStatus(h), 0);
    EXPECT_TRUE(MixerValid(h)) << "an ended sound keeps its slot while the handle is owned";
    MixerSetPaused(h, false);
    EXPECT_EQ(MixerStatus(h), 0) << "resuming an ended sound does not restart it";

    MixerCue(h, sound, false);
    EXPECT_EQ(Left(Mix(2)), V({1000, 2000}));
}

TEST_F(MixerTest, StopSilencesAndFreesTheSlot) {
    int h = Play(Constant(3000, true));
    EXPECT_EQ(Mix(2), V(4, 3000));
    MixerStop(h);
    EXPECT_EQ(MixerStatus(h), 0);
    EXPECT_FALSE(MixerValid(h));
    EXPECT_EQ(MixerFreeSlots(), kMixerSlots);
    EXPECT_EQ(Mix(2), V(4, 0));

    // Stopping a slot that never played is harmless.
    int idle = MixerAlloc();
    MixerStop(idle);
    MixerStop(idle);
    EXPECT_EQ(MixerFreeSlots(), kMixerSlots);
}

TEST_F(MixerTest, VolumeIsTruncatedToFixedPoint) {
    int h = Play(Samples16({4096, 20000}, 2, kMixerRate, true));
    MixerSetVolume(h, 0.3f);
    auto out = Mix(2);
    // 0.3 × 4096 = 1228.8 is kept as 1228: 4096 × 1228 / 4096 and 20000 × 1228 / 4096.
    EXPECT_EQ(out, V({1228, 5996, 1228, 5996}));

    // Ten menu steps of 0.1 give 1.0000001, which is full volume.
    float ten_steps = 0.0f;
    for (int i = 0; i < 10; ++i) ten_steps += 0.1f;
    MixerSetVolume(h, ten_steps);
    EXPECT_EQ(Mix(1), V({4096, 20000}));

    MixerSetVolume(h, 0.0f);
    EXPECT_EQ(Mix(1), V({0, 0}));
    EXPECT_EQ(MixerStatus(h), kStatusLoop) << "a silent channel still plays";
}

TEST_F(MixerTest, PanKeepsTheLouderSideFull) {
    int h = Play(Constant(20000, true));
    MixerSetPan(h, 0.5f);
    EXPECT_EQ(Mix(1), V({10000, 20000}));
    MixerSetPan(h, 1.0f);
    EXPECT_EQ(Mix(1), V({0, 20000}));
    MixerSetPan(h, -1.0f);
    EXPECT_EQ(Mix(1), V({20000, 0}));

    // Pan and volume together: right gain 1228 × (4096 − 1024) / 4096 = 921.
    MixerSetVolume(h, 0.3f);
    MixerSetPan(h, -0.25f);
    EXPECT_EQ(Mix(1), V({5996, 4497}));

    // Depth is kept but not heard.
    MixerSetDepth(h, 0.8f);
    EXPECT_EQ(Mix(1), V({5996, 4497}));
}

TEST_F(MixerTest, SourcesAtHalfRateAreInterpolated) {
    // A mono 22050 Hz sound: every second output frame lies halfway between two samples,
    // and both sides hear the same. The last sample is held, not blended with silence.
    int h = Play(Samples16({1000, 3000, -2000, 601}, 1, 22050, false));
    auto out = Mix(10);
    EXPECT_EQ(Left(out), V({1000, 2000, 3000, 500, -2000, -700, 601, 601, 0, 0}));
    EXPECT_EQ(Right(out), Left(out));
    EXPECT_EQ(MixerStatus(h), 0) << "four source frames at half rate last eight output frames";

    // Stereo keeps its sides apart.
    Play(Samples16({0, -4000, 8000, 4000}, 2, 22050, false));
    out = Mix(5);
    EXPECT_EQ(Left(out), V({0, 4000, 8000, 8000, 0}));
    EXPECT_EQ(Right(out), V({-4000, 0, 4000, 4000, 0}));

    // The channel rate scales the step the same way.
    int r = Play(Samples16({0, 1000, 2000, 3000, 4000, 5000}, 1, kMixerRate, false));
    MixerSetRate(r, 0.25f);
    EXPECT_EQ(Left(Mix(5)), V({0, 250, 500, 750, 1000}));
    MixerSetRate(r, 2.0f);
    EXPECT_EQ(Left(Mix(3)), V({1250, 3250, 5000}));
}

TEST_F(MixerTest, EightBitSamplesAreCentred) {
    Play(Samples8({128, 255, 0, 192, 64}, kMixerRate));
    EXPECT_EQ(Left(Mix(5)), V({0, 32512, -32768, 16384, -16384}));
}

TEST_F(MixerTest, LoopWrapsSampleExactly) {
    int h = Play(Samples16({100, 200, 300, 400, 500}, 1, kMixerRate, true));
    std::vector<int16_t> heard;
    for (int frames : {7, 9, 1, 6}) {
        auto part = Left(Mix(frames));
        heard.insert(heard.end(), part.begin(), part.end());
    }
    ASSERT_EQ(heard.size(), 23u);
    for (size_t k = 0; k < heard.size(); ++k) EXPECT_EQ(heard[k], int16_t(100 * (k % 5 + 1))) << "frame " << k;
    EXPECT_EQ(MixerStatus(h), kStatusLoop);

    // At half rate the seam is interpolated towards the first sample, with no gap.
    MixerReset();
    Play(Samples16({0, 3000, 6000}, 1, 22050, true));
    const V period = {0, 1500, 3000, 4500, 6000, 3000};
    auto out = Left(Mix(18));
    for (size_t k = 0; k < out.size(); ++k) EXPECT_EQ(out[k], period[k % 6]) << "frame " << k;
}

TEST_F(MixerTest, SumIsClippedOnce) {
    int a = Play(Constant(30000, true));
    int b = Play(Constant(30000, true));
    int c = Play(Constant(-30000, true));
    EXPECT_EQ(Mix(1), V({30000, 30000})) << "channels are summed before the clip";
    MixerStop(c);
    EXPECT_EQ(Mix(1), V({32767, 32767}));
    MixerStop(a);
    MixerStop(b);
    Play(Constant(-30000, true));
    Play(Constant(-30000, true));
    EXPECT_EQ(Mix(1), V({-32768, -32768}));
}

TEST_F(MixerTest, ReleasedSoundPlaysOutThenFreesItsSlot) {
    int h = Play(Samples16({1000, 2000, 3000, 4000}, 1, kMixerRate, false));
    EXPECT_EQ(Left(Mix(1)), V({1000}));
    MixerRelease(h);
    MixerCollect();
    EXPECT_EQ(MixerFreeSlots(), kMixerSlots - 1) << "still playing";
    EXPECT_EQ(Left(Mix(4)), V({2000, 3000, 4000, 0}));
    MixerCollect();
    EXPECT_EQ(MixerFreeSlots(), kMixerSlots);
    EXPECT_EQ(MixerAlloc(), h + 4096);

    // A released loop keeps its slot and keeps playing.
    MixerReset();
    int loop = Play(Constant(500, true));
    MixerRelease(loop);
    Mix(1000);
    MixerCollect();
    EXPECT_EQ(MixerFreeSlots(), kMixerSlots - 1);
    EXPECT_EQ(Mix(1), V({500, 500}));

    // A cued sound nobody can start any more is freed at once.
    MixerReset();
    int cued = MixerAlloc();
    MixerCue(cued, Constant(500, false), true);
    MixerRelease(cued);
    EXPECT_EQ(MixerFreeSlots(), kMixerSlots);
    EXPECT_EQ(Mix(1), V({0, 0}));
}

TEST_F(MixerTest, NoFreeSlotGivesNone) {
    std::vector<int> handles;
    for (int i = 0; i < kMixerSlots; ++i) handles.push_back(MixerAlloc());
    for (int i = 0; i < kMixerSlots; ++i) ASSERT_EQ(handles[size_t(i)] & 4095, i + 1);
    EXPECT_EQ(MixerAlloc(), 0);
    EXPECT_EQ(MixerFreeSlots(), 0);
    MixerStop(handles[99]);
    EXPECT_EQ(MixerAlloc() & 4095, 100);
    EXPECT_EQ(MixerAlloc(), 0);
}

TEST_F(MixerTest, AdvanceMovesSoundsOnSilently) {
    int single = Play(Constant(1000, false, 100));
    int loop = Play(Samples16({1, 2, 3, 4, 5, 6, 7}, 1, kMixerRate, true));
    MixerAdvance(99);
    EXPECT_EQ(MixerStatus(single), kStatusSingle);
    MixerAdvance(1);
    EXPECT_EQ(MixerStatus(single), 0);
    EXPECT_EQ(MixerStatus(loop), kStatusLoop);
    EXPECT_EQ(Left(Mix(2)), V({3, 4})) << "100 frames into a loop of 7 is its third frame";
}

// The audio thread mixes without pause while the game thread hands out, cues, stops and
// releases slots with sample memory that it drops at once. Every sound is a constant
// 1000 at full volume, so any output that is not a multiple of 1000 was read from
// memory it should not have seen (the sanitizer build catches the reads themselves).
TEST_F(MixerTest, GameAndAudioThreadsShareTheTable) {
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::atomic<long> frames_mixed{0};
    std::thread audio_thread([&] {
        std::vector<int16_t> out(512 * 2);
        while (!done.load()) {
            MixerMix(out.data(), 512);
            for (int16_t s : out) {
                if (s < 0 || (s % 1000 != 0 && s != 32767)) bad++;
            }
            frames_mixed += 512;
        }
    });
    std::deque<int> live;
    for (int i = 0; i < 3000; ++i) {
        bool loop = i % 3 == 0;
        int h = MixerAlloc();
        MixerCue(h, Constant(1000, loop, 40 + i % 50), i % 5 == 0);
        MixerSetPaused(h, false);
        live.push_back(h);
        if (live.size() > 8) {
            int old = live.front();
            live.pop_front();
            if (MixerStatus(old) & kStatusLoop) {
                MixerStop(old);
            } else {
                MixerRelease(old);
            }
        }
        if (i % 16 == 0) std::this_thread::yield();
    }
    done = true;
    audio_thread.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(frames_mixed.load(), 0);
}

}  // namespace
