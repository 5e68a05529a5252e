// Costs the player would feel: restarting a music track (the game does it on every
// pause and resume), and one frame of a running round.
#include <benchmark/benchmark.h>

#include <chrono>

#include "session/local_play.h"
#include "session/runner.h"
#include "platform/options.h"

namespace {

Program& program() {
    static Program p;
    static bool started = false;
    if (!started) {
        engine_options.headless = true;
        start_program(p, 3);
        started = true;
    }
    return p;
}

// Decoding a whole track, which start-up does once for each.
void BM_DecodeTrack(benchmark::State& state) {
    program();
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
    Program& p = program();
    for (auto _ : state) p.sound.play_music(int(state.iterations() % 2) + 1, 1.0f);
}
BENCHMARK(BM_PlayMusicRestart)->Unit(benchmark::kMicrosecond);

// One frame of a running round: step, drawing, HUD, present.
void BM_RunningRoundFrame(benchmark::State& state) {
    Program& p = program();
    auto new_round = [&] {
        p.game.game_state = GameState::play;
        player_tag::reset(p.world, 1);
        p.game.play_phase = PlayPhase::running;
        p.game.after = AfterPresent::check_keys;
    };
    new_round();
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
    for (auto _ : state) {
        run_frame(p, mode);
        if (p.game.game_state != GameState::play || p.game.play_phase != PlayPhase::running) new_round();
    }
}
BENCHMARK(BM_RunningRoundFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
