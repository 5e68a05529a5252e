// Frame pacing and time to the first picture of the real program in a window under
// Xvfb, seen from outside: a second X client records when each frame reaches the
// server (XDamage) while another process keeps a core busy. Prints figures; asserts
// nothing about time.
// Usage: frame_pacing_bench [PROGRAM] [--seconds N] [--idle]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int out_fd = -1) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    if (chdir(WHIRLBAT_SOURCE_DIR) != 0) _exit(127);
    int null = open("/dev/null", O_WRONLY);
    dup2(out_fd >= 0 ? out_fd : null, 1);
    dup2(null, 2);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

std::string start_xvfb(pid_t* pid) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    *pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"}, {});
    close(fds[1]);
    // The number and its newline come in two writes; closing the pipe between them
    // would kill the server.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    return number.empty() ? "" : ":" + number;
}

// Any lit pixel on the window's middle row.
bool shows_something(Display* d, Window w, int width, int height) {
    XImage* img = XGetImage(d, w, 0, height / 2, unsigned(width), 1, AllPlanes, ZPixmap);
    if (!img) return false;
    bool lit = false;
    for (int x = 0; x < width && !lit; ++x) lit = (XGetPixel(img, x, 0) & 0xffffff) != 0;
    XDestroyImage(img);
    return lit;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t i = size_t(p / 100.0 * double(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    std::string program = WHIRLBAT_BINARY;
    double seconds = 12;
    bool busy = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
        else if (a == "--idle") busy = false;
        else program = a;
    }
    pid_t xvfb = -1;
    std::string display = start_xvfb(&xvfb);
    if (display.empty()) {
        std::fprintf(stderr, "frame_pacing: Xvfb did not start\n");
        return 1;
    }
    Display* d = XOpenDisplay(display.c_str());
    int damage_event = 0, damage_error = 0;
    if (!d || !XDamageQueryExtension(d, &damage_event, &damage_error)) {
        std::fprintf(stderr, "frame_pacing: no display or no DAMAGE extension\n");
        kill(xvfb, SIGTERM);
        return 1;
    }
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);

    // Other work: one process spinning on a core for the whole run.
    pid_t spinner = -1;
    if (busy) {
        spinner = fork();
        if (spinner == 0) {
            volatile unsigned long n = 0;
            for (;;) n = n + 1;
        }
    }

    Clock::time_point launch = Clock::now();
    // Every frame presented, even a picture at rest, so the intervals are the schedule's.
    pid_t game = spawn({program, "--window", "--seed", "7"},
                       {"DISPLAY=" + display, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                        "WHIRLBAT_PRESENT_EVERY_FRAME=1"});
    Window win = 0;
    int width = 0, height = 0;
    Damage damage = 0;
    double first_picture = -1;
    std::vector<double> frames;  // arrival times, ms since launch
    while (ms_since(launch) < seconds * 1000 + 3000) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify && !win) {
                win = e.xmap.window;
                XWindowAttributes wa;
                XGetWindowAttributes(d, win, &wa);
                width = wa.width;
                height = wa.height;
                damage = XDamageCreate(d, win, XDamageReportNonEmpty);
            } else if (e.type == damage_event + XDamageNotify) {
                double t = ms_since(launch);
                XDamageSubtract(d, damage, None, None);
                if (first_picture < 0 && shows_something(d, win, width, height)) first_picture = t;
                if (first_picture >= 0) frames.push_back(t);
            }
        }
        if (first_picture >= 0 && frames.back() - first_picture > seconds * 1000) break;
        usleep(200);
    }
    kill(game, SIGTERM);
    Clock::time_point asked = Clock::now();
    while (waitpid(game, nullptr, WNOHANG) == 0) {
        if (ms_since(asked) > 5000) {
            std::fprintf(stderr, "frame_pacing: the program did not end on SIGTERM\n");
            kill(game, SIGKILL);
            waitpid(game, nullptr, 0);
            break;
        }
        usleep(10000);
    }
    if (spinner > 0) {
        kill(spinner, SIGKILL);
        waitpid(spinner, nullptr, 0);
    }
    XCloseDisplay(d);
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);

    // Skip the first second of pictures: start-up work still settles there.
    std::vector<double> gaps;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i - 1] - first_picture >= 1000) gaps.push_back(frames[i] - frames[i - 1]);
    }
    if (std::getenv("FRAME_PACING_DUMP"))
        for (size_t i = 0; i < frames.size(); ++i) std::printf("%.2f\n", frames[i]);
    double within = 0;
    for (double g : gaps) within += (g >= 15.2 && g <= 18.2);
    std::printf("program          %s\n", program.c_str());
    std::printf("window           %d x %d on a 1920 x 1080 Xvfb, %s\n", width, height,
                busy ? "one other process spinning" : "idle machine");
    std::printf("first picture    %.0f ms after launch\n", first_picture);
    std::printf("frames measured  %zu (%.1f fps)\n", gaps.size(),
                gaps.empty() ? 0.0 : 1000.0 * double(gaps.size()) / (frames.back() - frames.front() - 1000));
    std::printf("interval ms      p5 %.1f  p25 %.1f  median %.1f  p75 %.1f  p95 %.1f  max %.1f\n", percentile(gaps, 5),
                percentile(gaps, 25), percentile(gaps, 50), percentile(gaps, 75), percentile(gaps, 95),
                percentile(gaps, 100));
    std::printf("within 16.7±1.5  %.1f %%\n", gaps.empty() ? 0.0 : 100.0 * within / double(gaps.size()));
    return first_picture >= 0 && !gaps.empty() ? 0 : 1;
}
