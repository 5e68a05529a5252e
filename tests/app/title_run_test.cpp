// What a new player meets on the title, headless: the menu's lit item is seen whole
// beside the pilots' panels, the panels are the pointer's targets where they are drawn
// (no menu item lights up under them, a click anywhere on one changes its pilot), a
// hint line names the program's keys, and a pilot whose pad is missing is named on the
// title and once more when a game starts without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/pixmap.h"
#include "support.h"

namespace {

using test_support::ReadWhole;
using test_support::OutputPath;
using test_support::ReadTrace;
using test_support::RunGame;

constexpr int kPlay = 2, kTitle = 4;

struct Shots {
    int code = -1;
    std::string err;
    std::vector<Pixmap> pictures;
    std::vector<test_support::Json> trace;
};

// A headless run of `script` (seed 5, two keyboard pilots unless the arguments say
// otherwise) with the pictures of the frames asked for.
Shots run(const std::string& name, const std::string& script, const std::vector<int>& frames,
          std::vector<std::string> args = {}) {
    Shots r;
    std::string trace = OutputPath(name + ".jsonl");
    std::remove(trace.c_str());
    int last = 0;
    for (int f : frames) last = std::max(last, f);
    std::vector<std::string> all = {"--headless", "--seed", "5", "--frames", std::to_string(last + 1), "--trace", trace,
                                    "--script", test_support::WriteOutput(name + ".txt", script)};
    if (std::find(args.begin(), args.end(), "--blue") == args.end()) all.insert(all.end(), {"--blue", "keys"});
    if (std::find(args.begin(), args.end(), "--red") == args.end()) all.insert(all.end(), {"--red", "keys"});
    all.insert(all.end(), args.begin(), args.end());
    for (size_t i = 0; i < frames.size(); ++i)
        all.insert(all.end(), {"--shot", std::to_string(frames[i]) + ":" + OutputPath(name + "-" + std::to_string(i) + ".png")});
    r.code = RunGame(all, &r.err);
    for (size_t i = 0; i < frames.size(); ++i) r.pictures.push_back(LoadPixmap(OutputPath(name + "-" + std::to_string(i) + ".png")));
    r.trace = ReadTrace(trace);
    return r;
}

// The menu's lit colour, as the picture shows it where nothing dims it.
bool lit_red(const Pixmap& p, int x, int y) {
    const uint8_t* c = p.at(x, y);
    return c[0] > 200 && c[1] < 70 && c[2] < 70;
}

// Pixels of the lit colour in a rectangle of the picture.
int lit_pixels(const Pixmap& p, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) n += lit_red(p, x, y);
    }
    return n;
}

TEST(TitleLayout, TheLitItemIsSeenWholeBesideThePilotsPanels) {
    // The widest item, "Detect Game Pads: 0", lit: drawn centred on the picture, its
    // lit pixels reach as far right of the middle as left of it, unless a panel dims an end.
    Shots r = run("title-lit-detect", "f340 mouse move 320 285\n", {360});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_FALSE(r.pictures[0].empty());
    const Pixmap& p = r.pictures[0];
    int left = 640, right = -1;
    for (int y = 268; y < 306; ++y) {
        for (int x = 0; x < 640; ++x) {
            if (!lit_red(p, x, y)) continue;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    ASSERT_LT(left, 320) << "no lit item in the picture";
    EXPECT_NEAR(right - 320, 320 - left, 5) << "lit from " << left << " to " << right
                                            << ": one end of the item is under a pilot's panel";
}

TEST(TitlePointer, OverAPilotsPanelNoMenuItemLightsUp) {
    // The pointer on Red's legend, then on Blue's: the menu's rows at that height are not lit.
    Shots r = run("title-over-panel", "f340 mouse move 540 300\nf360 mouse move 90 340\nf380 mouse move 320 300\n",
                  {350, 370, 390});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.pictures.size(), 3u);
    EXPECT_EQ(lit_pixels(r.pictures[0], 190, 230, 450, 425), 0) << "an item lit with the pointer over Red's panel";
    EXPECT_EQ(lit_pixels(r.pictures[1], 190, 230, 450, 425), 0) << "an item lit with the pointer over Blue's panel";
    EXPECT_GT(lit_pixels(r.pictures[2], 190, 230, 450, 425), 200) << "the item under the pointer is not lit";
    // The pointer (a yellow arrow) is drawn over the panel, not dimmed under it.
    int bright = 0;
    for (int y = 300; y < 320; ++y) {
        for (int x = 540; x < 556; ++x) {
            const uint8_t* c = r.pictures[0].at(x, y);
            bright += c[0] > 200 && c[1] > 150 && c[2] < 120;
        }
    }
    EXPECT_GT(bright, 10) << "the pointer is under Red's panel";
}

TEST(TitlePointer, AClickAnywhereOnAPanelChangesItsPilotAndNothingElse) {
    // A click right of Blue's pilot name ("Keys"), and one on Red's legend: each side's
    // pilot goes to the next (the computer, easy), and the menu under them sees neither
    // click (the one at the height of "Start Game" starts no game).
    std::string settings = OutputPath("title-click-panel.ini");
    std::remove(settings.c_str());
    std::string s = "f340 mouse move 150 250\nf341 mouse left down\nf342 mouse left up\n"
                    "f350 mouse move 560 330\nf351 mouse left down\nf352 mouse left up\n";
    Shots r = run("title-click-panel", s, {400}, {"--settings", settings});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.trace.size(), 401u);
    ASSERT_EQ(r.trace[339]["game_state"].i(), kTitle);
    for (size_t f = 339; f < r.trace.size(); ++f)
        ASSERT_EQ(r.trace[f]["game_state"].i(), kTitle) << "a click on a panel reached the menu (frame " << f << ")";
    EXPECT_EQ(r.trace[339]["pads_found"].i(), r.trace[400]["pads_found"].i());
    std::string kept = ReadWhole(settings);
    EXPECT_NE(kept.find("blue = computer:easy\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("red = computer:easy\n"), std::string::npos) << kept;
}

TEST(TitleHints, ALineUnderTheScoresNamesTheProgramsKeys) {
    // Between the scores and the logo, a line of light text on a dark band (the words
    // themselves: TitleHints.TheLineNamesSpaceF1F2AndF11 in app_tests).
    Shots r = run("title-hints", "", {360});
    ASSERT_EQ(r.code, 0) << r.err;
    const Pixmap& p = r.pictures[0];
    ASSERT_FALSE(p.empty());
    int light = 0, dark = 0;
    for (int y = 34; y < 52; ++y) {
        for (int x = 60; x < 580; ++x) {
            const uint8_t* c = p.at(x, y);
            light += c[0] > 190 && c[1] > 190 && c[2] > 190;
            dark += c[0] < 40 && c[1] < 40 && c[2] < 40;
        }
    }
    EXPECT_GT(light, 300) << "no hint line under the scores";
    EXPECT_GT(dark, 2000) << "the hint line has no dark band to be read on";
}

TEST(MissingPad, AGameStartedWithoutBluesPadSaysSoOnce) {
    // Blue named to a pad, none plugged in: Return starts the game anyway, and one line
    // says Blue's pad is missing; the second game started says it again, once.
    std::string s = "f340 key 13 down\nf341 key 13 up\nf600 key 27 down\nf601 key 27 up\n";
    for (int i = 0; i < 4; ++i) s += "f" + std::to_string(610 + 4 * i) + " key 40 down\nf" + std::to_string(611 + 4 * i) + " key 40 up\n";
    s += "f640 key 13 down\nf641 key 13 up\nf700 key 38 down\nf701 key 38 up\n";
    for (int i = 0; i < 4; ++i) s += "f" + std::to_string(704 + 4 * i) + " key 38 down\nf" + std::to_string(705 + 4 * i) + " key 38 up\n";
    s += "f730 key 13 down\nf731 key 13 up\n";
    Shots r = run("missing-pad", s, {900}, {"--blue", "pad", "--red", "computer"});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(r.trace.size(), 901u);
    ASSERT_EQ(r.trace[400]["game_state"].i(), kPlay);
    ASSERT_EQ(r.trace[800]["game_state"].i(), kPlay) << "the second game did not start";
    std::string line = "rc-whirlbat: pad 1 is not connected: Blue does not fly this game (F1 on the title "
                       "chooses another pilot)\n";
    size_t first = r.err.find(line);
    ASSERT_NE(first, std::string::npos) << r.err;
    size_t second = r.err.find(line, first + 1);
    ASSERT_NE(second, std::string::npos) << "the second game did not say so: " << r.err;
    EXPECT_EQ(r.err.find(line, second + 1), std::string::npos) << r.err;

    // With the pad there, nothing is said.
    Shots plugged = run("missing-pad-plugged", "pads 1\n" + s, {900}, {"--blue", "pad", "--red", "computer"});
    ASSERT_EQ(plugged.code, 0) << plugged.err;
    EXPECT_EQ(plugged.err.find("is not connected"), std::string::npos) << plugged.err;
}

TEST(MissingPad, ThePanelSaysThePadIsNotConnected) {
    // Blue's panel without its pad and with it: the panel's lines differ below the name
    // (the pad's sticks and buttons, or what to do without it), drawn in a warning colour.
    Shots without = run("panel-no-pad", "", {360}, {"--blue", "pad"});
    Shots with = run("panel-pad", "pads 1\n", {360}, {"--blue", "pad"});
    ASSERT_EQ(without.code, 0) << without.err;
    ASSERT_EQ(with.code, 0) << with.err;
    int warning = 0;
    for (int y = 280; y < 400; ++y) {
        for (int x = 4; x < 180; ++x) {
            const uint8_t* c = without.pictures[0].at(x, y);
            warning += c[0] > 200 && c[1] > 150 && c[1] < 230 && c[2] < 110;
        }
    }
    EXPECT_GT(warning, 80) << "no warning-coloured line in Blue's panel without its pad";
}

}  // namespace
