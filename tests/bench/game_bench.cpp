// Costs the player would feel: restarting a music track (the game does it on every
// pause and resume), and one frame of a running round.
#include <benchmark/benchmark.h>

#include <chrono>

#include "app/globals.h"
#include "app/harness.h"
#include "app/sound.h"
#include "engine/options.h"
#include "engine/window.h"
#include "world/player.h"

namespace {

void start_once() {
    if (game_state != 0) return;
    engine_options.headless = true;
    harness.seed = 3;
    start_game();
}

// Decoding a whole track, which start-up does once for each.
void BM_DecodeTrack(benchmark::State& state) {
    start_once();
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        Sound s = LoadSound("data\\playtrack.ogg", 1);
        benchmark::DoNotOptimize(s);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
}
BENCHMARK(BM_DecodeTrack)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Every start reuses the decoded samples: what a pause or a resume costs.
void BM_PlayMusicRestart(benchmark::State& state) {
    start_once();
    play_music(2);
    for (auto _ : state) play_music(int(state.iterations() % 2) + 1);
}
BENCHMARK(BM_PlayMusicRestart)->Unit(benchmark::kMicrosecond);

// One frame of a running round: world update, drawing recorded, HUD, present.
void BM_RunningRoundFrame(benchmark::State& state) {
    start_once();
    game_state = STATE_PLAY;
    player_tag::reset(1);
    while (play_phase == 0) game_frame();
    for (auto _ : state) {
        game_frame();
        if (game_state != STATE_PLAY || play_phase != 1) {
            game_state = STATE_PLAY;
            player_tag::reset(1);
            while (play_phase == 0) game_frame();
        }
    }
}
BENCHMARK(BM_RunningRoundFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
