// What rewinding costs: saving and restoring the whole state, hashing it, and running
// eight frames of a busy round again without drawing.
#include <benchmark/benchmark.h>

#include "sim/snapshot.h"
#include "sim/step.h"

namespace {

// A round in full swing: both helicopters up, four rockets in flight with their trails,
// explosions and dust from two hits.
struct BusyRound {
    World w = new_world(42);
    Game g = new_game_state(2);
    FrameInput in;

    BusyRound() {
        player_tag::reset(w, 1);
        g.game_state = GameState::play;
        g.play_phase = PlayPhase::running;
        g.round_no = 1;
        g.after = AfterPresent::check_keys;
        for (level_tag& c : w.level) c.tile = c.tile == TILE_VOID || c.tile == TILE_BLOCK ? TILE_FLOOR : c.tile;
        for (int i = 0; i < 2; ++i) {
            player_tag& p = w.player[i];
            p.alt = 30;
            p.scale = 0.8f;
            p.rotspd = 20;
        }
        for (int k = 0; k < 4; ++k) {
            w.player[k % 2].rotation = float(90 * k);
            rocket_tag::fire(w, k % 2);
        }
        FrameResult out;
        out.draw = false;
        for (int f = 0; f < 30; ++f) step(w, g, in, out);
        explode_tag::set(w, 200, 200);
        dust_tag::set(w, 200, 200);
        explode_tag::set(w, 400, 300);
        dust_tag::set(w, 400, 300);
        in.port[0].axis[AXIS_X] = 1;
        in.port[1].axis[AXIS_R] = -1;
    }
};

void BM_SnapshotSaveRestore(benchmark::State& state) {
    BusyRound r;
    Snapshot s;
    s.save(r.w, r.g);  // the first save sizes the snapshot's lists
    for (auto _ : state) {
        s.save(r.w, r.g);
        s.restore(r.w, r.g);
        benchmark::ClobberMemory();
    }
    state.counters["rockets"] = double(r.w.rocket_list.size());
    state.counters["trails"] = double(r.w.trail_list.size());
    state.counters["sparks"] = double(r.w.explode_list.size());
}
BENCHMARK(BM_SnapshotSaveRestore)->Unit(benchmark::kMicrosecond);

void BM_StateHash(benchmark::State& state) {
    BusyRound r;
    for (auto _ : state) benchmark::DoNotOptimize(state_hash(r.w, r.g));
}
BENCHMARK(BM_StateHash)->Unit(benchmark::kMicrosecond);

// A rollback of eight frames: restore, then eight steps without drawing.
void BM_RerunEightFrames(benchmark::State& state) {
    BusyRound r;
    Snapshot s;
    s.save(r.w, r.g);
    World w;
    Game g;
    FrameResult out;
    out.draw = false;
    for (auto _ : state) {
        s.restore(w, g);
        for (int f = 0; f < 8; ++f) step(w, g, r.in, out);
        benchmark::DoNotOptimize(w.player[0].x);
    }
}
BENCHMARK(BM_RerunEightFrames)->Unit(benchmark::kMicrosecond);

}  // namespace
