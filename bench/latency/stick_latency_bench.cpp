// Stick to picture: how long a move of a game pad's stick takes to reach the screen.
// This machine cannot make a pad outside the process (no /dev/uinput), so the game runs
// inside this program, on its real frame loop, in a real X server (Xvfb, software
// OpenGL), with Blue on one of SDL's virtual pads. Once Blue hovers, a thread of this
// program pushes the stick to full climb or full descent at random moments (SDL's
// virtual joystick, as a pad's driver would report it), stamped with the monotonic
// clock; a flip hook stamps every present with the same clock and notes Blue's
// altitude. The latency is from the move to the present of the first frame whose
// altitude shows it.
//
// What it leaves out against a pad outside the process: the kernel's input layer and
// SDL's reading of the device node (a pad's report waits in the kernel until SDL's next
// poll at the frame's event pump, which the late reading already places near the end
// of the wait, as it does for a virtual pad's change).
//
// Runs: a 1280 x 960 window and 1920 x 1080 full screen, each alone and with a second
// process spinning on a core; each run is a child process of its own.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/options.h"
#include "platform/script.h"
#include "platform/pacer.h"
#include "platform/engine.h"
#include "session/local_play.h"
#include "session/runner.h"
#include "support/xserver.h"

namespace {

constexpr int kSkipped = 77;
constexpr int kMoves = 100;

using bench::monotonic_ns;

void sleep_ms(double ms) { std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms)); }

struct Present {
    int64_t at_ns;
    int alt;
};

struct Move {
    int64_t at_ns;
    int direction;  // +1 climb, -1 descend
};

// One run, in a child process: the game in the X server `display`, the stick moved from
// a thread of its own. Writes "latency_ms" lines to `out`, or "problem ..." once.
int run_child(const std::string& display, bool full_screen, const std::string& out) {
    setenv("DISPLAY", display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::ofstream result(out);
    engine_options.windowed = !full_screen;
    std::string script = out + ".script", error;
    {
        // One virtual pad; Start Game from the title once the logo is over.
        std::ofstream s(script);
        s << "pads 1\nf420 mouse move 320 245\nf421 mouse left down\nf422 mouse left up\n";
    }
    if (!ScriptLoad(script, &error)) {
        result << "problem " << error << "\n";
        return 1;
    }
    ScriptAttachPads();
    std::remove(script.c_str());

    Program p;
    std::vector<Present> presents;
    presents.reserve(1 << 16);
    std::atomic<int> frame{0}, phase{0};
    std::atomic<bool> finished{false};
    AddFlipHook([&] {
        presents.push_back(Present{monotonic_ns(), p.world.player[0].alt});
        phase.store(p.game.game_state == GameState::play ? int(p.game.play_phase) : -1);
        frame.store(FlipCount());
    });

    std::vector<Move> moves;
    std::string problem;
    std::thread mover([&] {
        int64_t give_up = monotonic_ns() + 60'000'000'000;
        while (monotonic_ns() < give_up && !(phase.load() == int(PlayPhase::running) && frame.load() > 500)) sleep_ms(50);
        if (phase.load() != int(PlayPhase::running)) {
            problem = "the round never started";
            finished = true;
            return;
        }
        SDL_Joystick* pad = SDL_JoystickOpen(0);
        if (!pad || !SDL_JoystickIsVirtual(SDL_JoystickGetDeviceInstanceID(0))) {
            problem = "no virtual pad";
            finished = true;
            return;
        }
        auto stick = [&](Sint16 y) { SDL_JoystickSetVirtualAxis(pad, 1, y); };
        // Up to a hover, clear of the ground.
        stick(-32768);
        sleep_ms(450);
        stick(0);
        sleep_ms(300);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> gap(250, 420);
        for (int i = 0; i < kMoves; ++i) {
            sleep_ms(gap(rng));
            int direction = i % 2 == 0 ? -1 : 1;
            int64_t t = monotonic_ns();
            stick(direction > 0 ? Sint16(-32768) : Sint16(32767));
            moves.push_back(Move{t, direction});
            sleep_ms(70);
            stick(0);
        }
        sleep_ms(500);
        SDL_JoystickClose(pad);
        finished = true;
    });

    if (start_program(p, 11)) {
        std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
        while (!finished.load() && run_frame(p, mode)) {
        }
    }
    finished = true;
    mover.join();
    PlatformShutdown();

    if (!problem.empty()) {
        result << "problem " << problem << "\n";
        return 1;
    }
    // The first present after the move whose altitude went the move's way.
    for (const Move& m : moves) {
        bool found = false;
        for (size_t f = 1; f < presents.size(); ++f) {
            if (presents[f].at_ns <= m.at_ns) continue;
            if (presents[f].alt - presents[f - 1].alt == m.direction) {
                result << double(presents[f].at_ns - m.at_ns) / 1e6 << "\n";
                found = true;
                break;
            }
        }
        if (!found) result << "missed\n";
    }
    return 0;
}

struct Result {
    std::string name;
    std::vector<double> latencies_ms;
    int misses = 0;
    std::string problem;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(p / 100.0 * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

Result run(const std::string& name, bool full_screen, bool load) {
    Result r;
    r.name = name;
    std::string display;
    pid_t xvfb = bench::start_xvfb(full_screen ? "1920x1080" : "1280x1024", &display, 180);
    if (!xvfb) {
        r.problem = "Xvfb could not be started";
        return r;
    }
    pid_t spinner = 0;
    if (load) {
        spinner = fork();
        if (spinner == 0) {
            std::atomic<uint64_t> turns{0};
            for (;;) turns.fetch_add(1, std::memory_order_relaxed);
        }
    }
    std::string out = "/tmp/stick-latency-" + std::to_string(getpid()) + ".txt";
    std::remove(out.c_str());
    pid_t child = fork();
    if (child == 0) {
        if (chdir(WHIRLBAT_SOURCE_DIR) != 0) _exit(127);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        _exit(run_child(display, full_screen, out));
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (spinner) {
        kill(spinner, SIGKILL);
        waitpid(spinner, nullptr, 0);
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    std::ifstream f(out);
    for (std::string line; std::getline(f, line);) {
        if (line.rfind("problem ", 0) == 0) r.problem = line.substr(8);
        else if (line == "missed") ++r.misses;
        else if (!line.empty()) r.latencies_ms.push_back(std::atof(line.c_str()));
    }
    std::remove(out.c_str());
    if (r.problem.empty() && r.latencies_ms.empty()) {
        r.problem = "the game's run ended with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                    " and measured nothing";
    }
    return r;
}

}  // namespace

int main() {
    std::vector<Result> results;
    results.push_back(run("window 1280x960", false, false));
    results.push_back(run("window 1280x960, a core busy", false, true));
    results.push_back(run("full screen 1920x1080", true, false));
    results.push_back(run("full screen 1920x1080, a core busy", true, true));
    std::printf("%-36s %7s %7s %7s %7s %7s %6s\n", "stick to picture (virtual pad, Xvfb)", "moves", "p50 ms", "p90 ms",
                "min ms", "max ms", "missed");
    bool any = false;
    for (const Result& r : results) {
        if (!r.problem.empty()) {
            std::printf("%-36s %s\n", r.name.c_str(), r.problem.c_str());
            continue;
        }
        any = true;
        std::printf("%-36s %7zu %7.1f %7.1f %7.1f %7.1f %6d\n", r.name.c_str(), r.latencies_ms.size(),
                    percentile(r.latencies_ms, 50), percentile(r.latencies_ms, 90), percentile(r.latencies_ms, 0),
                    percentile(r.latencies_ms, 100), r.misses);
    }
    return any ? 0 : kSkipped;
}
