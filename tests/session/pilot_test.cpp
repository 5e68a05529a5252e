// A whole game played through two virtual pads. Blue's pilot flies onto its five pads
// round after round, shooting blocks out of its way; Red's pilot sets down on a void
// twice a round until its batteries are gone. Screenshots of every screen go to the
// test output.
#include <array>
#include <deque>

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "session/local_play.h"
#include "session/runner.h"
#include "platform/options.h"
#include "platform/pacer.h"
#include "platform/events.h"
#include "support.h"
#include "virtual_pad.h"

namespace {

using test_support::OutputPath;
using test_support::VirtualPad;

constexpr int kLeftY = SDL_CONTROLLER_AXIS_LEFTY;
constexpr int kRightX = SDL_CONTROLLER_AXIS_RIGHTX;
constexpr int kRightY = SDL_CONTROLLER_AXIS_RIGHTY;

// Flies one helicopter with its pad: heading always 0 (nose up), sliding and moving
// forward and back toward the next cell of a shortest path, rockets for blocks in the
// way to the north, then down onto the target cell.
// Keys and clicks through SDL's event queue, as a player makes them.
void push_key(SDL_Keycode sym, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = sym;
    SDL_PushEvent(&e);
}

void press_key(SDL_Keycode sym) {
    push_key(sym, true);
    push_key(sym, false);
}

void click() {
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    SDL_PushEvent(&e);
    e.type = SDL_MOUSEBUTTONUP;
    SDL_PushEvent(&e);
}

class Pilot {
public:
    Pilot(const World& w, int index, VirtualPad& pad, int cruise) : w_(w), index_(index), pad_(pad), cruise_(cruise) {}

    void fly_to(int target) { target_ = target; }
    int target() const { return target_; }
    void rest() { target_ = -1; }

    void frame() {
        const player_tag& h = w_.player[index_];
        float climb = 0, slide = 0, move = 0;
        bool fire = false;
        if (target_ >= 0 && !(h.alt == 0 && h.pos == target_)) {
            std::vector<int> path = route(h.pos, target_);
            if (h.alt == 0) {
                climb = -1;
            } else if (!path.empty()) {
                int here = path[0], next = path.size() > 1 ? path[1] : here;
                bool block_ahead = w_.level[next].tile == TILE_BLOCK;
                // Across the move: the centre of this cell; along it: the next cell's.
                float wx = float(next % 20 == here % 20 ? w_.level[here].x : w_.level[next].x);
                float wy = float(next / 20 == here / 20 ? w_.level[here].y : w_.level[next].y);
                if (block_ahead) wx = float(w_.level[here].x), wy = float(w_.level[here].y);
                float dx = wx - h.x, dy = wy - h.y;
                slide = steer(h.ail, dx);
                move = steer(h.elv, dy);  // a positive elv moves down the screen
                bool settled = std::abs(dx) < 2 && std::abs(dy) < 2 && std::abs(h.ail) < 0.05f && std::abs(h.elv) < 0.05f;
                if (block_ahead && settled && h.rocket_ctr == 0) fire = !fired_last_;
                // Blue also shoots at any block straight ahead, for the fun of it.
                if (index_ == 0 && h.alt >= cruise_ && h.rocket_ctr == 0 && block_north(here)) fire = !fired_last_;
                if (h.alt < cruise_ && !(here == target_ && settled)) climb = -1;
                if (here == target_ && settled) climb = 1;  // down onto the target
            }
        }
        fired_last_ = fire;
        pad_.stick(SDL_CONTROLLER_AXIS_LEFTX, 0);
        pad_.stick(kLeftY, climb);
        pad_.stick(kRightX, slide);
        pad_.stick(kRightY, move);
        pad_.button(SDL_CONTROLLER_BUTTON_A, fire);
    }

    // The nearest cell holding one of the tiles that a path reaches, or -1.
    int nearest(std::initializer_list<int> tiles) const {
        int best = -1;
        size_t best_len = 9999;
        for (int c = 0; c < 260; ++c) {
            if (std::find(tiles.begin(), tiles.end(), w_.level[c].tile) == tiles.end()) continue;
            std::vector<int> p = route(w_.player[index_].pos, c);
            if (!p.empty() && p.size() < best_len) best = c, best_len = p.size();
        }
        return best;
    }

private:
    bool block_north(int cell) const {
        for (int c = cell - 20; c >= 0 && c >= cell - 120; c -= 20) {
            if (w_.level[c].tile == TILE_BLOCK) return true;
        }
        return false;
    }

    // Full stick when the speed is off the wanted one; a slow approach near the goal.
    static float steer(float speed, float distance) {
        float want = std::clamp(distance * 0.05f, -0.6f, 0.6f);
        if (speed < want - 0.02f) return 1;
        if (speed > want + 0.02f) return -1;
        return 0;
    }

    // Breadth-first over cells; blocks are passable only northward, by shooting them.
    std::vector<int> route(int from, int to) const {
        std::array<int, 260> prev;
        prev.fill(-2);
        std::deque<int> queue{from};
        prev[from] = -1;
        while (!queue.empty()) {
            int c = queue.front();
            queue.pop_front();
            if (c == to) break;
            const int steps[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
            for (const auto& s : steps) {
                int col = c % 20 + s[0], row = c / 20 + s[1];
                if (col < 0 || col >= 20 || row < 0 || row >= 13) continue;
                int n = row * 20 + col;
                if (prev[n] != -2) continue;
                if (w_.level[n].tile == TILE_BLOCK && s[1] != -1) continue;
                if (w_.level[c].tile == TILE_BLOCK && c != from) continue;
                prev[n] = c;
                queue.push_back(n);
            }
        }
        if (prev[to] == -2) return {};
        std::vector<int> path;
        for (int c = to; c != -1; c = prev[c]) path.insert(path.begin(), c);
        return path;
    }

    const World& w_;
    int index_;
    VirtualPad& pad_;
    int cruise_;
    int target_ = -1;
    bool fired_last_ = false;
};

void shot(const std::string& name) { ASSERT_TRUE(SavePNG(OutputPath(name), ReadPicture())); }


TEST(WholeGame, BlueCollectsItsPadsUntilRedRunsOutOfBatteries) {
    VirtualPad blue_pad, red_pad;
    engine_options.headless = true;
    Program p;
    start_program(p, 11);
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
    const World& w = p.world;
    const Game& g = p.game;
    auto game_frame = [&] { ASSERT_TRUE(run_frame(p, mode)); };
    while (g.game_state == GameState::intro) {
        game_frame();
        if (FlipCount() == 120) shot("game-1-intro.png");
    }
    ASSERT_EQ(g.pads_found, 2);
    ASSERT_EQ(FlipCount(), 327);
    game_frame();
    shot("game-2-title.png");

    // Start with the mouse.
    MoveMouse(320, 250);
    click();
    game_frame();
    ASSERT_EQ(g.game_state, GameState::play);
    EXPECT_EQ(g.round_no, 1);
    EXPECT_EQ(w.player[0].score, 0);
    EXPECT_EQ(w.player[1].battery, 5);
    for (int i = 0; i < 20; ++i) game_frame();
    shot("game-3-opening.png");

    Pilot blue(w, 0, blue_pad, 20), red(w, 1, red_pad, 4);
    int frames = 0, red_losses_this_round = 0, last_round = g.round_no;
    int red_battery = w.player[1].battery;
    bool paused_once = false, action_shot = false;
    std::vector<int> scores_at_round_end;
    while (g.game_state == GameState::play && frames < 60000) {
        if (g.play_phase == PlayPhase::running) {
            if (blue.target() < 0 || w.level[blue.target()].tile != TILE_BLUE_PAD) blue.fly_to(blue.nearest({TILE_BLUE_PAD}));
            // Red sets down on a void when Blue has four pads left, and again at two.
            int due = w.player[0].pads <= 2 ? 2 : w.player[0].pads <= 4 ? 1 : 0;
            if (red_losses_this_round < due && red.target() < 0) red.fly_to(red.nearest({TILE_VOID}));
            if (red_losses_this_round >= due) red.rest();
        } else {
            blue.rest();
            red.rest();
        }
        blue.frame();
        red.frame();
        game_frame();
        ++frames;
        // PILOT_DEBUG=1 shows the pilots' progress when this test gets stuck.
        if (getenv("PILOT_DEBUG") && frames % 200 == 0) {
            const player_tag& b = w.player[0];
            const player_tag& r = w.player[1];
            fprintf(stderr, "f%d round %d phase %d blue pos %d tgt %d alt %d x %.1f y %.1f ail %.3f elv %.3f rot %.2f pads %d bat %d | red pos %d tgt %d alt %d bat %d\n",
                    frames, g.round_no, int(g.play_phase), b.pos, blue.target(), b.alt, b.x, b.y, b.ail, b.elv, b.rotation, b.pads, b.battery, r.pos, red.target(), r.alt, r.battery);
        }
        if (w.player[1].battery < red_battery) {
            red_battery = w.player[1].battery;
            ++red_losses_this_round;
            red.rest();
        }
        if (g.round_no != last_round) {
            scores_at_round_end.push_back(w.player[0].score);
            last_round = g.round_no;
            red_losses_this_round = 0;
        }
        if (!action_shot && !w.rocket_list.empty() && !w.explode_list.empty()) {
            shot("game-4-rocket-and-explosion.png");
            action_shot = true;
        }
        if (!paused_once && g.round_no == 2 && g.play_phase == PlayPhase::running && w.player[0].pads == 3) {
            press_key(SDLK_SPACE);
            game_frame();
            ASSERT_EQ(g.game_state, GameState::pause);
            game_frame();  // the first frame of the pause menu
            shot("game-5-pause.png");
            press_key(SDLK_SPACE);
            game_frame();
            ASSERT_EQ(g.game_state, GameState::play);
            paused_once = true;
        }
    }
    ASSERT_EQ(g.game_state, GameState::over) << "stuck after " << frames << " frames in round " << g.round_no;
    EXPECT_TRUE(action_shot);
    EXPECT_TRUE(paused_once);
    // Two rounds of five pads, then Red's fifth loss in the third.
    EXPECT_EQ(scores_at_round_end, (std::vector<int>{5, 10}));
    EXPECT_EQ(g.round_no, 3);
    EXPECT_EQ(w.player[1].battery, 0);
    EXPECT_GE(w.player[0].battery, 3);
    EXPECT_EQ(w.player[0].score, 11);
    EXPECT_EQ(w.player[1].score, 0);

    // Game over: the winner is announced on the 100th frame; button 0 after the prompt.
    std::vector<std::string> heard;
    for (int n = 1; n <= 250; ++n) {
        game_frame();
        for (auto& s : p.sound.take_log()) heard.push_back(s);
        if (n == 100) {
            EXPECT_EQ(std::count(heard.begin(), heard.end(), "bluwin"), 1);
        }
    }
    shot("game-6-game-over.png");
    // The countdown runs out by itself.
    for (int n = 251; n <= 1000; ++n) game_frame();
    EXPECT_EQ(g.game_state, GameState::title);
    game_frame();
    EXPECT_EQ(p.sound.track_playing(), 1);
    shot("game-7-title-after.png");
}

}  // namespace
