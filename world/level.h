#pragma once
// The arena: 20 columns by 13 rows of 32-pixel cells from y 32 to 448, a new random map
// every round, drawn with its raised blocks in painter's order around the helicopters.

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

constexpr int MAP_COLS = 20;
constexpr int MAP_ROWS = 13;
constexpr int MAP_CELLS = MAP_COLS * MAP_ROWS;

struct level_tag {
    int x = 0, y = 0;  // cell centre
    int tile = 0;

    // Creates the 260 cells with their centres.
    static int map_init();
    // A new random map; puts both helicopters on their new start pads.
    static int new_map();
    // Draws the cell: mode 3 the raised block stack, any other mode the flat tile.
    int update(int mode);
    // Draws the arena with the helicopters between its raised blocks, then lets the
    // helicopters collide.
    static int update_all();
};

extern level_tag level[MAP_CELLS];

// The cell under a ground point: Int(x / 32) + 20 * Int((y - 32) / 32).
int cell_index(double x, double y);
