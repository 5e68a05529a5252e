#pragma once
// The arena: 20 columns by 13 rows of 32-pixel cells from y 32 to 448, a new random map
// every round.
#include "sim/rules.h"

struct World;
struct FrameEvents;

// Tile values.
enum : int {
    TILE_VOID = 0,
    TILE_FLOOR = 1,
    TILE_BLOCK = 3,
    TILE_RED_START = 4,
    TILE_BLUE_START = 5,
    TILE_RED_PAD = 6,
    TILE_BLUE_PAD = 7,
};

struct level_tag {
    int x = 0, y = 0;  // cell centre
    int tile = 0;
    bool operator==(const level_tag&) const = default;

    // Creates the 260 cells with their centres.
    static void map_init(World& w);
    // A new random map; puts both helicopters on their new start pads.
    static void new_map(World& w);
    // The collision of the two helicopters, tested each time the arena is drawn:
    // same cell, altitudes within the hit window, while a round runs.
    static void collide(World& w, FrameEvents& ev, bool round_running);
};

// The cell under a ground point: Int(x / 32) + 20 * Int((y - 32) / 32).
int cell_index(double x, double y);
