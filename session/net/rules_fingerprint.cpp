#include "session/net/rules_fingerprint.h"

#include "session/advance.h"
#include "session/net/rollback.h"
#include "sim/snapshot.h"

namespace {

constexpr int kSeed = 20261;
constexpr long kFrames = 1800;

// A stick that moves on its own beat, so each side turns, climbs and flies about.
int8_t beat(long frame, int period) { return int8_t((frame / period) % 3 - 1); }

}  // namespace

uint64_t compute_rules_fingerprint() {
    World w = new_world(kSeed);
    Game g = new_game_state(PAD_PORTS, false);
    FrameResult out;
    out.draw = false;
    for (long f = 1; f <= kFrames; ++f) {
        NetInput player[2];
        for (int side = 0; side < 2; ++side) {
            for (int a = 0; a < 4; ++a) player[side].axis[a] = beat(f + 11 * side, 13 + 7 * a + 5 * side);
            // Fire held in long bursts: each shot waits out the cool-down.
            player[side].buttons = ((f / (90 + 40 * side)) % 4 != 3) ? 1u : 0u;
        }
        if (g.game_state == GameState::title) player[0].command = NetCommand::start;
        out.events.clear();
        advance(w, g, compose_input(g, player[0], player[1]), out);
    }
    return state_hash(w, g);
}

uint64_t rules_fingerprint() {
    static const uint64_t fingerprint = compute_rules_fingerprint();
    return fingerprint;
}
