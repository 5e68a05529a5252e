// Draw calls and quads per frame of the scripted whole game (tests/scripts/whole_game.txt),
// headless, by screen: the logo, the title, the round opening, the running round, the
// closing, the pause menu and game over. Every frame's drawing is handed to GL (a
// one-pixel read) so that it is counted. Prints a table; asserts nothing.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "app/globals.h"
#include "app/harness.h"
#include "engine/draw.h"
#include "engine/renderer.h"
#include "engine/window.h"

namespace {

struct Tally {
    int frames = 0;
    long long draws = 0, quads = 0;
    int most = 0;
};

std::map<std::string, Tally> tallies;
bool in_logo = true;

std::string screen() {
    if (in_logo) return "1 logo";
    switch (game_state) {
        case STATE_TITLE: return "2 title";
        case STATE_PAUSE: return "6 pause";
        case STATE_OVER: return "7 game over";
        case STATE_PLAY: return play_phase == 0 ? "3 round opening" : play_phase == 1 ? "4 running round" : "5 round closing";
        default: return "0 start-up";
    }
}

void count_frame() {
    ReadPicture(0, 0, 1, 1);
    RendererStats s = RendererTakeStats();
    Tally& t = tallies[screen()];
    t.frames++;
    t.draws += s.draw_calls;
    t.quads += s.quads;
    t.most = std::max(t.most, s.draw_calls);
}

}  // namespace

int main() {
    char arg0[] = "draw_calls";
    char* argv[] = {arg0, nullptr};
    std::string error;
    parse_options(1, argv, &error);
    harness.headless = true;
    harness.seed = 11;
    harness.script = std::string(WHIRLBAT_SOURCE_DIR) + "/tests/scripts/whole_game.txt";
    if (!start_harness(&error)) {
        std::fprintf(stderr, "draw_calls: %s\n", error.c_str());
        return 1;
    }
    // The hook runs right after the present, before the state keys are looked at.
    AddFlipHook(count_frame);
    start_game();
    in_logo = false;
    RendererTakeStats();
    while (FlipCount() < 6800 && !quit_game) game_frame();
    std::printf("%-18s %7s %12s %10s %12s\n", "screen", "frames", "draws/frame", "max draws", "quads/frame");
    for (const auto& [name, t] : tallies) {
        std::printf("%-18s %7d %12.1f %10d %12.1f\n", name.substr(2).c_str(), t.frames, double(t.draws) / t.frames,
                    t.most, double(t.quads) / t.frames);
    }
    return 0;
}
