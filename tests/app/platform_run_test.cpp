// The program against its surroundings: no display, quit requests during the waits.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/pixmap.h"
#include "platform/present_cpu.h"
#include "support.h"
#include "sim/world.h"
#include "x11_client.h"
#include "x_server.h"

namespace {

using test_support::OutputPath;
using test_support::ReadTrace;

using Clock = std::chrono::steady_clock;

// The game as a child process with a deadline: environment changes ("NAME=value" sets,
// "NAME" alone removes), its stderr kept in a file.
class Game {
public:
    Game(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
         const std::string& folder = WHIRLBAT_SOURCE_DIR, const std::string& program = WHIRLBAT_BINARY) {
        static int serial = 0;
        err_file_ = OutputPath("platform-stderr-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(folder.c_str()) != 0) _exit(127);
            if (!freopen(err_file_.c_str(), "w", stderr)) _exit(127);
            // Started as from a terminal, whatever this test runs under (nohup ignores a
            // hangup, and the game keeps an ignored hangup ignored).
            ::signal(SIGHUP, SIG_DFL);
            for (const std::string& e : env) {
                size_t eq = e.find('=');
                if (eq == std::string::npos) unsetenv(e.c_str());
                else setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
            std::vector<std::string> copy = args;
            std::string binary = program;
            std::vector<char*> argv{binary.data()};
            for (std::string& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
    }
    ~Game() {
        if (pid_ > 0 && code_ == kRunning) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::remove(err_file_.c_str());
    }

    void signal(int sig) { kill(pid_, sig); }
    pid_t pid() const { return pid_; }

    // The exit code (128 + signal if killed by one), or kTimedOut: then the game is killed.
    int wait(double seconds) {
        auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (code_ == kRunning) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                code_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            } else if (Clock::now() > deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                code_ = kTimedOut;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return code_;
    }

    std::string err() const {
        std::ifstream f(err_file_);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    static constexpr int kTimedOut = -2;

private:
    static constexpr int kRunning = -1;
    pid_t pid_ = -1;
    int code_ = kRunning;
    std::string err_file_;
};

int shell(const std::string& command) { return std::system(command.c_str()); }

int lines(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')); }

// SDL falls back to its invisible drivers when it finds no display; the game must not run
// unseen until it is killed.
TEST(NoDisplay, FallbackToAnInvisibleDriverIsOneLineAndStatusOne) {
    // A login session has its runtime folder; without one the Wayland library adds a
    // line of its own.
    std::string runtime = OutputPath("runtime-dir");
    std::string mkdir = "mkdir -p -m 700 " + runtime;
    ASSERT_EQ(std::system(mkdir.c_str()), 0);
    const std::vector<std::vector<std::string>> envs = {
        {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_RUNTIME_DIR=" + runtime},
        {"DISPLAY=:97", "WAYLAND_DISPLAY=nowhere-97", "SDL_VIDEODRIVER", "XDG_RUNTIME_DIR=" + runtime},
    };
    for (const auto& env : envs) {
        Game game({"--window", "--frames", "5"}, env);
        int code = game.wait(20);
        std::string err = game.err();
        EXPECT_EQ(code, 1) << env[0] << "\n" << err;
        EXPECT_NE(err.find("no display"), std::string::npos) << err;
        EXPECT_EQ(lines(err), 1) << err;
    }
}

// Asked for by name, an invisible driver is what the user wants.
TEST(NoDisplay, AnInvisibleDriverNamedOnPurposeRuns) {
    Game game({"--window", "--frames", "3"}, {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER=offscreen"});
    EXPECT_EQ(game.wait(30), 0) << game.err();
}

std::string script(const std::string& name, const std::string& text) { return test_support::WriteOutput(name, text); }

// Waits until the trace holds at least n frames.
// While the game runs its trace grows in a file beside the one named, which takes its
// place when the game ends.
size_t traced(const std::string& trace, const Game& game) {
    std::ifstream f(trace + ".partial-" + std::to_string(game.pid()));
    size_t count = 0;
    for (std::string line; std::getline(f, line);) count += !line.empty();
    return count;
}

bool trace_reaches(const std::string& trace, const Game& game, size_t n, double seconds) {
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        if (traced(trace, game) >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// While the window is inactive the game waits; a close request still ends it. The script
// closes the window at a time the wait reaches with no frame drawn.
TEST(QuitWhileWaiting, ClosingTheInactiveWindowEndsTheGame) {
    struct Case {
        const char* name;
        const char* text;
        size_t frames;  // traced before the end
    };
    const Case cases[] = {
        // The title, inactive from frame 400 (6.67 s), closed at 8 s.
        {"title", "f400 window focus lost\nt8000 window close\n", 400},
        // The logo, inactive from frame 10, closed at 2 s: the title frame after the logo still runs.
        {"logo", "f10 window focus lost\nt2000 window close\n", 11},
        // The input flush of a menu choice: button 0 held, then the window closed.
        {"flush", "pads 1\nf330 mouse move 320 410\nf331 pad0 b0 down\nt7000 window close\n", 332},
    };
    for (const Case& c : cases) {
        std::string trace = OutputPath(std::string("quit-") + c.name + ".jsonl");
        Game game({"--headless", "--trace", trace, "--script", script(std::string("quit-") + c.name + ".txt", c.text)});
        EXPECT_EQ(game.wait(60), 0) << c.name << "\n" << game.err();
        auto frames = ReadTrace(trace);
        ASSERT_EQ(frames.size(), c.frames) << c.name;
        EXPECT_EQ(frames.back()["game_state"].i(), 4) << c.name;
    }
}

// SIGTERM, Ctrl+C and a closed terminal (SIGHUP) during the inactive wait end the game
// as a close request does.
TEST(QuitWhileWaiting, SignalsEndTheInactiveWait) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        std::string trace = OutputPath("quit-signal-" + std::to_string(sig) + ".jsonl");
        std::remove(trace.c_str());
        // A key far in the future keeps the script alive, so the wait goes on and on.
        Game game({"--headless", "--trace", trace, "--script",
                   script("quit-signal.txt", "f400 window focus lost\nt900000000 key 65 down\n")});
        ASSERT_TRUE(trace_reaches(trace, game, 400, 60)) << game.err();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        game.signal(sig);
        EXPECT_EQ(game.wait(20), 0) << sig << "\n" << game.err();
        EXPECT_EQ(ReadTrace(trace).size(), 400u);
    }
}

// The sounds are found beside the program (a build tree, or bin/../share/rc-whirlbat of
// an installation) from whatever folder it is started in.
TEST(DataFolder, SoundsAreFoundFromAnyWorkingFolder) {
    std::string root = OutputPath("layouts");
    std::string elsewhere = OutputPath("layouts-elsewhere");
    std::string source = WHIRLBAT_SOURCE_DIR;
    ASSERT_EQ(shell("rm -rf " + root + " && mkdir -p " + root + "/usr/bin " + root + "/usr/share/rc-whirlbat " +
                    root + "/portable/data " + root + "/bare " + elsewhere),
              0);
    ASSERT_EQ(shell("cp " WHIRLBAT_BINARY " " + root + "/usr/bin/ && cp " WHIRLBAT_BINARY " " + root +
                    "/portable/ && cp " WHIRLBAT_BINARY " " + root + "/bare/"),
              0);
    ASSERT_EQ(shell("cp " + source + "/data/*.ogg " + root + "/usr/share/rc-whirlbat/ && cp " + source +
                    "/data/*.ogg " + root + "/portable/data/"),
              0);
    for (std::string program : {root + "/usr/bin/rc-whirlbat", root + "/portable/rc-whirlbat",
                                std::string(WHIRLBAT_BINARY)}) {
        Game game({"--headless", "--frames", "3"}, {}, elsewhere, program);
        EXPECT_EQ(game.wait(60), 0) << program;
        EXPECT_EQ(game.err().find("missing sound"), std::string::npos) << program << "\n" << game.err();
    }
    // The program alone finds nothing, and says where it looked (unless this machine has
    // the game installed).
    if (access("/usr/local/share/rc-whirlbat/start.ogg", F_OK) != 0) {
        Game game({"--headless", "--frames", "3"}, {}, elsewhere, root + "/bare/rc-whirlbat");
        EXPECT_EQ(game.wait(60), 0);
        std::string err = game.err();
        EXPECT_NE(err.find("missing sound files"), std::string::npos) << err;
        EXPECT_NE(err.find(root + "/bare/data"), std::string::npos) << err;
        EXPECT_NE(err.find(root + "/share/rc-whirlbat"), std::string::npos) << err;
        EXPECT_EQ(lines(err), 1) << err;
    }
}

// --data names the one folder to take the sounds from.
TEST(DataFolder, TheDataOptionOverridesTheSearch) {
    std::string empty = OutputPath("data-empty");
    ASSERT_EQ(shell("mkdir -p " + empty), 0);
    {
        Game game({"--headless", "--frames", "3", "--data", empty});
        EXPECT_EQ(game.wait(60), 0);
        EXPECT_NE(game.err().find("missing sound files"), std::string::npos) << game.err();
        EXPECT_NE(game.err().find("looked in " + empty + "\n"), std::string::npos) << game.err();
    }
    {
        Game game({"--headless", "--frames", "3", "--data", std::string(WHIRLBAT_SOURCE_DIR) + "/data"},
                  {}, OutputPath(""));
        EXPECT_EQ(game.wait(60), 0);
        EXPECT_EQ(game.err(), "");
    }
    {
        Game game({"--headless", "--data", empty + "/none"});
        EXPECT_EQ(game.wait(60), 2);
        EXPECT_NE(game.err().find("--data " + empty + "/none is not a folder"), std::string::npos) << game.err();
    }
}

// An X server of our own for the test, on a display number it picks itself.
struct Xvfb : test_support::XServer {
    Xvfb() : XServer("1600x1200") {}
};

// Another client destroys the game's window, or cuts the game's connection as xkill does;
// the game ends as after a close request, its trace whole.
TEST(WindowLost, DestroyedOrKilledFromOutsideEndsCleanly) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    for (bool kill_client : {false, true}) {
        std::string trace = OutputPath(std::string("window-lost-") + (kill_client ? "kill" : "destroy") + ".jsonl");
        std::remove(trace.c_str());
        Game game({"--window", "--seed", "3", "--trace", trace},
                  {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"});
        ASSERT_TRUE(trace_reaches(trace, game, 20, 60)) << game.err();
        std::string error;
        ASSERT_TRUE(LoseWindow(x.display(), "RC Whirlbat", kill_client, &error)) << error;
        EXPECT_EQ(game.wait(20), 0) << (kill_client ? "killed" : "destroyed") << "\n" << game.err();
        EXPECT_EQ(game.err().find("X Error"), std::string::npos) << game.err();
        auto frames = ReadTrace(trace);  // every line whole
        EXPECT_GE(frames.size(), 20u);
    }
}

// In a real window the clock paces the frames: 60 a second at most, whatever the
// display's buffer swap does. (Under Xvfb a slow software swap once passed for a
// display that waits for its vertical blank, and the game ran unpaced at 80 to 100.)
TEST(Pacing, AWindowNeverRunsFasterThanSixtyFrames) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    std::string trace = OutputPath("pacing-window.jsonl");
    Game game({"--window", "--seed", "5", "--frames", "240", "--trace", trace},
              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"});
    ASSERT_EQ(game.wait(60), 0) << game.err();
    auto frames = ReadTrace(trace);
    ASSERT_EQ(frames.size(), 240u);
    // From the 30th frame on (the display test is over by then at the latest), sixty
    // frames take a second: a frame's time is taken after its swap, which a busy machine
    // can delay, so the median of the one-second spans is what is held to it. A busy
    // machine makes frames late, never early, and a late frame moves the schedule instead
    // of catching up: these lower bounds hold however loaded it is (frame_pacing prints
    // the intervals).
    std::vector<double> spans;
    for (size_t i = 29; i + 60 < frames.size(); ++i) spans.push_back(frames[i + 60]["ms"].num() - frames[i]["ms"].num());
    std::sort(spans.begin(), spans.end());
    EXPECT_GE(spans[spans.size() / 2], 995) << "shortest " << spans.front() << ", longest " << spans.back();
    EXPECT_GE(frames.back()["ms"].num() - frames[29]["ms"].num(), 210 * 1000.0 / 60.0 - 25);
}

// Where OpenGL draws in software the picture reaches the window without it, enlarged on
// the CPU and handed to the X server. Full screen at 2.5 times, both ways of presenting
// show the same pixels: the title screen, sharply enlarged, filling the screen.
TEST(Present, WithOrWithoutOpenGlTheScreenShowsTheSamePixels) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    for (std::string how : {"cpu", "gl"}) {
        SCOPED_TRACE(how);
        std::string trace = OutputPath("present-" + how + ".jsonl");
        std::string shot = OutputPath("present-" + how + "-title.png");
        std::remove(trace.c_str());
        // The title stands still from frame 400 on: what the screen shows at any moment
        // after frame 430 is the picture of frame 420.
        Game game({"--seed", "3", "--frames", "480", "--shot", "420:" + shot, "--trace", trace},
                  {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "WHIRLBAT_PRESENT=" + how});
        ASSERT_TRUE(trace_reaches(trace, game, 430, 60)) << game.err();
        int w = 0, h = 0;
        std::string error;
        std::vector<uint32_t> screen = GrabScreen(x.display(), &w, &h, &error);
        ASSERT_EQ(game.wait(30), 0) << game.err();
        ASSERT_FALSE(screen.empty()) << error;
        ASSERT_EQ(w, 1600);
        ASSERT_EQ(h, 1200);
        Pixmap picture = LoadPixmap(shot);
        ASSERT_EQ(picture.width, 640);
        std::vector<uint32_t> words(640 * 480);
        for (int j = 0; j < 480; ++j) {
            for (int i = 0; i < 640; ++i) {
                test_support::Rgb p = test_support::PixelAt(picture, i, j);
                words[size_t(j) * 640 + size_t(i)] = uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b;
            }
        }
        SoftScaler scaler;
        SoftScalerSetup(scaler, 640, 480, 0, 0, 1600, 1200);
        std::vector<uint32_t> expected(size_t(1600) * 1200);
        SoftScale(scaler, words.data(), 640, expected.data(), 1600);
        size_t differing = 0;
        for (size_t i = 0; i < screen.size(); ++i) differing += screen[i] != expected[i];
        // Software OpenGL blends the seams with the same weights as the CPU.
        EXPECT_EQ(differing, 0u) << "of " << screen.size() << " pixels";
    }
}

// Without a compositor nothing keeps a window's pixels while another covers it: when it
// is uncovered, the game shows its last picture again, even while it waits inactive.
TEST(Expose, AnUncoveredWindowShowsTheLastPictureAgainWhileInactive) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    std::string trace = OutputPath("expose.jsonl");
    std::remove(trace.c_str());
    // The title stands still from frame 400 on; at frame 420 the window is inactive.
    Game game({"--window", "--seed", "3", "--no-settings", "--trace", trace, "--script",
               script("expose.txt", "f420 window focus lost\nt900000000 key 65 down\n")},
              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(trace_reaches(trace, game, 420, 60)) << game.err();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int w = 0, h = 0;
    std::string error;
    std::vector<uint32_t> before = GrabScreen(x.display(), &w, &h, &error);
    ASSERT_FALSE(before.empty()) << error;
    ASSERT_TRUE(CoverWindow(x.display(), "RC Whirlbat", 0xff00ff, 300, &error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::vector<uint32_t> after = GrabScreen(x.display(), &w, &h, &error);
    ASSERT_EQ(after.size(), before.size()) << error;
    size_t differing = 0, magenta = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        differing += after[i] != before[i];
        magenta += after[i] == 0xff00ffu;
    }
    EXPECT_EQ(differing, 0u) << magenta << " pixels of the window that covered it are left";
    game.signal(SIGTERM);
    EXPECT_EQ(game.wait(20), 0) << game.err();
    EXPECT_EQ(ReadTrace(trace).size(), 420u);  // inactive all along: no frame drawn
}

// A screen at rest costs the machine almost nothing: while the title stands still, its
// picture is not drawn or put on the window again; once the pointer moves, it is.
TEST(Idle, AScreenAtRestIsNotPutOnTheWindowAgain) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    std::string trace = OutputPath("idle.jsonl");
    std::remove(trace.c_str());
    // The title stands still from frame 400 on; at frame 620 the pointer moves.
    Game game({"--window", "--seed", "3", "--no-settings", "--frames", "800", "--trace", trace, "--script",
               script("idle.txt", "f620 mouse move 100 100\n")},
              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(trace_reaches(trace, game, 420, 60)) << game.err();
    std::string error;
    int at_rest = CountPictures(x.display(), "RC Whirlbat", 1000, &error);
    ASSERT_TRUE(trace_reaches(trace, game, 550, 60)) << game.err();
    int moved = CountPictures(x.display(), "RC Whirlbat", 2000, &error);
    ASSERT_EQ(game.wait(60), 0) << game.err();
    ASSERT_GE(at_rest, 0) << error;
    ASSERT_GE(moved, 0) << error;
    EXPECT_EQ(at_rest, 0);
    EXPECT_GE(moved, 1);
    // The frames went on at their pace all the while: 240 frames, 4 seconds. Never
    // faster, which no load can cause; and they did not stop at rest, though a busy
    // machine wakes each one a little late and a late frame moves the schedule on, so
    // up to twice as long holds there (bench_idle prints the span).
    auto frames = ReadTrace(trace);
    ASSERT_EQ(frames.size(), 800u);
    double span = frames[659]["ms"].num() - frames[419]["ms"].num();
    EXPECT_GE(span, 4000 - 100);
    EXPECT_LE(span, 2 * 4000);
}

// How often the thread has given up its core of its own accord (slept or waited).
long voluntary_switches(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(f, line);) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
    }
    return -1;
}

// At rest the frame's wait listens to the display. While nothing comes the game wakes
// once for two frames; a key pressed at the still title is read and shown. Events that
// change nothing, hundreds a second, do not run the game faster. How soon a key's
// picture comes (within half a frame: it is read at once instead of at the next frame's
// time) is a figure of the machine's load: bench_idle prints it.
TEST(Idle, AtRestTheGameWakesOnceForTwoFramesAndReadsAKeyAtOnce) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    std::string trace = OutputPath("idle-key.jsonl");
    std::remove(trace.c_str());
    Game game({"--window", "--seed", "3", "--no-settings", "--trace", trace},
              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy"});
    ASSERT_TRUE(trace_reaches(trace, game, 420, 60)) << game.err();
    long before = voluntary_switches(game.pid());
    size_t frames_before = traced(trace, game);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    long after = voluntary_switches(game.pid());
    size_t rested = traced(trace, game) - frames_before;
    ASSERT_GE(before, 0);
    // Once for two frames, with room for the odd wake of the display's own; waking for
    // every frame would be as many wakes as frames. Counted against the frames run
    // meanwhile, so that a busy machine running fewer does not matter.
    ASSERT_GT(rested, 30u) << "the title did not run at rest";
    EXPECT_LE(double(after - before), double(rested) * 2 / 3) << rested << " frames at rest";

    std::vector<std::string> keys;
    for (int i = 0; i < 16; ++i) keys.push_back(i % 2 ? "Up" : "Down");
    std::string error;
    // Every press at rest brings its picture (within a second, or none is measured).
    std::vector<double> ms = KeyToPictureMs(x.display(), "RC Whirlbat", keys, 150, &error);
    ASSERT_EQ(ms.size(), keys.size()) << error;
    std::sort(ms.begin(), ms.end());
    std::printf("key to picture at rest: median %.1f ms, three in four %.1f ms, slowest %.1f ms\n", ms[ms.size() / 2],
                ms[ms.size() * 3 / 4], ms.back());

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    size_t from = traced(trace, game);
    ASSERT_TRUE(PressKeys(x.display(), "RC Whirlbat", std::vector<std::string>(400, "Shift_L"), 2, &error)) << error;
    size_t to = traced(trace, game);
    game.signal(SIGTERM);
    EXPECT_EQ(game.wait(20), 0) << game.err();
    auto frames = ReadTrace(trace);
    ASSERT_GT(to, from + 30);
    ASSERT_LE(to, frames.size());
    // Not faster than 60 a second, however many events came: a frame for each event
    // would run some 400 frames in this time. The first frame's wake may come late on a
    // busy machine while the next ones keep to the schedule, hence three frames' slack.
    double span = frames[to - 1]["ms"].num() - frames[from - 1]["ms"].num();
    EXPECT_GE(span, double(to - from) * 1000.0 / 60.0 - 50) << to - from << " frames";
}

// Milliseconds since the system started, wrapping at 2^32.
uint32_t boot_ms() {
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return uint32_t(uint64_t(t.tv_sec) * 1000u + uint64_t(t.tv_nsec) / 1000000u);
}

struct Launch {
    std::string tiles;      // the first round's arena, as the trace writes it
    long rnd_state = 0;     // the generator on the first frame
    uint32_t before = 0, after = 0;  // the system's clock around the launch
};

// A player's launch in a window: the mouse starts a game from the title, and the run ends
// once the first round is under way.
Launch launch(const std::string& display, const std::vector<std::string>& extra, const std::string& name) {
    Launch l;
    std::string trace = OutputPath("seed-" + name + ".jsonl");
    std::string start = script("seed-start.txt", "f330 mouse move 320 250\nf331 mouse left down\nf332 mouse left up\n");
    std::vector<std::string> args = {"--window", "--no-settings", "--frames", "385", "--trace", trace, "--script", start};
    args.insert(args.end(), extra.begin(), extra.end());
    l.before = boot_ms();
    Game game(args, {"DISPLAY=" + display, "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                     "XDG_DATA_HOME=" + OutputPath("seed-data")});
    int code = game.wait(120);
    l.after = boot_ms();
    EXPECT_EQ(code, 0) << game.err();
    auto frames = ReadTrace(trace);
    if (frames.size() != 385u) {
        ADD_FAILURE() << name << ": " << frames.size() << " frames traced\n" << game.err();
        return l;
    }
    EXPECT_EQ(frames.back()["game_state"].i(), 2) << name << ": the round is not under way";
    l.tiles = frames.back()["tiles"].text;
    l.rnd_state = long(frames.front()["rnd_state"].num());
    return l;
}

// The launch's seed, found among the clock's readings during the launch; -1 if none fits.
long seed_within(const Launch& l) {
    for (uint32_t ms = l.before; ms != l.after + 1; ++ms) {
        if (new_world(int(ms)).rng.state == l.rnd_state) return long(ms);
    }
    return -1;
}

// A launch takes its seed from the time since the system started, so two launches in a
// row fly over different arenas; --seed N gives the same arena every time.
TEST(Seed, EveryLaunchHasItsOwnArenaAndSeedNTheSameOne) {
    Xvfb x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    Launch first = launch(x.display(), {}, "first");
    Launch second = launch(x.display(), {}, "second");
    ASSERT_FALSE(first.tiles.empty());
    ASSERT_FALSE(second.tiles.empty());
    EXPECT_NE(first.tiles, second.tiles);
    EXPECT_GE(seed_within(first), 0) << "the generator on the first frame is " << first.rnd_state
                                     << ", from no clock reading between " << first.before << " and " << first.after;
    EXPECT_GE(seed_within(second), 0) << "the generator on the first frame is " << second.rnd_state;

    Launch seeded[2] = {launch(x.display(), {"--seed", "7"}, "seeded-1"), launch(x.display(), {"--seed", "7"}, "seeded-2")};
    ASSERT_FALSE(seeded[0].tiles.empty());
    EXPECT_EQ(seeded[0].tiles, seeded[1].tiles);
    EXPECT_EQ(seeded[0].rnd_state, new_world(7).rng.state);
    EXPECT_EQ(seeded[1].rnd_state, new_world(7).rng.state);
}

}  // namespace
