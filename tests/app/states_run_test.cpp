// The game as a player starts it: the executable, headless, driven by scripts.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/pixmap.h"
#include "support.h"

namespace {

using test_support::Json;
using test_support::OutputPath;
using test_support::ReadTrace;
using test_support::RunGame;

std::string script(const std::string& name, const std::string& text) { return test_support::WriteOutput(name, text); }

// Runs the game and returns its trace; the exit code and stderr go to the out-params.
std::vector<Json> run(const std::string& name, const std::vector<std::string>& extra, int* code = nullptr,
                      std::string* err = nullptr) {
    std::string trace = OutputPath(name + ".jsonl");
    std::vector<std::string> args = {"--headless", "--trace", trace};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string e;
    int c = RunGame(args, &e);
    if (code) *code = c;
    if (err) *err = e;
    return ReadTrace(trace);
}

TEST(Startup, TitleFrameShowsTheBackgroundAtSixtyPercent) {
    std::string shot = OutputPath("title.png");
    int code = -1;
    auto trace = run("title", {"--frames", "400", "--shot", "399:" + shot}, &code);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(trace.size(), 400u);
    Pixmap pic = LoadPixmap(shot);
    Pixmap back = LoadPixmap(test_support::SourcePath("assets/whirlbat_02.png"));
    ASSERT_EQ(pic.width, 640);
    ASSERT_EQ(back.width, 640);
    // A stretch of the background clear of the logo, the menu, the pilots and the HUD.
    for (int y = 400; y < 448; y += 7) {
        for (int x = 560; x < 630; x += 5) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_NEAR(pic.at(x, y)[c], back.at(x, y)[c] * 0.6, 1.01) << x << "," << y;
            }
        }
    }
}

TEST(Startup, LogoLastsThreeHundredAndTwentySixFramesUntouched) {
    auto trace = run("logo", {"--frames", "330"});
    ASSERT_EQ(trace.size(), 330u);
    for (int i = 0; i < 326; ++i) ASSERT_EQ(trace[i]["game_state"].i(), 0) << i;
    EXPECT_EQ(trace[326]["game_state"].i(), 4);  // the first title frame
    EXPECT_EQ(trace[326]["music"].i(), 1);
    EXPECT_EQ(trace[326]["round_no"].i(), 1);  // start-up made a new game
    EXPECT_EQ(trace[326]["player"][0]["battery"].i(), 5);
}

TEST(Startup, AClickEndsTheLogoAfterOneFrame) {
    auto trace = run("logo-click", {"--frames", "5", "--script", script("click.txt", "f1 mouse left down\n")});
    ASSERT_EQ(trace.size(), 5u);
    EXPECT_EQ(trace[0]["game_state"].i(), 0);
    EXPECT_EQ(trace[1]["game_state"].i(), 4);
}

TEST(Startup, ClosingTheWindowDuringTheLogoStillShowsOneTitleFrame) {
    int code = -1;
    auto trace = run("logo-close", {"--script", script("close.txt", "f5 window close\n")}, &code);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(trace.size(), 6u);
    EXPECT_EQ(trace[5]["game_state"].i(), 4);
    EXPECT_EQ(trace[5]["quit_game"].i(), 1);
}

TEST(States, EscapeOnTheTitleEndsTheProgram) {
    int code = -1;
    auto trace = run("escape", {"--script", script("escape.txt", "f400 key esc down\nf401 key esc up\n")}, &code);
    EXPECT_EQ(code, 0);
    ASSERT_EQ(trace.size(), 400u);  // no frame after the one Escape was hit in
    EXPECT_EQ(trace.back()["game_state"].i(), 4);
}

TEST(States, PauseAndBackToTheTitleWithTheKeys) {
    auto trace = run("pause", {"--seed", "4", "--frames", "460", "--script",
                               script("pause.txt",
                                      "pads 1\n"
                                      "f330 mouse move 320 250\nf331 mouse left down\nf332 mouse left up\n"
                                      "f400 key space down\nf401 key space up\n"
                                      "f410 pad0 b1 down\nf411 pad0 b1 up\n"
                                      "f420 key esc down\nf421 key esc up\n"
                                      "f430 key esc down\nf431 key esc up\n")});
    ASSERT_EQ(trace.size(), 460u);
    auto at = [&](int frame) { return trace[frame - 1]; };
    EXPECT_EQ(at(400)["game_state"].i(), 2);
    EXPECT_EQ(at(401)["game_state"].i(), 3);  // Space paused
    EXPECT_EQ(at(401)["music"].i(), 1);
    EXPECT_EQ(at(411)["game_state"].i(), 2);  // pad 0 button 1 resumed
    EXPECT_EQ(at(411)["music"].i(), 2);
    EXPECT_EQ(at(421)["game_state"].i(), 3);  // Escape paused
    EXPECT_EQ(at(431)["game_state"].i(), 4);  // Escape in pause: the title
    EXPECT_EQ(at(431)["music"].i(), 1);
    EXPECT_EQ(at(431)["mouse"][1].i(), 245);
}

TEST(States, AnInactiveWindowFreezesTheGame) {
    auto trace = run("focus", {"--frames", "405", "--script",
                               script("focus.txt", "f400 window focus lost\nt9000 window focus gained\n")});
    ASSERT_EQ(trace.size(), 405u);
    int before = trace[399]["ms"].i(), after = trace[400]["ms"].i();
    EXPECT_LT(before, 7000);
    EXPECT_GE(after, 9000);  // no frame drawn while inactive
    EXPECT_EQ(trace[400]["music"].i(), 1);  // resumed
    EXPECT_EQ(trace[400]["game_state"].i(), 4);
}

TEST(Flying, BlueFiresAtABlockAndItTurnsToFloor) {
    std::string shot = OutputPath("fly-rocket.png");
    auto trace = run("fly", {"--seed", "1", "--frames", "470", "--shot", "447:" + shot, "--script",
                             test_support::SourcePath("tests/scripts/start_and_fly.txt")});
    ASSERT_EQ(trace.size(), 470u);
    auto at = [&](int frame) { return trace[frame - 1]; };
    EXPECT_EQ(at(381)["player"][0]["alt"].i(), 1);  // lift-off
    EXPECT_GT(at(430)["player"][0]["rotation"].num(), 5);
    EXPECT_EQ(at(440)["rockets"].items.size(), 0u);
    ASSERT_EQ(at(441)["rockets"].items.size(), 1u);
    EXPECT_EQ(at(441)["rockets"][0]["id"].i(), 0);
    EXPECT_EQ(at(441)["sfx"][0].text, "brocket");
    EXPECT_GT(at(447)["trails"].i(), 5);
    EXPECT_EQ(at(451)["tiles"].text[105], '3');
    EXPECT_EQ(at(452)["tiles"].text[105], '1');
    EXPECT_EQ(at(452)["rockets"].items.size(), 0u);
    EXPECT_EQ(at(452)["explodes"].i(), 62);
    EXPECT_EQ(at(452)["dusts"].i(), 11);
    EXPECT_EQ(at(470)["player"][0]["battery"].i(), 5);
    EXPECT_FALSE(LoadPixmap(shot).empty());
}

TEST(Flying, ARunIsTheSameEveryTime) {
    std::vector<std::string> args = {"--seed", "1", "--frames", "480", "--script",
                                     test_support::SourcePath("tests/scripts/start_and_fly.txt")};
    run("again-1", args);
    run("again-2", args);
    std::ifstream a(OutputPath("again-1.jsonl")), b(OutputPath("again-2.jsonl"));
    std::string ta((std::istreambuf_iterator<char>(a)), {}), tb((std::istreambuf_iterator<char>(b)), {});
    EXPECT_GT(ta.size(), 100000u);
    EXPECT_EQ(ta, tb);
}

TEST(Pads, UnpluggingAPadMidFlightAndPluggingItBack) {
    int code = -1;
    std::string err;
    auto trace = run("hotplug", {"--seed", "2", "--frames", "600", "--script",
                                 test_support::SourcePath("tests/scripts/hotplug.txt")},
                     &code, &err);
    EXPECT_EQ(code, 0) << err;
    ASSERT_EQ(trace.size(), 600u);
    auto red = [&](int frame) { return trace[frame - 1]["player"][1]; };
    EXPECT_EQ(trace[399]["pads_found"].i(), 2);
    EXPECT_GT(red(430)["alt"].i(), 0);
    // Pulled while climbing: it goes on climbing on the values it last had.
    EXPECT_GT(red(470)["alt"].i(), red(450)["alt"].i());
    // Back in and let go: it holds its altitude.
    EXPECT_EQ(red(560)["alt"].i(), red(540)["alt"].i());
}

TEST(Errors, NoDisplayIsOnePlainLineAndStatusOne) {
    std::string err;
    int code = RunGame({"--frames", "5"}, &err, {"SDL_VIDEODRIVER=x11", "DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_NE(err.find("--headless"), std::string::npos);
}

TEST(Errors, MissingSoundFilesAreListedAndTheGameGoesOn) {
    std::string err;
    std::string trace = OutputPath("nodata.jsonl");
    std::string empty = OutputPath("no-data");
    std::string mkdir = "mkdir -p " + empty;
    ASSERT_EQ(std::system(mkdir.c_str()), 0);
    int code = RunGame({"--headless", "--frames", "400", "--trace", trace, "--data", empty}, &err);
    EXPECT_EQ(code, 0);
    EXPECT_NE(err.find("missing sound files"), std::string::npos) << err;
    EXPECT_NE(err.find("data/playtrack.ogg"), std::string::npos);
    EXPECT_EQ(ReadTrace(trace).size(), 400u);
}

TEST(Errors, BadCommandLinesAndScriptsAreNamed) {
    std::string err;
    EXPECT_EQ(RunGame({"--frames", "x"}, &err), 2);
    EXPECT_NE(err.find("--frames needs a number from 1 to"), std::string::npos);
    EXPECT_EQ(RunGame({"--headless", "--script", script("bad.txt", "f1 key space maybe\n")}, &err), 2);
    EXPECT_NE(err.find("bad.txt:1:"), std::string::npos);
    EXPECT_EQ(RunGame({"--help"}, &err), 0);
}

TEST(Errors, AWaitTheScriptNeverEndsStopsTheRun) {
    std::string err;
    // Button 0 chooses "Start Game" and is never let go: the input flush would wait forever.
    int code = RunGame({"--headless", "--script",
                        script("held.txt", "pads 1\nf330 mouse move 320 250\nf331 pad0 b0 down\n")},
                       &err);
    EXPECT_EQ(code, 3);
    EXPECT_NE(err.find("waited"), std::string::npos) << err;
}

}  // namespace
