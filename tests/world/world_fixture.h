#pragma once
// A small world for tests: an all-floor arena, both helicopters on the ground, the
// sounds the world plays recorded, and virtual pads to fly with.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/input.h"
#include "virtual_pad.h"
#include "world/dust.h"
#include "world/explode.h"
#include "world/level.h"
#include "world/player.h"
#include "world/rocket.h"
#include "world/trail.h"
#include "world/world.h"

class WorldTest : public ::testing::Test {
protected:
    static inline std::vector<const Sound*> sounds;
    static inline bool running = true;

    void SetUp() override {
        sounds.clear();
        running = true;
        world_link.play_sfx = [](const Sound& s) { sounds.push_back(&s); };
        world_link.round_running = [] { return running; };
        world_link.reset_done = nullptr;
        player_tag::init();
        level_tag::map_init();
        for (level_tag& cell : level) cell.tile = TILE_FLOOR;
        clear_fx();
        pads_found = 0;
        for (int i = 0; i < 2; ++i) place(i, i == 0 ? 45 : 214);
    }

    void TearDown() override {
        pads.clear();
        world_link = world_link_t{};
    }

    static int heard(const Sound& s) {
        int n = 0;
        for (const Sound* p : sounds) n += p == &s;
        return n;
    }

    // Puts a helicopter on the ground at a cell's centre, with that cell as its start.
    static void place(int index, int cell) {
        player_tag& p = player[index];
        p.x = float(level[cell].x);
        p.y = float(level[cell].y);
        p.stx = level[cell].x;
        p.sty = level[cell].y;
        p.scale = 0.5f;
        p.alt = 0;
        p.pos = cell;
        p.battery = 5;
        p.pads = 5;
    }

    // In the air at an altitude, with the scale that many climb steps leave.
    static void lift(int index, int alt) {
        player_tag& p = player[index];
        p.alt = alt;
        p.scale = 0.5f;
        for (int i = 0; i < alt; ++i) p.scale = float(double(p.scale) + 0.01f);
        p.rotspd = 20;
    }

    // Attaches n virtual pads and counts them as the menu would.
    void attach_pads(int n) {
        pads.clear();
        for (int i = 0; i < n; ++i) pads.push_back(std::make_unique<test_support::VirtualPad>());
        pads_found = JoyCount();
    }

    test_support::VirtualPad& pad(int i) { return *pads[i]; }

    // The flight step of both helicopters and their controls, as in a running frame.
    static void fly(int frames = 1) {
        for (int i = 0; i < frames; ++i) player_tag::update_all();
    }

    // A float as the game's known figures are written: six significant digits.
    static std::string g6(float v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.6g", double(v));
        return buf;
    }

    std::vector<std::unique_ptr<test_support::VirtualPad>> pads;
};
