// Audio costs: the mixer's CPU time per second of audio with 32 channels playing, and the
// time LoadSound takes to decode a minute of OGG music.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "sound_files.h"
#include "platform/audio.h"
#include "platform/mixer.h"
#include "platform/options.h"

namespace {

using namespace sound_files;

SamplePtr Tone(double hz, int rate, int channels, double seconds, bool loop) {
    auto s = std::make_shared<SampleData>();
    s->rate = rate;
    s->channels = channels;
    s->loop = loop;
    std::vector<double> tones(size_t(channels), hz);
    if (channels == 2) tones[1] = hz * 1.5;
    s->s16 = Tones(tones, rate, int(seconds * rate), 9000.0);
    s->frames = int64_t(s->s16.size()) / channels;
    return s;
}

// One second of audio (44100 frames, mixed in device-sized buffers of 512 frames) with 32
// channels of every kind the game can have: mono and stereo, 44100 and 22050 Hz, assorted
// volumes and pans, all looping so that none drops out. Time per iteration is the CPU
// cost of one second of sound.
void BM_Mix32ChannelsOneSecond(benchmark::State& state) {
    MixerReset();
    std::vector<SamplePtr> sounds = {
        Tone(220.0, 44100, 2, 3.0, true), Tone(330.0, 44100, 1, 1.0, true),
        Tone(440.0, 22050, 1, 0.5, true), Tone(550.0, 22050, 2, 2.0, true)};
    for (int i = 0; i < 32; ++i) {
        int h = MixerAlloc();
        MixerCue(h, sounds[size_t(i) % sounds.size()], false);
        MixerSetVolume(h, 0.2f + 0.025f * float(i));
        MixerSetPan(h, float(i % 5 - 2) * 0.3f);
    }
    std::vector<int16_t> out(512 * 2);
    for (auto _ : state) {
        for (int done = 0; done < 44100; done += 512) {
            MixerMix(out.data(), std::min(512, 44100 - done));
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 44100 * 32);
    state.SetLabel("per second of audio; items are channel-frames");
    MixerReset();
}
BENCHMARK(BM_Mix32ChannelsOneSecond)->Unit(benchmark::kMillisecond);

// The play track when it is there, else a minute of stereo music-like sound encoded here.
std::string MinuteOfOgg() {
    static std::string path;
    if (!path.empty()) return path;
    if (std::filesystem::exists("data/playtrack.ogg")) return path = "data/playtrack.ogg";
    const int rate = 44100;
    const int frames = 60 * rate;
    std::vector<int16_t> music(size_t(frames) * 2);
    uint32_t noise = 1;
    for (int f = 0; f < frames; ++f) {
        const double t = double(f) / rate;
        const double beat = (f / (rate / 4)) % 4 == 0 ? 1.0 : 0.4;
        noise = noise * 1664525u + 1013904223u;
        const double hiss = double(int32_t(noise) >> 20) / 2048.0;
        const double bass = std::sin(6.2831853 * 55.0 * (1 + (f / rate) % 3) * t);
        const double lead = std::sin(6.2831853 * (440.0 + 110.0 * ((f / (rate / 2)) % 5)) * t);
        music[size_t(f) * 2] = int16_t(7000 * bass + 5000 * beat * lead + 800 * hiss);
        music[size_t(f) * 2 + 1] = int16_t(7000 * bass + 4000 * lead + 800 * beat * hiss);
    }
    std::string made = (std::filesystem::temp_directory_path() / "whirlbat-bench-minute.ogg").string();
    if (!WriteFile(made, EncodeOgg(music, 2, rate, 0.3f))) return "";
    return path = made;
}

void BM_LoadSoundOggMinute(benchmark::State& state) {
    unsetenv("SDL_AUDIODRIVER");
    engine_options.headless = true;
    const std::string path = MinuteOfOgg();
    Sound probe = LoadSound(path, 1);
    if (!probe) {
        state.SkipWithError("no OGG to decode");
        return;
    }
    for (auto _ : state) {
        Sound sound = LoadSound(path, 1);
        benchmark::DoNotOptimize(sound.get());
    }
    state.SetLabel(path);
    state.SetBytesProcessed(state.iterations() * int64_t(std::filesystem::file_size(path)));
    AudioShutdown();
}
BENCHMARK(BM_LoadSoundOggMinute)->Unit(benchmark::kMillisecond);

}  // namespace
