#pragma once
// The whole game in the test process, headless: start-up once, then frame by frame,
// with the state open to the test between frames.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/harness.h"
#include "app/menus.h"
#include "app/rounds.h"
#include "app/sound.h"
#include "engine/input.h"
#include "engine/options.h"
#include "engine/window.h"
#include "support.h"
#include "virtual_pad.h"
#include "world/level.h"
#include "world/player.h"

// Keys and clicks through SDL's event queue, as a player makes them.
inline void push_key(SDL_Keycode sym, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = sym;
    SDL_PushEvent(&e);
}

inline void press_key(SDL_Keycode sym) {
    push_key(sym, true);
    push_key(sym, false);
}

// A left click where the pointer is.
inline void click() {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
}

class GameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (game_state != 0) return;
        engine_options.headless = true;
        harness.seed = 5;
        start_game();
    }

    void SetUp() override {
        game_state = STATE_TITLE;
        quit_game = 0;
        take_sfx_log();
    }

    // Runs frames of the loop and collects the effects started meanwhile.
    void frames(int n = 1) {
        for (int i = 0; i < n; ++i) {
            game_frame();
            for (std::string& s : take_sfx_log()) heard.push_back(s);
        }
    }

    bool was_heard(const std::string& name) const {
        return std::find(heard.begin(), heard.end(), name) != heard.end();
    }

    // Starts a game from the title menu with the mouse and runs the round opening.
    void start_from_title() {
        game_state = STATE_TITLE;
        MoveMouse(320, 245);
        click();
        frames();
        ASSERT_EQ(game_state, STATE_PLAY);
        while (play_phase == 0) frames();
    }

    std::vector<std::string> heard;
};
