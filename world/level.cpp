#include "world/level.h"

#include "engine/maths.h"
#include "engine/random.h"
#include "stereo/owdraw.h"
#include "world/dust.h"
#include "world/explode.h"
#include "world/player.h"
#include "world/world.h"

level_tag level[MAP_CELLS];

namespace {

// R(n): an integer 0..n-1; R(a, b): an integer a..b-1.
int R(int n) { return Int(Rnd(n, 0)); }
int R(int a, int b) { return Int(Rnd(a, b)); }

bool is_pad(int tile) { return tile == TILE_RED_PAD || tile == TILE_BLUE_PAD; }

int random_cell() {
    int col = R(MAP_COLS);
    int row = R(MAP_ROWS);
    return row * MAP_COLS + col;
}

void place_on_start(player_tag& p, const level_tag& cell) {
    p.x = float(cell.x);
    p.y = float(cell.y);
    p.stx = cell.x;
    p.sty = cell.y;
}

}  // namespace

int cell_index(double x, double y) { return Int(x / 32) + MAP_COLS * Int((y - 32) / 32); }

int level_tag::map_init() {
    for (int i = 0; i < MAP_CELLS; ++i) {
        level[i] = level_tag{};
        level[i].x = 16 + 32 * (i % MAP_COLS);
        level[i].y = 48 + 32 * (i / MAP_COLS);
    }
    return 0;
}

int level_tag::new_map() {
    // Later steps overwrite earlier ones: blocks, then voids, then the pads.
    for (level_tag& cell : level) cell.tile = TILE_FLOOR;
    int blocks = R(20, 60);
    for (int i = 0; i < blocks; ++i) level[random_cell()].tile = TILE_BLOCK;
    int voids = R(40, 180);
    for (int i = 0; i < voids; ++i) level[random_cell()].tile = TILE_VOID;
    for (int pad_tile : {TILE_BLUE_PAD, TILE_RED_PAD}) {
        for (int n = 0; n < 5; ++n) {
            int i = random_cell();
            while (is_pad(level[i].tile)) i = random_cell();
            level[i].tile = pad_tile;
        }
    }
    // R(259): the last cell is never a start pad.
    int blue = R(259);
    while (is_pad(level[blue].tile)) blue = R(259);
    level[blue].tile = TILE_BLUE_START;
    place_on_start(player[0], level[blue]);
    int red = R(259);
    while (is_pad(level[red].tile) || level[red].tile == TILE_BLUE_START) red = R(259);
    level[red].tile = TILE_RED_START;
    place_on_start(player[1], level[red]);
    return 0;
}

int level_tag::update(int mode) {
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1.0f, 1.0f);
    if (mode == 3) {
        // The block rises 20 pixels up and to the left, dark at the foot, white on top.
        for (int k = 0; k <= 9; ++k) {
            int shade = 20 + 20 * k;
            SetColor(shade, shade, shade);
            DrawImage(tile_img, float(x - 2 * k), float(y - 2 * k), 3);
        }
        SetColor(255, 255, 255);
        DrawImage(tile_img, float(x - 20), float(y - 20), 3);
        return 0;
    }
    if (tile == TILE_VOID) return 0;
    if (tile == TILE_FLOOR) {
        SetColor(225, 225, 225);
        draw3d.sip(ALPHABLEND, 0.5f, 0, 1.0f, 1.0f);
    }
    DrawImage(tile_img, float(x), float(y), tile);
    return 0;
}

int level_tag::update_all() {
    for (int i = 0; i < MAP_CELLS; ++i) level[i].update(1);
    // Raised blocks in later cells cover a helicopter; Red is drawn over Blue.
    for (int i = 0; i < MAP_CELLS; ++i) {
        if (level[i].tile == TILE_BLOCK) level[i].update(3);
        if (i == player[0].pos) player_tag::draw_heli(0);
        if (i == player[1].pos) player_tag::draw_heli(1);
    }
    player_tag& blue = player[0];
    player_tag& red = player[1];
    bool running = world_link.round_running && world_link.round_running();
    if (blue.pos == red.pos && running && red.alt - 4 <= blue.alt && blue.alt <= red.alt + 4) {
        play_world_sfx(snd_death);
        dust_tag::set(blue.x, float(double(blue.y) - blue.alt));
        explode_tag::set(blue.x, float(double(blue.y) - blue.alt));
        dust_tag::set(red.x, float(double(red.y) - red.alt));
        explode_tag::set(red.x, float(double(red.y) - red.alt));
        blue.battery = blue.battery - 1 < 0 ? 0 : blue.battery - 1;
        red.battery = red.battery - 1 < 0 ? 0 : red.battery - 1;
        player_tag::restart(0);
        player_tag::restart(1);
    }
    return 0;
}
