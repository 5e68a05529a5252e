// The title at rest in a window under Xvfb, timed: how often the game's thread wakes
// (voluntary context switches) against the frames it runs, how many pictures reach the
// window, how long 240 frames take (4 s at 60 a second), and how soon a key pressed
// through the X server (XTest) is on the window (read at once, it comes within half a
// frame). Idle.* in the platform run tests check what happens; this prints how fast.
// Usage: whirlbat_idle_bench [PRESSES]   (32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/xserver.h"
#include "x11_client.h"

namespace {

constexpr int kSkipped = 77;
const char* const kTitle = "RC Whirlbat";

pid_t spawn_game(const std::string& display, const std::string& trace) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(WHIRLBAT_SOURCE_DIR) != 0 || !std::freopen("/dev/null", "w", stderr)) _exit(127);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        execl(WHIRLBAT_BINARY, WHIRLBAT_BINARY, "--window", "--seed", "3", "--no-settings", "--trace", trace.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// The trace lines so far, each line's "ms".
std::vector<double> frame_times(const std::string& growing) {
    std::vector<double> ms;
    std::ifstream f(growing);
    for (std::string line; std::getline(f, line);) {
        size_t at = line.find("\"ms\":");
        if (at != std::string::npos) ms.push_back(std::atof(line.c_str() + at + 5));
    }
    return ms;
}

long voluntary_switches(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
    }
    return -1;
}

bool wait_for_frames(const std::string& growing, size_t n, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (frame_times(growing).size() >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

double at_fraction(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

void rest_figures(const std::string& display, pid_t game, const std::string& growing, int presses) {
    // The title stands still from frame 400 on.
    if (!wait_for_frames(growing, 420, 60)) {
        std::printf("the title did not reach frame 420\n");
        return;
    }
    std::string error;
    long wakes_before = voluntary_switches(game);
    size_t frames_before = frame_times(growing).size();
    int pictures = CountPictures(display, kTitle, 4000, &error);
    long wakes = voluntary_switches(game) - wakes_before;
    std::vector<double> ms = frame_times(growing);
    size_t rested = ms.size() - frames_before;
    std::printf("4 s at rest: %zu frames, %ld wakes (%.2f a frame), %d pictures on the window%s%s\n", rested, wakes,
                rested ? double(wakes) / double(rested) : 0.0, pictures, pictures < 0 ? ": " : "", error.c_str());
    if (ms.size() > 240) {
        std::printf("the last 240 frames at rest took %.0f ms (4000 at 60 a second)\n", ms.back() - ms[ms.size() - 241]);
    }
    std::vector<std::string> keys;
    for (int i = 0; i < presses; ++i) keys.push_back(i % 2 ? "Up" : "Down");
    std::vector<double> shown = KeyToPictureMs(display, kTitle, keys, 150, &error);
    if (shown.empty()) {
        std::printf("key to picture at rest: %s\n", error.c_str());
        return;
    }
    std::printf("key to picture at rest, %zu presses: median %.1f ms, three in four %.1f ms, slowest %.1f ms "
                "(half a frame: %.1f ms)\n",
                shown.size(), at_fraction(shown, 0.5), at_fraction(shown, 0.75), at_fraction(shown, 1.0), 1000.0 / 120);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each line out before a child is forked
    int presses = argc > 1 ? std::atoi(argv[1]) : 32;
    std::string display;
    pid_t xvfb = bench::start_xvfb("1600x1200", &display);
    if (xvfb <= 0) {
        std::printf("Xvfb could not be started (tools/install-deps.sh bench installs it); skipped\n");
        return kSkipped;
    }
    std::string trace = std::string(WHIRLBAT_TEST_OUTPUT) + "/idle-bench-" + std::to_string(getpid()) + ".jsonl";
    pid_t game = spawn_game(display, trace);
    rest_figures(display, game, trace + ".partial-" + std::to_string(game), presses);
    kill(game, SIGTERM);
    waitpid(game, nullptr, 0);
    std::remove(trace.c_str());
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    return 0;
}
