#pragma once
// Snapshots and the state hash. A snapshot is a copy of the two state values; the hash
// is a 64-bit xxHash (XXH3) of their canonical byte form, the same on every machine for
// the same state.
#include <cstdint>

#include "sim/game_state.h"
#include "sim/world.h"

struct Snapshot {
    World world;
    Game game;

    void save(const World& w, const Game& g) {
        world = w;
        game = g;
    }
    void restore(World& w, Game& g) const {
        w = world;
        g = game;
    }
};

uint64_t state_hash(const World& w, const Game& g);
