#pragma once
// A small world for tests: an all-floor arena, both helicopters on the ground, the pad
// ports set by hand, and the frame's events kept to look at.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "world/events.h"
#include "world/pads.h"
#include "world/world.h"

class WorldTest : public ::testing::Test {
protected:
    World w = new_world(1);
    FrameEvents ev;
    Pads pads;
    int pads_found = 2;
    bool running = true;

    void SetUp() override {
        w = new_world(1);
        ev.clear();
        pads = Pads{};
        pads_found = 2;
        running = true;
        for (level_tag& cell : w.level) cell.tile = TILE_FLOOR;
        for (int i = 0; i < 2; ++i) place(i, i == 0 ? 45 : 214);
    }

    int heard(Sfx s) const {
        int n = 0;
        for (const FrameEvent& e : ev.list) n += e.kind == FrameEvent::Kind::sfx && e.sfx == s;
        return n;
    }

    // Puts a helicopter on the ground at a cell's centre, with that cell as its start.
    void place(int index, int cell) {
        player_tag& p = w.player[index];
        p.x = float(w.level[cell].x);
        p.y = float(w.level[cell].y);
        p.stx = w.level[cell].x;
        p.sty = w.level[cell].y;
        p.scale = GROUND_SCALE;
        p.alt = 0;
        p.pos = cell;
        p.battery = BATTERIES;
        p.pads = PADS_PER_SIDE;
    }

    // In the air at an altitude, with the scale that many climb steps leave.
    void lift(int index, int alt) {
        player_tag& p = w.player[index];
        p.alt = alt;
        p.scale = GROUND_SCALE;
        for (int i = 0; i < alt; ++i) p.scale = float(double(p.scale) + CLIMB_SCALE_STEP);
        p.rotspd = ROTOR_SPIN;
    }

    void stick(int port, int axis, float value) { pads.port[port].axes[axis] = value; }
    void button(int port, int b, bool down) {
        if (down) pads.port[port].buttons |= 1u << b;
        else pads.port[port].buttons &= ~(1u << b);
    }

    // The flight step of both helicopters and their controls, as in running frames.
    void fly(int frames = 1) {
        for (int i = 0; i < frames; ++i) {
            for (PortState& port : pads.port) port.read = false;
            player_tag::update_all(w, pads, pads_found, ev);
        }
    }

    // A float as the game's known figures are written: six significant digits.
    static std::string g6(float v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.6g", double(v));
        return buf;
    }
};
