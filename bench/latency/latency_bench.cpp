// Key to picture: how long a key press takes to reach the screen. The game runs under
// Xvfb with software OpenGL, Blue on the keyboard; the probe library (LD_PRELOAD)
// stamps every present with the monotonic clock. Once Blue hovers, W and S are pressed
// through the real X server (XTest) at random moments, each stamped with the same clock.
// The trace says which frame first shows each press (Blue's altitude goes one up or one
// down); the latency is from the press to that frame's present.
//
// Runs: a 1280 x 960 window and 1920 x 1080 full screen, each alone and with a second
// process spinning on a core. WHIRLBAT_LATENCY_BINARY measures another build of the game.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/xserver.h"

namespace {

constexpr int kSkipped = 77;
constexpr int kPresses = 100;

using bench::env_or;
using bench::monotonic_ns;

void sleep_ms(double ms) { usleep(useconds_t(ms * 1000)); }

struct Press {
    int64_t at_ns;
    int direction;  // +1 climb (W), -1 descend (S)
};

// Blue's altitude in one trace line, and the frame number.
bool parse_line(const std::string& line, int* frame, int* phase, int* alt) {
    auto number_after = [&](const std::string& key, size_t from, int* out) {
        size_t at = line.find(key, from);
        if (at == std::string::npos) return std::string::npos;
        *out = std::atoi(line.c_str() + at + key.size());
        return at;
    };
    if (number_after("\"frame\":", 0, frame) == std::string::npos) return false;
    if (number_after("\"play_phase\":", 0, phase) == std::string::npos) return false;
    size_t player = line.find("\"player\":[{");
    if (player == std::string::npos) return false;
    return number_after("\"alt\":", player, alt) != std::string::npos;
}

// The last line of the trace so far (written to "PATH.partial-PID" until the run ends).
bool trace_now(const std::string& path, pid_t pid, int* frame, int* phase, int* alt) {
    std::ifstream f(path + ".partial-" + std::to_string(pid));
    std::string line, last;
    while (std::getline(f, line)) {
        if (!line.empty() && line.back() == '}') last = line;
    }
    return !last.empty() && parse_line(last, frame, phase, alt);
}

struct Result {
    std::string name;
    std::vector<double> latencies_ms;
    int misses = 0;
    long rss_mb = 0;
    std::string problem;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(p / 100.0 * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

Result run(const std::string& name, const std::string& game, bool full_screen, bool load) {
    Result r;
    r.name = name;
    std::string display;
    pid_t xvfb = bench::start_xvfb(full_screen ? "1920x1080" : "1280x1024", &display, 140);
    if (!xvfb) {
        r.problem = "Xvfb could not be started";
        return r;
    }
    std::string out = "/tmp/latency-" + std::to_string(getpid());
    std::string trace = out + ".jsonl", probe = out + ".probe", script = out + ".script";
    std::remove(trace.c_str());
    std::remove(probe.c_str());
    {
        // Start Game from the title once the logo is over.
        std::ofstream s(script);
        s << "f420 mouse move 320 245\nf421 mouse left down\nf422 mouse left up\n";
    }
    pid_t spinner = 0;
    if (load) {
        spinner = fork();
        if (spinner == 0) {
            std::atomic<uint64_t> turns{0};
            for (;;) turns.fetch_add(1, std::memory_order_relaxed);
        }
    }
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(WHIRLBAT_SOURCE_DIR) != 0) _exit(127);
        freopen("/dev/null", "w", stdout);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("LD_PRELOAD", WHIRLBAT_PROBE_LIB, 1);
        setenv("WHIRLBAT_PROBE_OUT", probe.c_str(), 1);
        // Presents are matched to traced frames by their order: every frame is presented,
        // even one that shows the picture before it again (a screen at rest).
        setenv("WHIRLBAT_PRESENT_EVERY_FRAME", "1", 1);
        std::vector<std::string> args = {game, "--seed", "11", "--blue", "keys", "--red", "keys", "--no-settings",
                                         "--trace", trace, "--script", script};
        if (!full_screen) args.push_back("--window");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Display* dpy = nullptr;
    for (int i = 0; i < 50 && !dpy; ++i) {
        dpy = XOpenDisplay(display.c_str());
        if (!dpy) sleep_ms(100);
    }
    std::vector<Press> presses;
    int frame = 0, phase = 0, alt = 0;
    if (!dpy) {
        r.problem = "cannot open the X display " + display;
    } else {
        // The pointer over the game's window: without a window manager, keys go to the
        // window under it.
        int sw = DisplayWidth(dpy, 0), sh = DisplayHeight(dpy, 0);
        KeyCode w = XKeysymToKeycode(dpy, XK_w), s = XKeysymToKeycode(dpy, XK_s);
        auto key = [&](KeyCode k, bool down) {
            XTestFakeKeyEvent(dpy, k, down ? True : False, 0);
            XFlush(dpy);
        };
        // Wait for the round to run (the opening takes a second or so after Start).
        int64_t give_up = monotonic_ns() + 60'000'000'000;
        while (monotonic_ns() < give_up && !(trace_now(trace, pid, &frame, &phase, &alt) && phase == 1 && frame > 500)) {
            sleep_ms(100);
        }
        XTestFakeMotionEvent(dpy, 0, sw / 2, sh / 2, 0);
        XFlush(dpy);
        if (phase != 1) {
            r.problem = "the round never started";
        } else {
            // Up to a hover, clear of the ground.
            key(w, true);
            sleep_ms(450);
            key(w, false);
            sleep_ms(300);
            std::mt19937 rng(7);
            std::uniform_real_distribution<double> gap(250, 420);
            for (int i = 0; i < kPresses; ++i) {
                sleep_ms(gap(rng));
                int direction = i % 2 == 0 ? -1 : 1;
                KeyCode k = direction > 0 ? w : s;
                int64_t t = monotonic_ns();
                key(k, true);
                presses.push_back(Press{t, direction});
                sleep_ms(70);
                key(k, false);
            }
            sleep_ms(500);
        }
        XCloseDisplay(dpy);
    }
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.rss_mb = usage.ru_maxrss / 1024;
    if (spinner) {
        kill(spinner, SIGKILL);
        waitpid(spinner, nullptr, 0);
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);

    // The window's first presents (before the first frame) draw nothing: frame 1 is the
    // first present that drew.
    std::vector<int64_t> presents;
    {
        std::ifstream f(probe);
        int64_t wall, cpu;
        int draws;
        while (f >> wall >> cpu >> draws) {
            if (presents.empty() && draws == 0) continue;
            presents.push_back(wall);
        }
    }
    std::vector<int> alts;  // by frame number, from 1
    {
        std::ifstream f(trace);
        std::string line;
        alts.push_back(0);
        while (std::getline(f, line)) {
            int fr, ph, a;
            if (!parse_line(line, &fr, &ph, &a)) break;
            if (fr != int(alts.size())) break;
            alts.push_back(a);
        }
    }
    std::remove(trace.c_str());
    std::remove(probe.c_str());
    std::remove(script.c_str());
    if (!r.problem.empty()) return r;
    if (presents.size() + 1 < alts.size() || presents.size() > alts.size() + 1) {
        r.problem = "the probe saw " + std::to_string(presents.size()) + " presents for " +
                    std::to_string(alts.size() - 1) + " traced frames";
        return r;
    }
    // Frame f (from 1) was presented by the f-th present.
    for (const Press& p : presses) {
        bool found = false;
        for (size_t f = 2; f < alts.size(); ++f) {
            if (presents[f - 1] <= p.at_ns) continue;
            if (alts[f] - alts[f - 1] == p.direction) {
                r.latencies_ms.push_back(double(presents[f - 1] - p.at_ns) / 1e6);
                found = true;
                break;
            }
        }
        if (!found) ++r.misses;
    }
    return r;
}

}  // namespace

int main() {
    std::string game = env_or("WHIRLBAT_LATENCY_BINARY", WHIRLBAT_BINARY);
    std::vector<Result> results;
    results.push_back(run("window 1280x960", game, false, false));
    results.push_back(run("window 1280x960, a core busy", game, false, true));
    results.push_back(run("full screen 1920x1080", game, true, false));
    results.push_back(run("full screen 1920x1080, a core busy", game, true, true));
    std::printf("game: %s\n", game.c_str());
    std::printf("%-36s %7s %7s %7s %7s %7s %6s %7s\n", "key to picture (Xvfb, software GL)", "presses", "p50 ms",
                "p90 ms", "min ms", "max ms", "missed", "RSS MB");
    bool any = false;
    for (const Result& r : results) {
        if (!r.problem.empty()) {
            std::printf("%-36s %s\n", r.name.c_str(), r.problem.c_str());
            continue;
        }
        any = true;
        std::printf("%-36s %7zu %7.1f %7.1f %7.1f %7.1f %6d %7ld\n", r.name.c_str(), r.latencies_ms.size(),
                    percentile(r.latencies_ms, 50), percentile(r.latencies_ms, 90), percentile(r.latencies_ms, 0),
                    percentile(r.latencies_ms, 100), r.misses, r.rss_mb);
    }
    return any ? 0 : kSkipped;
}
