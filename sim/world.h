#pragma once
// The world as one value: both helicopters, the 260 cells, the rockets and effects in
// spawn order, and the random generator they draw from. A copy of a World is a
// snapshot; the same World stepped with the same inputs gives the same World.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/random.h"
#include "sim/dust.h"
#include "sim/explode.h"
#include "sim/level.h"
#include "sim/player.h"
#include "sim/rocket.h"
#include "sim/rules.h"
#include "sim/trail.h"

struct World {
    player_tag player[2];
    level_tag level[MAP_CELLS];
    std::vector<rocket_tag> rocket_list;
    std::vector<trail_tag> trail_list;
    std::vector<explode_tag> explode_list;
    std::vector<dust_tag> dust_list;
    Rng rng;
};

// Empties the world's moving objects: trails, dust, rockets, explosions, in that order.
void clear_fx(World& w);

// A world as the program has it before its first game: the generator seeded, the two
// helicopters and the 260 cells made, every tile still 0.
World new_world(int seed);

// Calls update on every object from first to last; an object whose update returns
// false leaves the list, and the others keep their order.
template <typename T, typename Update>
void update_list(std::vector<T>& list, Update update) {
    size_t keep = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (update(list[i])) {
            if (keep != i) list[keep] = list[i];
            ++keep;
        }
    }
    list.resize(keep);
}

// The world's canonical byte form, little-endian, floats by their bits: the same
// bytes for equal worlds on every machine. The state hash is taken over it.
void write_canonical(std::vector<uint8_t>& out, const World& w);

struct CanonicalReader;
// Reads a world back from its canonical form, refusing any value the game could not
// have made (a cell index out of the arena, an unknown tile, a stalled generator, a
// list longer than any game makes): false, with the reason in the reader.
bool read_canonical(CanonicalReader& in, World& w);
