// A window with real OpenGL: the Windows build under Wine and the Linux build, each full
// screen on an X server of its own of the same size, show the same pixels, every one of
// them, for the same scripted frame (the title at rest, the pointer on Start Game). And
// a player's start that fails on Windows says why in a message box as well as on stderr.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "../app/x11_client.h"
#include "support.h"
#include "x_server.h"

using namespace test_support;

namespace {

constexpr char kScreen[] = "1280x960";

struct Shown {
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    std::string error;
};

// Runs the game (the command's words) on the display and takes the screen twice, a second
// apart, once the title is at rest; the two must agree (the frame is held).
Shown screen_of(const std::string& display, const std::vector<std::string>& command, std::vector<std::string> env,
                std::string* err, int* code) {
    env.push_back("DISPLAY=" + display);
    env.push_back("SDL_AUDIODRIVER=dummy");
    std::thread game([&] {
        std::vector<std::string> args(command.begin() + 1, command.end());
        *code = RunBinary(command[0], args, err, env);
    });
    Shown first, second;
    // The logo takes 326 frames; Wine a few seconds more to start.
    std::this_thread::sleep_for(std::chrono::seconds(14));
    first.pixels = GrabScreen(display, &first.w, &first.h, &first.error);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    second.pixels = GrabScreen(display, &second.w, &second.h, &second.error);
    game.join();
    if (first.pixels != second.pixels) second.error = "the picture did not hold still: " + second.error;
    return second;
}

void save(const Shown& s, const std::string& name) {
    Pixmap picture = MakePixmap(s.w, s.h, 3);
    for (int y = 0; y < s.h; ++y) {
        for (int x = 0; x < s.w; ++x) {
            uint32_t v = s.pixels[size_t(y) * size_t(s.w) + size_t(x)];
            uint8_t* p = picture.at(x, y);
            p[0] = uint8_t(v >> 16);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(v);
        }
    }
    SavePNG(OutputPath(name), picture);
}

TEST(WindowsWindow, TheTitlesFrameShowsTheSamePixelsAsLinux) {
    XServer linux_x(kScreen), windows_x(kScreen);
    ASSERT_FALSE(linux_x.display().empty() || windows_x.display().empty()) << "Xvfb is needed";
    std::string script = WriteOutput("windows_window.txt", "f400 mouse move 320 250\n");
    std::vector<std::string> game_args = {"--seed", "7", "--frames", "1200", "--no-lan", "--script", script};
    std::vector<std::string> linux_command = {WHIRLBAT_BINARY};
    linux_command.insert(linux_command.end(), game_args.begin(), game_args.end());
    std::vector<std::string> windows_command = {WHIRLBAT_WINE_RUN, OutputPath("wine-window"), WHIRLBAT_WINDOWS_BINARY};
    windows_command.insert(windows_command.end(), game_args.begin(), game_args.end());
    std::string prefix_err;
    ASSERT_EQ(RunBinary(WHIRLBAT_WINE_RUN, {OutputPath("wine-window")}, &prefix_err), 0) << prefix_err;

    Shown on_linux, on_windows;
    std::string linux_err, windows_err;
    int linux_code = -1, windows_code = -1;
    // One after the other: a program that forks from two threads at once may hang its
    // children.
    // The Linux build keeps its settings and recordings in a folder of the test's own,
    // the Windows build in its Wine prefix.
    std::string home = OutputPath("window-linux");
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    on_linux = screen_of(linux_x.display(), linux_command,
                         {"HOME=" + home, "XDG_CONFIG_HOME=" + home, "XDG_DATA_HOME=" + home, "XDG_STATE_HOME=" + home,
                          "SDL_VIDEODRIVER=x11"},
                         &linux_err, &linux_code);
    on_windows = screen_of(windows_x.display(), windows_command, {"SDL_VIDEODRIVER="}, &windows_err, &windows_code);
    std::string err;
    RunBinary("/bin/sh", {"-c", "WINEPREFIX='" + OutputPath("wine-window") + "' wineserver -k"}, &err);
    ASSERT_EQ(linux_code, 0) << linux_err;
    ASSERT_EQ(windows_code, 0) << windows_err;
    ASSERT_FALSE(on_linux.pixels.empty()) << on_linux.error;
    ASSERT_FALSE(on_windows.pixels.empty()) << on_windows.error;
    EXPECT_TRUE(on_linux.error.empty()) << on_linux.error;
    EXPECT_TRUE(on_windows.error.empty()) << on_windows.error;
    save(on_linux, "window-linux.png");
    save(on_windows, "window-windows.png");
    ASSERT_EQ(on_windows.w, on_linux.w);
    ASSERT_EQ(on_windows.h, on_linux.h);
    long differ = 0, lit = 0;
    for (size_t i = 0; i < on_linux.pixels.size(); ++i) {
        differ += on_linux.pixels[i] != on_windows.pixels[i];
        lit += on_linux.pixels[i] != 0;
    }
    EXPECT_EQ(differ, 0) << "pixels that differ (test-output/window-linux.png and window-windows.png)";
    EXPECT_GT(lit, long(on_linux.pixels.size() / 4)) << "the title hardly showed";
    std::printf("%dx%d screen: %ld pixels differ, %ld lit\n", on_linux.w, on_linux.h, differ, lit);
}

TEST(WindowsWindow, AStartThatFailsIsShownInAMessageBox) {
    XServer x("1024x768");
    ASSERT_FALSE(x.display().empty()) << "Xvfb is needed";
    // A Wine prefix of its own: the title's test beside it (ctest -j2) ends its prefix's
    // wineserver, and with it every program of that prefix.
    std::string prefix = OutputPath("wine-message-box");
    std::string err;
    ASSERT_EQ(RunBinary(WHIRLBAT_WINE_RUN, {prefix}, &err), 0) << err;
    int code = -1;
    std::thread game([&] {
        code = RunBinary(WHIRLBAT_WINE_RUN, {prefix, WHIRLBAT_WINDOWS_BINARY, "--no-lan", "--no-settings"}, &err,
                         {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=none-such", "SDL_AUDIODRIVER=dummy"});
    });
    // The box waits for the player: found by its title, and answered with Return.
    bool shown = false;
    std::string error;
    for (int i = 0; i < 100 && !shown; ++i) {
        int w = 0, h = 0;
        shown = WindowSize(x.display(), "RC Whirlbat", &w, &h, &error) && w > 0 && w < 1024;
        if (!shown) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    bool answered = shown && PressKeys(x.display(), "RC Whirlbat", {"Return"}, 100, &error);
    if (!answered) RunBinary("/bin/sh", {"-c", "WINEPREFIX='" + prefix + "' wineserver -k"}, &error);
    game.join();
    RunBinary("/bin/sh", {"-c", "WINEPREFIX='" + prefix + "' wineserver -k"}, &error);
    EXPECT_TRUE(shown) << "no message box came: " << error;
    EXPECT_TRUE(answered) << error;
    EXPECT_EQ(code, 1) << err;
    EXPECT_NE(err.find("rc-whirlbat: no display could be opened"), std::string::npos) << err;
}

}  // namespace
