// The performance suite: the game as a player starts it (not headless), in a real X
// server with software OpenGL (Xvfb, 1920 x 1080), measured side by side with the floor
// program that only clears and presents a window of the same size at 60 Hz. A probe
// library loaded with LD_PRELOAD stamps every buffer swap, so nothing in the game is
// changed for the measurement. Prints a table; asserts nothing about time.
//
// Environment: WHIRLBAT_PERF_BINARY runs another build of the game (e.g. an older one
// for a before/after table); WHIRLBAT_PERF_FRAMES sets the length of the play runs.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/xserver.h"

namespace {

constexpr int kSkipped = 77;

struct Swap {
    long long wall_ns, cpu_ns;
    int draws;
};

struct Run {
    std::string name;
    std::vector<Swap> swaps;
    long long start_ns = 0;  // the moment the program was started
    long max_rss_kb = 0;
    int exit_code = 0;
    double rest_cpu_ms = -1;  // CPU per 60 Hz frame over the sampled stretch, if asked for
    long rest_rss_kb = 0;     // resident at the end of that stretch
};

// CPU time of every thread of a process, in ns (the scheduler's own account, finer
// than the clock ticks of /proc/PID/stat).
long long process_cpu_ns(pid_t pid) {
    long long total = 0;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    std::vector<std::string> tasks;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') tasks.push_back(e->d_name);
        }
        closedir(d);
    }
    for (const std::string& t : tasks) {
        std::ifstream f(dir + "/" + t + "/schedstat");
        long long ns = 0;
        if (f >> ns) total += ns;
    }
    return total;
}

long resident_kb(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kb = 0;
    while (f >> key) {
        if (key == "VmRSS:" && f >> kb) return kb;
    }
    return 0;
}

using bench::env_or;
using bench::monotonic_ns;

pid_t start_xvfb(std::string* display) { return bench::start_xvfb("1920x1080", display); }

// With rest_from < rest_to (seconds after the start), the program's CPU time over that
// stretch is sampled from outside: a screen at rest presents nothing to stamp.
Run run_program(const std::string& name, const std::vector<std::string>& args, const std::string& display,
                double rest_from = 0, double rest_to = 0) {
    Run run;
    run.name = name;
    std::string out = std::string(WHIRLBAT_TEST_OUTPUT) + "/perf-" + std::to_string(getpid()) + ".txt";
    std::remove(out.c_str());
    run.start_ns = monotonic_ns();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(WHIRLBAT_SOURCE_DIR) != 0) _exit(127);
        freopen("/dev/null", "w", stdout);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("LD_PRELOAD", WHIRLBAT_PROBE_LIB, 1);
        setenv("WHIRLBAT_PROBE_OUT", out.c_str(), 1);
        std::vector<char*> argv;
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (rest_from < rest_to) {
        auto sleep_until_s = [&run](double s) {
            long long left = run.start_ns + (long long)(s * 1e9) - monotonic_ns();
            if (left > 0) usleep(useconds_t(left / 1000));
        };
        sleep_until_s(rest_from);
        long long a = process_cpu_ns(pid), ta = monotonic_ns();
        sleep_until_s(rest_to);
        long long b = process_cpu_ns(pid), tb = monotonic_ns();
        run.rest_rss_kb = resident_kb(pid);
        if (a > 0 && b > a) run.rest_cpu_ms = double(b - a) / 1e6 / (double(tb - ta) / 1e9 * 60.0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.max_rss_kb = usage.ru_maxrss;
    std::ifstream f(out);
    Swap s;
    while (f >> s.wall_ns >> s.cpu_ns >> s.draws) run.swaps.push_back(s);
    std::remove(out.c_str());
    return run;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(p / 100.0 * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

struct Row {
    std::string name;
    int frames = 0;
    double fps = 0, cpu_ms = 0, p5 = 0, p50 = 0, p95 = 0, worst = 0;
    double draws_mean = 0;
    int draws_max = 0;
    double first_picture_s = 0;
    long rss_mb = 0;
    long rss_now_mb = 0;  // resident while it runs, from outside (0: not sampled)
};

// Measures the last `frames` swaps of a run (the steady part), and the time to the
// first swap that drew anything (or the first swap, for a program that never draws).
Row measure(const Run& run, int frames) {
    Row row;
    row.name = run.name;
    row.rss_mb = run.max_rss_kb / 1024;
    row.rss_now_mb = run.rest_rss_kb / 1024;
    if (run.swaps.size() < 2) return row;
    for (const Swap& s : run.swaps) {
        if (s.draws > 0) {
            row.first_picture_s = double(s.wall_ns - run.start_ns) / 1e9;
            break;
        }
    }
    if (row.first_picture_s == 0) row.first_picture_s = double(run.swaps.front().wall_ns - run.start_ns) / 1e9;
    size_t n = std::min(run.swaps.size() - 1, size_t(frames));
    size_t first = run.swaps.size() - 1 - n;
    const Swap& a = run.swaps[first];
    const Swap& b = run.swaps.back();
    row.frames = int(n);
    row.fps = double(n) / (double(b.wall_ns - a.wall_ns) / 1e9);
    row.cpu_ms = double(b.cpu_ns - a.cpu_ns) / 1e6 / double(n);
    std::vector<double> intervals;
    long long draws = 0;
    for (size_t i = first + 1; i < run.swaps.size(); ++i) {
        intervals.push_back(double(run.swaps[i].wall_ns - run.swaps[i - 1].wall_ns) / 1e6);
        draws += run.swaps[i].draws;
        row.draws_max = std::max(row.draws_max, run.swaps[i].draws);
    }
    row.draws_mean = double(draws) / double(n);
    row.p5 = percentile(intervals, 5);
    row.p50 = percentile(intervals, 50);
    row.p95 = percentile(intervals, 95);
    row.worst = percentile(intervals, 100);
    return row;
}

void print_row(const Row& r) {
    std::printf("%-34s %6d %6.1f %9.2f %6.1f %6.1f %6.1f %7.1f %8.1f %6d %9.2f %6ld %6ld\n", r.name.c_str(), r.frames,
                r.fps, r.cpu_ms, r.p5, r.p50, r.p95, r.worst, r.draws_mean, r.draws_max, r.first_picture_s,
                r.rss_mb, r.rss_now_mb);
}

}  // namespace

int main() {
    std::string game = env_or("WHIRLBAT_PERF_BINARY", WHIRLBAT_BINARY);
    std::string floor_program = WHIRLBAT_FLOOR;
    int play_frames = std::atoi(env_or("WHIRLBAT_PERF_FRAMES", "600").c_str());
    if (play_frames < 60) play_frames = 60;
    std::string display;
    pid_t xvfb = start_xvfb(&display);
    if (!xvfb) {
        std::printf("Xvfb could not be started (tools/install-deps.sh bench installs it); skipped\n");
        return kSkipped;
    }
    // Play is measured from frame 420 of the scripted game (the round runs from 375).
    int game_frames = 420 + play_frames;
    std::string script = std::string(WHIRLBAT_SOURCE_DIR) + "/tests/scripts/whole_game.txt";
    std::vector<std::string> play = {game, "--seed", "11", "--script", script, "--frames", std::to_string(game_frames)};
    std::vector<std::string> play_window = play;
    play_window.push_back("--window");
    std::string floor_frames = std::to_string(play_frames + 60);

    std::vector<Row> rows;
    // Resident size now: the floor's near its end, the game's in play (from 9 s on).
    double floor_at = double(play_frames) / 60.0, play_at = std::max(10.0, (420.0 + play_frames) / 60.0 - 1.0);
    rows.push_back(measure(run_program("floor 1280x960 window", {floor_program, "--window", "1280", "960", floor_frames}, display, floor_at - 1, floor_at), play_frames));
    rows.push_back(measure(run_program("game play 1280x960 window", play_window, display, play_at - 1, play_at), play_frames));
    rows.push_back(measure(run_program("floor 1920x1080 full screen", {floor_program, "--fullscreen", floor_frames}, display, floor_at - 1, floor_at), play_frames));
    rows.push_back(measure(run_program("game play 1920x1080 full screen", play, display, play_at - 1, play_at), play_frames));
    // The title menu waits for a click: it is at rest from about 6 s after the start
    // (after the logo). Its CPU is sampled from outside, over 5 s, against the floor's.
    Run title = run_program("game title 1920x1080 full screen", {game, "--seed", "11", "--frames", "840"}, display, 7.5, 12.5);
    rows.push_back(measure(title, 170));

    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);

    std::printf("game: %s\n", game.c_str());
    std::printf("%-34s %6s %6s %9s %6s %6s %6s %7s %8s %6s %9s %6s %6s\n", "run (Xvfb, software GL)", "frames", "fps",
                "cpu ms/f", "p5", "p50", "p95", "max ms", "draws/f", "max", "1st pic s", "RSS MB", "now MB");
    for (const Row& r : rows) print_row(r);
    auto ratio = [](const Row& game_row, const Row& floor_row) {
        return floor_row.cpu_ms > 0 ? game_row.cpu_ms / floor_row.cpu_ms : 0.0;
    };
    std::printf("CPU per frame against the floor: window %.1fx, full screen %.1fx\n", ratio(rows[1], rows[0]),
                ratio(rows[3], rows[2]));
    if (title.rest_cpu_ms >= 0) {
        std::printf("title at rest, 1920x1080 full screen: %.3f ms CPU per 60 Hz frame (%.2fx the floor's), RSS %ld MB\n",
                    title.rest_cpu_ms, rows[2].cpu_ms > 0 ? title.rest_cpu_ms / rows[2].cpu_ms : 0.0,
                    title.rest_rss_kb / 1024);
    }
    return 0;
}
