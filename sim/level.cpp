#include "sim/level.h"

#include "sim/maths.h"
#include "sim/events.h"
#include "sim/world.h"

namespace {

// R(n): an integer 0..n-1; R(a, b): an integer a..b-1.
int R(Rng& rng, int n) { return Int(rng.Rnd(n, 0)); }
int R(Rng& rng, int a, int b) { return Int(rng.Rnd(a, b)); }

bool is_pad(int tile) { return tile == TILE_RED_PAD || tile == TILE_BLUE_PAD; }

int random_cell(Rng& rng) {
    int col = R(rng, MAP_COLS);
    int row = R(rng, MAP_ROWS);
    return row * MAP_COLS + col;
}

void place_on_start(player_tag& p, const level_tag& cell) {
    p.x = float(cell.x);
    p.y = float(cell.y);
    p.stx = cell.x;
    p.sty = cell.y;
}

int lose_battery(int battery) { return battery - 1 < 0 ? 0 : battery - 1; }

}  // namespace

// QUIRK(right-edge-runs-on): past x = 640 the column count runs on into the next row.
int cell_index(double x, double y) {
    return Int(x / CELL_SIZE) + MAP_COLS * Int((y - ARENA_TOP) / CELL_SIZE);
}

void level_tag::map_init(World& w) {
    for (int i = 0; i < MAP_CELLS; ++i) {
        w.level[i] = level_tag{};
        w.level[i].x = 16 + CELL_SIZE * (i % MAP_COLS);
        w.level[i].y = 48 + CELL_SIZE * (i / MAP_COLS);
    }
}

void level_tag::new_map(World& w) {
    Rng& rng = w.rng;
    level_tag* level = w.level;
    // Later steps overwrite earlier ones: blocks, then voids, then the pads.
    for (int i = 0; i < MAP_CELLS; ++i) level[i].tile = TILE_FLOOR;
    int blocks = R(rng, 20, 60);
    for (int i = 0; i < blocks; ++i) level[random_cell(rng)].tile = TILE_BLOCK;
    int voids = R(rng, 40, 180);
    for (int i = 0; i < voids; ++i) level[random_cell(rng)].tile = TILE_VOID;
    for (int pad_tile : {TILE_BLUE_PAD, TILE_RED_PAD}) {
        for (int n = 0; n < PADS_PER_SIDE; ++n) {
            int i = random_cell(rng);
            while (is_pad(level[i].tile)) i = random_cell(rng);
            level[i].tile = pad_tile;
        }
    }
    // QUIRK(last-cell-never-a-start): R(259) leaves out the bottom-right cell.
    int blue = R(rng, MAP_CELLS - 1);
    while (is_pad(level[blue].tile)) blue = R(rng, MAP_CELLS - 1);
    level[blue].tile = TILE_BLUE_START;
    place_on_start(w.player[0], level[blue]);
    int red = R(rng, MAP_CELLS - 1);
    while (is_pad(level[red].tile) || level[red].tile == TILE_BLUE_START) red = R(rng, MAP_CELLS - 1);
    level[red].tile = TILE_RED_START;
    place_on_start(w.player[1], level[red]);
}

// QUIRK(collision): tested wherever the arena is drawn, after the drawing, with the
// cells the flight steps left; landed helicopters collide too.
void level_tag::collide(World& w, FrameEvents& ev, bool round_running) {
    player_tag& blue = w.player[0];
    player_tag& red = w.player[1];
    if (blue.pos == red.pos && round_running && red.alt - HIT_WINDOW <= blue.alt &&
        blue.alt <= red.alt + HIT_WINDOW) {
        ev.play(Sfx::death);
        dust_tag::set(w, blue.x, float(double(blue.y) - blue.alt));
        explode_tag::set(w, blue.x, float(double(blue.y) - blue.alt));
        dust_tag::set(w, red.x, float(double(red.y) - red.alt));
        explode_tag::set(w, red.x, float(double(red.y) - red.alt));
        blue.battery = lose_battery(blue.battery);
        red.battery = lose_battery(red.battery);
        player_tag::restart(w, 0, ev);
        player_tag::restart(w, 1, ev);
    }
}
