// The screens in a real window under an X server of the test's own, 1920 x 1080, driven
// by key presses that go through the X server (XTest) as a keyboard's do: the title's
// row, the online screen, the replays, the options and a side's keys, F11 and Alt+Enter switching between
// full screen and a window, and a game started and quit. The screen is grabbed at each
// screen (test-output/screens-1080-*.png) for a person to look at.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/pixmap.h"
#include "support.h"
#include "x11_client.h"
#include "x_server.h"

namespace {

using test_support::ReadWhole;
using test_support::OutputPath;
using test_support::SourcePath;
using Clock = std::chrono::steady_clock;

const char* const kTitle = "RC Whirlbat";

using Server = test_support::XServer;

// The game in its own process; killed if the test ends first.
class Game {
public:
    Game(const std::vector<std::string>& args, const std::vector<std::string>& env) {
        // A file of each game's own: ctest runs this binary's cases side by side.
        static int serial = 0;
        err_ = OutputPath("screens-window-stderr-" + std::to_string(getpid()) + "-" + std::to_string(++serial) + ".txt");
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(WHIRLBAT_SOURCE_DIR) != 0 || !freopen(err_.c_str(), "w", stderr)) _exit(127);
            for (const std::string& e : env) {
                size_t eq = e.find('=');
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
            std::string binary = WHIRLBAT_BINARY;
            std::vector<std::string> copy = args;
            std::vector<char*> argv{binary.data()};
            for (std::string& a : copy) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(binary.c_str(), argv.data());
            _exit(127);
        }
    }
    ~Game() {
        if (pid_ > 0 && code_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    // The exit code, or -1 (and the game killed) after `seconds`.
    int wait(double seconds) {
        auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return code_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    std::string err() const {
        std::ifstream in(err_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    pid_t pid_ = -1;
    int code_ = -1;
    std::string err_;
};

// Lines of the trace the game is writing.
size_t traced(const std::string& trace, const Game& game) {
    std::ifstream f(trace + ".partial-" + std::to_string(game.pid()));
    size_t count = 0;
    for (std::string line; std::getline(f, line);) count += !line.empty();
    return count;
}

// The last line of the trace being written that holds `field`, as text.
std::string last_line(const std::string& trace, const Game& game) {
    std::ifstream f(trace + ".partial-" + std::to_string(game.pid()));
    std::string last;
    for (std::string line; std::getline(f, line);) {
        if (!line.empty()) last = line;
    }
    return last;
}

bool wait_for(const std::function<bool()>& done, double seconds) {
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// Grabs the screen into test-output/screens-1080-NAME.png; the screen's size.
std::pair<int, int> grab(const std::string& display, const std::string& name) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int w = 0, h = 0;
    std::string error;
    std::vector<uint32_t> words = GrabScreen(display, &w, &h, &error);
    EXPECT_FALSE(words.empty()) << error;
    if (words.empty()) return {0, 0};
    Pixmap picture = MakePixmap(w, h, 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t v = words[size_t(y) * size_t(w) + size_t(x)];
            uint8_t* p = picture.at(x, y);
            p[0] = uint8_t(v >> 16);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(v);
        }
    }
    EXPECT_TRUE(SavePNG(OutputPath("screens-1080-" + name + ".png"), picture));
    return {w, h};
}

TEST(ScreensInAWindow, RealKeysReachEveryScreenAndSwitchFullScreen) {
    Server x("1920x1080");
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    namespace fs = std::filesystem;
    std::string home = OutputPath("screens-window-data");
    fs::remove_all(home);
    fs::create_directories(home + "/rc-whirlbat/replays");
    fs::copy_file(SourcePath("tests/replays/game008.wbreplay"), home + "/rc-whirlbat/replays/2026-12-08T10-34-24-game.wbreplay");
    fs::copy_file(SourcePath("tests/replays/game026.wbreplay"), home + "/rc-whirlbat/replays/2026-12-09T08-00-00-game.wbreplay");
    std::string settings = OutputPath("screens-window.ini");
    std::string trace = OutputPath("screens-window.jsonl");
    std::remove(settings.c_str());
    // --no-lan: the online screen stays off the network this machine is on.
    Game game({"--seed", "3", "--no-lan", "--trace", trace, "--settings", settings},
              {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "XDG_DATA_HOME=" + home});
    ASSERT_TRUE(wait_for([&] { return traced(trace, game) >= 345; }, 60)) << game.err();
    std::string error;
    int w = 0, h = 0;
    ASSERT_TRUE(WindowSize(x.display(), kTitle, &w, &h, &error)) << error;
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    auto keys = [&](const std::vector<std::string>& list) {
        ASSERT_TRUE(PressKeys(x.display(), kTitle, list, 120, &error)) << error;
    };
    grab(x.display(), "title");
    keys({"Down", "Down", "Down", "Down", "Down"});
    grab(x.display(), "title-row");
    keys({"Return"});
    grab(x.display(), "online");
    keys({"Escape", "Right", "Return"});
    grab(x.display(), "replays");
    keys({"Escape", "Right", "Return"});
    grab(x.display(), "options");
    keys({"Down", "Down", "Return"});
    grab(x.display(), "keys");
    keys({"Escape", "Escape"});

    // F11: a window; Alt+Enter: full screen again. Each is kept in the settings.
    keys({"F11"});
    ASSERT_TRUE(wait_for([&] { return WindowSize(x.display(), kTitle, &w, &h, &error) && w < 1920; }, 5))
        << w << " x " << h << " " << error;
    EXPECT_TRUE(wait_for([&] { return ReadWhole(settings).find("display = window\n") != std::string::npos; }, 5))
        << ReadWhole(settings);
    grab(x.display(), "window");
    keys({"Alt_L+Return"});
    ASSERT_TRUE(wait_for([&] { return WindowSize(x.display(), kTitle, &w, &h, &error) && w == 1920 && h == 1080; }, 5))
        << w << " x " << h << " " << error;
    EXPECT_TRUE(wait_for([&] { return ReadWhole(settings).find("display = full screen\n") != std::string::npos; }, 5))
        << ReadWhole(settings);

    // Up to "Start Game", Return: a game; Escape pauses, Escape again is the title, and
    // Escape there ends the program.
    keys({"Up", "Up", "Up", "Up", "Up", "Return"});
    EXPECT_TRUE(wait_for([&] { return last_line(trace, game).find("\"game_state\":2") != std::string::npos; }, 10))
        << last_line(trace, game).substr(0, 200);
    grab(x.display(), "play");
    keys({"Escape"});
    EXPECT_TRUE(wait_for([&] { return last_line(trace, game).find("\"game_state\":3") != std::string::npos; }, 10));
    keys({"Escape"});
    EXPECT_TRUE(wait_for([&] { return last_line(trace, game).find("\"game_state\":4") != std::string::npos; }, 10));
    keys({"Escape"});
    EXPECT_EQ(game.wait(20), 0) << game.err();
}

// ---- the window's size ----

// The game started with `args` under the server, headless of nothing but its sound.
std::vector<std::string> window_env(const Server& x, const std::string& home) {
    return {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "XDG_DATA_HOME=" + home};
}

bool window_is(const Server& x, int want_w, int want_h, int* w, int* h) {
    std::string error;
    return wait_for([&] { return WindowSize(x.display(), kTitle, w, h, &error) && *w == want_w && *h == want_h; }, 5);
}

TEST(WindowSize, OnAHandheldsScreenAWindowIsTheLargestFourByThreeThatFits) {
    // 1280 x 800: twice the picture (1280 x 960) does not fit, so F11 from full screen
    // gives 1066 x 800, not the picture at 1:1. A size the player gives the window is
    // kept: full screen and back returns to it, and so does the next start.
    Server x("1280x800");
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    std::string home = OutputPath("window-size-data");
    std::filesystem::remove_all(home);
    std::string settings = OutputPath("window-size.ini");
    std::string trace = OutputPath("window-size.jsonl");
    std::remove(settings.c_str());
    std::string error;
    int w = 0, h = 0;
    {
        Game game({"--seed", "3", "--no-lan", "--trace", trace, "--settings", settings}, window_env(x, home));
        ASSERT_TRUE(wait_for([&] { return traced(trace, game) >= 340; }, 60)) << game.err();
        ASSERT_TRUE(window_is(x, 1280, 800, &w, &h)) << w << " x " << h;
        ASSERT_TRUE(PressKeys(x.display(), kTitle, {"F11"}, 120, &error)) << error;
        EXPECT_TRUE(window_is(x, 1066, 800, &w, &h)) << "F11 on 1280 x 800 gave " << w << " x " << h;
        ASSERT_TRUE(ResizeWindow(x.display(), kTitle, 900, 675, &error)) << error;
        EXPECT_TRUE(wait_for([&] { return ReadWhole(settings).find("window = 900x675\n") != std::string::npos; }, 5))
            << ReadWhole(settings);
        ASSERT_TRUE(PressKeys(x.display(), kTitle, {"Alt_L+Return"}, 120, &error)) << error;
        EXPECT_TRUE(window_is(x, 1280, 800, &w, &h)) << w << " x " << h;
        ASSERT_TRUE(PressKeys(x.display(), kTitle, {"F11"}, 120, &error)) << error;
        EXPECT_TRUE(window_is(x, 900, 675, &w, &h)) << "back from full screen at " << w << " x " << h;
        ASSERT_TRUE(PressKeys(x.display(), kTitle, {"Escape"}, 120, &error)) << error;
        EXPECT_EQ(game.wait(20), 0) << game.err();
    }
    std::string kept = ReadWhole(settings);
    EXPECT_NE(kept.find("display = window\n"), std::string::npos) << kept;
    Game again({"--seed", "3", "--no-lan", "--trace", trace, "--settings", settings}, window_env(x, home));
    ASSERT_TRUE(wait_for([&] { return traced(trace, again) >= 60; }, 60)) << again.err();
    EXPECT_TRUE(window_is(x, 900, 675, &w, &h)) << "the next start opened " << w << " x " << h;
}

TEST(WindowSize, OnA1080ScreenAWindowIsTwiceThePicture) {
    Server x("1920x1080");
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    std::string home = OutputPath("window-1080-data");
    std::filesystem::remove_all(home);
    std::string trace = OutputPath("window-1080.jsonl");
    Game game({"--window", "--seed", "3", "--no-settings", "--no-lan", "--trace", trace}, window_env(x, home));
    ASSERT_TRUE(wait_for([&] { return traced(trace, game) >= 30; }, 60)) << game.err();
    int w = 0, h = 0;
    EXPECT_TRUE(window_is(x, 1280, 960, &w, &h)) << w << " x " << h;
}

// ---- a game a crash cut short ----

TEST(RecoveredGame, IsAnnouncedOnTheTitleOnce) {
    // A game left unfinished in the replays folder: the first start recovers it and says
    // so on the title (under the scores); the next start has nothing to say there.
    Server x("1280x800");
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed (tools/install-deps.sh installs it)";
    namespace fs = std::filesystem;
    std::string home = OutputPath("recovered-data");
    fs::remove_all(home);
    fs::create_directories(home + "/rc-whirlbat/replays");
    fs::copy_file(SourcePath("tests/replays/game008.wbreplay"),
                  home + "/rc-whirlbat/replays/2026-12-08T10-34-24-game.wbreplay.partial");
    std::vector<Pixmap> titles;
    for (int start = 0; start < 2; ++start) {
        std::string shot = OutputPath("recovered-title-" + std::to_string(start) + ".png");
        std::remove(shot.c_str());
        Game game({"--window", "--seed", "3", "--no-settings", "--no-lan", "--frames", "400", "--shot", "380:" + shot},
                  window_env(x, home));
        ASSERT_EQ(game.wait(60), 0) << game.err();
        if (start == 0) {
            EXPECT_NE(game.err().find("was recovered as"), std::string::npos) << game.err();
        }
        titles.push_back(LoadPixmap(shot));
        ASSERT_FALSE(titles.back().empty()) << shot;
    }
    EXPECT_TRUE(fs::exists(home + "/rc-whirlbat/replays/2026-12-08T10-34-24-game-recovered.wbreplay"));
    int differ = 0;
    for (int y = 30; y < 56; ++y) {
        for (int px = 0; px < 640; ++px) differ += !std::equal(titles[0].at(px, y), titles[0].at(px, y) + 3, titles[1].at(px, y));
    }
    EXPECT_GT(differ, 300) << "the title did not say that a game was recovered";
    int rest = 0;
    for (int y = 60; y < 480; ++y) {
        for (int px = 0; px < 640; ++px) rest += !std::equal(titles[0].at(px, y), titles[0].at(px, y) + 3, titles[1].at(px, y));
    }
    EXPECT_LT(rest, 200) << "the two titles differ elsewhere too (not the same seed?)";
}

}  // namespace
