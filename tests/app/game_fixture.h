#pragma once
// The game's rules frame by frame, without a window or a device: a World and a Game
// stepped with hand-made input. What the frames ask for (sounds, music, waits, the
// pointer) is kept to look at, and the pointer moves as a device would.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/game_state.h"
#include "app/sound.h"
#include "app/step.h"
#include "world/world.h"

class GameTest : public ::testing::Test {
protected:
    World w;
    Game g;
    FrameInput in;
    FrameResult out;
    std::vector<std::string> heard;
    int music = 0;      // the track the frames left playing; 0 none
    int waited_ms = 0;  // waits asked for
    int flush_waits = 0;

    void SetUp() override { start(5, 2); }

    // A run from its start through the logo intro (cut short by a click) to the title.
    void start(int seed, int pads) {
        w = new_world(seed);
        g = new_game_state(pads);
        in = FrameInput{};
        in.pad_count = pads;
        in.mouse_x = 320;
        in.mouse_y = 240;
        frames();
        click_at(320, 240);
        frames();
        heard.clear();
        ASSERT_EQ(g.game_state, GameState::title);
    }

    // Runs frames and keeps what they asked for; a press lasts one frame.
    void frames(int n = 1) {
        for (int i = 0; i < n; ++i) {
            // After the round opening's last picture nothing is read: presses wait.
            bool reads = g.after != AfterPresent::round_start;
            step(w, g, in, out);
            if (reads) {
                in.clicks = in.esc = in.space = 0;
                in.quit = false;
                in.flushed = false;
            }
            for (const FrameEvent& e : out.events.list) {
                using K = FrameEvent::Kind;
                if (e.kind == K::sfx) heard.push_back(sfx_name(e.sfx));
                if (e.kind == K::music) music = e.value;
                if (e.kind == K::music_stop) music = 0;
                if (e.kind == K::wait) waited_ms += e.value;
                if (e.kind == K::flush_wait) ++flush_waits;
                if (e.kind == K::warp_pointer) in.mouse_x = e.x, in.mouse_y = e.y;
            }
            if (out.ended) return;
        }
    }

    void pointer(int x, int y) {
        in.mouse_x = x;
        in.mouse_y = y;
    }
    void click_at(int x, int y) {
        pointer(x, y);
        in.clicks = 1;
    }
    void click() { in.clicks = 1; }
    void esc() { in.esc = 1; }
    void space() { in.space = 1; }
    void stick(int port, int axis, float v) { in.port[port].axis[axis] = v; }
    void button(int port, int b, bool down) {
        if (down) in.port[port].buttons |= 1u << b;
        else in.port[port].buttons &= ~(1u << b);
    }

    bool was_heard(const std::string& name) const {
        return std::find(heard.begin(), heard.end(), name) != heard.end();
    }

    // Starts a game from the title with the mouse and runs the round opening.
    void start_from_title() {
        click_at(320, 245);
        frames();
        ASSERT_EQ(g.game_state, GameState::play);
        while (g.play_phase == PlayPhase::opening) frames();
    }
};
