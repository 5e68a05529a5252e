#include "present/world_draw.h"

#include "sim/maths.h"
#include "present/owdraw.h"

void draw_cell(owdraw_tag& draw3d, const level_tag& cell, int mode, const Sprites& s) {
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, 0, 1.0f, 1.0f);
    if (mode == 3) {
        // The block rises 20 pixels up and to the left, dark at the foot, white on top.
        for (int k = 0; k <= 9; ++k) {
            int shade = 20 + 20 * k;
            SetColor(shade, shade, shade);
            DrawImage(s.tile_img, float(cell.x - 2 * k), float(cell.y - 2 * k), 3);
        }
        SetColor(255, 255, 255);
        DrawImage(s.tile_img, float(cell.x - 20), float(cell.y - 20), 3);
        return;
    }
    if (cell.tile == TILE_VOID) return;
    if (cell.tile == TILE_FLOOR) {
        SetColor(225, 225, 225);
        draw3d.sip(ALPHABLEND, 0.5f, 0, 1.0f, 1.0f);
    }
    DrawImage(s.tile_img, float(cell.x), float(cell.y), cell.tile);
}

void draw_heli(owdraw_tag& draw3d, const player_tag& h, int index, const Sprites& s) {
    float sc = h.scale, r = h.rotation, b = h.bladerot;
    float px = float(Int(h.x)), py = float(Int(h.y));
    float body_y = float(Int(h.y) - h.alt);
    int f = h.frame + h.a_ctr;
    // The shadow: the same sprite almost black, at half size on the ground point.
    SetColor(10, 10, 10);
    draw3d.sip(ALPHABLEND, 1.0f, r, 0.5f, 0.5f);
    DrawImage(s.heli_img, px, py, f);
    draw3d.sip(ALPHABLEND, 1.0f, b, 0.5f, 0.5f);
    DrawImage(s.blade_img, px, py, index);
    // The body, raised by the altitude and grown by the scale.
    SetColor(255, 255, 255);
    draw3d.sip(MASKBLEND, 1.0f, r, sc, sc);
    DrawImage(s.heli_img, px, body_y, f);
    draw3d.sip(MASKBLEND, 1.0f, b, sc, sc);
    DrawImage(s.blade_img, px, body_y, index);
    draw3d.sip(MASKBLEND, 1.0f, r, sc, sc);
}

void draw_arena(owdraw_tag& draw3d, const level_tag (&level)[MAP_CELLS], const player_tag (&player)[2], const Sprites& s) {
    for (int i = 0; i < MAP_CELLS; ++i) draw_cell(draw3d, level[i], 1, s);
    for (int i = 0; i < MAP_CELLS; ++i) {
        if (level[i].tile == TILE_BLOCK) draw_cell(draw3d, level[i], 3, s);
        if (i == player[0].pos) draw_heli(draw3d, player[0], 0, s);
        if (i == player[1].pos) draw_heli(draw3d, player[1], 1, s);
    }
}

void draw_dusts(owdraw_tag& draw3d, const std::vector<dust_tag>& list, const Sprites& s) {
    for (const dust_tag& d : list) {
        SetColor(255, 255, 255);
        draw3d.sip(ALPHABLEND, d.al, float(d.rot), d.sc, d.sc);
        DrawImage(s.tile_img, d.x, d.y, 8);
    }
}

void draw_explodes(owdraw_tag& draw3d, const std::vector<explode_tag>& list, const Sprites& s) {
    for (const explode_tag& e : list) {
        SetColor(255, 255, 255);
        draw3d.sip(LIGHTBLEND, e.al, 0, e.sc, e.sc);
        DrawImage(s.tile_img, e.x, e.y, 9);
    }
}

void draw_trails(owdraw_tag& draw3d, const std::vector<trail_tag>& list, const Sprites& s) {
    for (const trail_tag& t : list) {
        // A puff is drawn after its update, in the blend of the stage it started in.
        trail_tag after = t;
        after.update();
        SetColor(255, 255, 255);
        draw3d.sip(t.frame == 2 ? LIGHTBLEND : ALPHABLEND, 1.0f, t.rot, t.scale, t.scale);
        DrawImage(s.rocket_img, t.x, t.y, after.frame);
    }
}

void draw_rockets(owdraw_tag& draw3d, const std::vector<rocket_tag>& list, const Sprites& s) {
    for (const rocket_tag& r : list) {
        SetColor(10, 10, 10);
        draw3d.sip(MASKBLEND, 1.0f, r.dir, 0.5f, 0.6f);
        DrawImage(s.rocket_img, r.x, r.y, r.frame);
        SetColor(255, 255, 255);
        draw3d.sip(MASKBLEND, 1.0f, r.dir, r.scale, r.scale);
        DrawImage(s.rocket_img, r.x, float(double(r.y) - r.alt), r.frame);
    }
}
