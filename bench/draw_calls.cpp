// Draw calls and quads per frame of the scripted whole game (tests/scripts/whole_game.txt),
// headless, by screen: the logo, the title, the round opening, the running round, the
// closing, the pause menu and game over. Every frame's drawing is handed to GL (a
// one-pixel read) so that it is counted. Prints a table; asserts nothing.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "session/local_play.h"
#include "session/runner.h"
#include "app/harness.h"
#include "platform/draw.h"
#include "platform/renderer.h"
#include "platform/pacer.h"

namespace {

struct Tally {
    int frames = 0;
    long long draws = 0, quads = 0;
    int most = 0;
};

std::map<std::string, Tally> tallies;

std::string screen(const Game& g) {
    switch (g.game_state) {
        case GameState::intro: return "1 logo";
        case GameState::title: return "2 title";
        case GameState::pause: return "6 pause";
        case GameState::over: return "7 game over";
        case GameState::play:
            return g.play_phase == PlayPhase::opening   ? "3 round opening"
                   : g.play_phase == PlayPhase::running ? "4 running round"
                                                        : "5 round closing";
    }
    return "0 start-up";
}

void count_frame(const Game& g) {
    ReadPicture(0, 0, 1, 1);
    RendererStats s = RendererTakeStats();
    Tally& t = tallies[screen(g)];
    t.frames++;
    t.draws += s.draw_calls;
    t.quads += s.quads;
    t.most = std::max(t.most, s.draw_calls);
}

}  // namespace

int main() {
    HarnessOptions opts;
    opts.headless = true;
    opts.seed = 11;
    opts.script = std::string(WHIRLBAT_SOURCE_DIR) + "/tests/scripts/whole_game.txt";
    Program p;
    std::string error;
    if (!start_harness(opts, p, &error)) {
        std::fprintf(stderr, "draw_calls: %s\n", error.c_str());
        return 1;
    }
    // The hook runs right after the present, before the next frame's input is read.
    AddFlipHook([&p] { count_frame(p.game); });
    start_program(p, *opts.seed);
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
    RendererTakeStats();
    while (FlipCount() < 6800 && run_frame(p, mode)) {
    }
    std::printf("%-18s %7s %12s %10s %12s\n", "screen", "frames", "draws/frame", "max draws", "quads/frame");
    for (const auto& [name, t] : tallies) {
        std::printf("%-18s %7d %12.1f %10d %12.1f\n", name.substr(2).c_str(), t.frames, double(t.draws) / t.frames,
                    t.most, double(t.quads) / t.frames);
    }
    return 0;
}
