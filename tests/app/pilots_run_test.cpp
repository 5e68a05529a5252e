// Anyone can play: two people on one keyboard, a pad and a keyboard half, the settings
// kept between runs, and the 3D glasses mode. The program itself, headless, driven by
// scripts of key presses as the keyboard makes them.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/pixmap.h"
#include "support.h"

namespace {

using test_support::Json;
using test_support::OutputPath;
using test_support::ReadTrace;
using test_support::RunGame;

std::string script(const std::string& name, const std::string& text) { return test_support::WriteOutput(name, text); }

std::vector<Json> run(const std::string& name, std::vector<std::string> args, std::string* err = nullptr) {
    std::string trace = OutputPath(name + ".jsonl");
    args.insert(args.begin(), {"--headless", "--trace", trace});
    std::string e;
    EXPECT_EQ(RunGame(args, &e), 0) << e;
    if (err) *err = e;
    return ReadTrace(trace);
}

// Start Game with the mouse; the round runs from frame 379.
const char* kStart = "f330 mouse move 320 250\nf331 mouse left down\nf332 mouse left up\n";

int rockets_of(const Json& frame, int id) {
    int n = 0;
    for (const Json& r : frame["rockets"].items) n += r["id"].i() == id;
    return n;
}

TEST(KeyboardPilots, TwoPeopleFlyOnOneKeyboard) {
    // Blue: W climb, D turn right, Left Ctrl fire. Red: I climb, L turn right, Return fire.
    // Both then set down again with S and K.
    auto trace = run("two-keyboard", {"--seed", "9", "--frames", "500", "--script",
                                      script("two-keyboard.txt", std::string(kStart) +
                                                                      "f380 key 87 down\nf380 key 73 down\n"
                                                                      "f410 key 87 up\nf410 key 73 up\n"
                                                                      "f410 key 68 down\nf410 key 76 down\n"
                                                                      "f420 key 68 up\nf420 key 76 up\n"
                                                                      "f425 key 162 down\nf426 key 162 up\n"
                                                                      "f427 key 13 down\nf428 key 13 up\n"
                                                                      "f445 key 83 down\nf445 key 75 down\n")});
    ASSERT_EQ(trace.size(), 500u);
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(trace[490]["player"][side]["alt"].i(), 0) << side;
        EXPECT_EQ(trace[490]["player"][side]["scale"].num(), 0.5) << side;
    }
    const Json& f = trace[440];
    EXPECT_EQ(f["pads_found"].i(), 2);  // no pad, but both helicopters have a pilot
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(f["player"][side]["alt"].i(), 30) << side;
        EXPECT_GT(f["player"][side]["rotation"].num(), 1.0) << side;
    }
    EXPECT_EQ(rockets_of(f, 0), 1);
    EXPECT_EQ(rockets_of(f, 1), 1);
}

TEST(KeyboardPilots, WithOnePadRedFliesOnTheRightHalf) {
    auto trace = run("pad-and-keys", {"--seed", "9", "--frames", "430", "--script",
                                      script("pad-and-keys.txt", std::string("pads 1\n") + kStart +
                                                                      "f380 pad0 y -1.0\nf380 key 73 down\n"
                                                                      "f400 pad0 y 0\nf400 key 73 up\n"
                                                                      "f405 key 75 down\nf410 key 75 up\n")});
    ASSERT_EQ(trace.size(), 430u);
    EXPECT_EQ(trace[420]["player"][0]["alt"].i(), 20);
    EXPECT_EQ(trace[420]["player"][1]["alt"].i(), 15);  // 20 up, 5 down with K
    // Asked for by name, Red waits for a second pad as it always did.
    auto old = run("pad-only", {"--seed", "9", "--frames", "430", "--red", "pad", "--script",
                                script("pad-only.txt", std::string("pads 1\n") + kStart + "f380 key 73 down\n")});
    EXPECT_EQ(old[420]["pads_found"].i(), 1);
    EXPECT_EQ(old[420]["player"][1]["alt"].i(), 0);
}

TEST(KeyboardPilots, DetectGamePadsCountsPadsNotThePilotsWithoutOne) {
    // The same title three ways: no pad and no pilot for Red; two keyboard halves and no
    // pad (the rules count both so that Red flies); one pad and Red on the keys. The
    // menu's count names the pads: 0, 0 and 1.
    auto title = [](const std::string& name, std::vector<std::string> args, const std::string& pads) {
        std::string shot = OutputPath(name + ".png");
        args.insert(args.end(), {"--headless", "--seed", "4", "--frames", "340", "--shot", "339:" + shot, "--script",
                                 script(name + ".txt", pads + "f330 mouse move 320 460\n")});
        std::string err;
        EXPECT_EQ(RunGame(args, &err), 0) << err;
        return LoadPixmap(shot);
    };
    Pixmap none = title("count-none", {"--blue", "pad", "--red", "pad"}, "pads 0\n");
    Pixmap keys = title("count-keys", {"--blue", "keys", "--red", "keys"}, "pads 0\n");
    Pixmap one = title("count-one", {"--blue", "pad", "--red", "keys"}, "pads 1\n");
    ASSERT_FALSE(none.empty() || keys.empty() || one.empty());
    // The second item's line, between the pilot panels.
    auto same_count = [](const Pixmap& a, const Pixmap& b) {
        for (int y = 272; y < 300; ++y)
            for (int x = 190; x < 445; ++x)
                if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) return false;
        return true;
    };
    EXPECT_TRUE(same_count(none, keys)) << "two keyboard pilots and no pad do not read as no pad";
    EXPECT_FALSE(same_count(none, one)) << "one pad reads as none";
}

TEST(ComputerPilots, TwoComputersPlayRoundsByThemselves) {
    auto trace = run("two-computers", {"--seed", "5", "--frames", "3000", "--blue", "computer:hard", "--red",
                                       "computer:normal", "--script", script("start-only.txt", kStart)});
    ASSERT_EQ(trace.size(), 3000u);
    const Json& last = trace.back();
    EXPECT_GE(last["round_no"].i(), 2);  // at least one round won
    EXPECT_GT(last["player"][0]["score"].i() + last["player"][1]["score"].i(), 5);
    int fired = 0;
    for (const Json& f : trace) fired += int(f["rockets"].items.size()) > 0;
    EXPECT_GT(fired, 0);
}

TEST(ComputerPilots, F1OnTheTitleHandsBlueToTheComputer) {
    // No pads: Blue is on its keys; F1 makes it the computer (easy), which takes off by
    // itself once the round runs. The rules count the pads again without a click.
    auto trace = run("f1-computer", {"--seed", "9", "--frames", "520", "--script",
                                     script("f1.txt", "f328 key 112 down\nf329 key 112 up\n" + std::string(kStart))});
    ASSERT_EQ(trace.size(), 520u);
    EXPECT_GT(trace[510]["player"][0]["alt"].i() + trace[510]["player"][0]["score"].i(), 0);
    EXPECT_EQ(trace[510]["player"][1]["alt"].i(), 0);  // Red, on its keys, is left alone
}

TEST(Settings, VolumesArePutBackAtTheNextStart) {
    std::string file = OutputPath("kept-settings/settings.ini");
    std::remove(file.c_str());
    // Sound volume clicked twice: Max, Off, 10%.
    run("settings-first", {"--settings", file, "--frames", "340", "--script",
                           script("two-clicks.txt", "f330 mouse move 320 330\nf331 mouse left down\nf332 mouse left up\n"
                                                    "f333 mouse left down\nf334 mouse left up\n")});
    std::ifstream saved(file);
    std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("sound_volume = 1\n"), std::string::npos) << text;
    auto second = run("settings-second", {"--settings", file, "--frames", "5"});
    EXPECT_EQ(second[0]["sound_lvl"].i(), 1);
    EXPECT_FLOAT_EQ(float(second[0]["sound_vol"].num()), 0.1f);
    // Headless runs keep nothing unless given a file.
    auto plain = run("settings-none", {"--frames", "5"});
    EXPECT_EQ(plain[0]["sound_lvl"].i(), 10);
}

TEST(Settings, AFileThatCannotBeWrittenIsOneLineAndTheGameGoesOn) {
    // A file the game reads but cannot write back: files are limited to a kilobyte, less
    // than the settings take with the player's own notes kept (and more than the one
    // line on stderr).
    const std::string notes = "# " + std::string(600, '~') + "\n";
    std::string file = script("read-only.ini", notes + "sound_volume = 10\n");
    std::string trace = OutputPath("settings-unwritable.jsonl");
    std::vector<std::string> sh = {"-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", WHIRLBAT_BINARY,
                                   "--headless", "--settings", file, "--frames", "340",
                                   "--script", script("one-click.txt", "f330 mouse move 320 330\nf331 mouse left down\n"
                                                                       "f332 mouse left up\n")};
    std::string err;
    EXPECT_EQ(test_support::RunBinary("/bin/sh", sh, &err), 0) << err;
    EXPECT_NE(err.find("cannot save settings to " + file), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    std::ifstream kept(file);
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, notes + "sound_volume = 10\n");  // left as it was
    // A path the game cannot even look in is one line too.
    auto lost = run("settings-lost", {"--settings", "/dev/null/settings.ini", "--frames", "5"}, &err);
    EXPECT_EQ(lost.size(), 5u);
    EXPECT_NE(err.find("cannot read /dev/null/settings.ini"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(Settings, ADamagedFileIsOneLineAndTheGameStarts) {
    std::string file = script("damaged.ini", "sound_volume = 7\nmusic_volume = many\n");
    std::string err;
    auto trace = run("settings-damaged", {"--settings", file, "--frames", "5"}, &err);
    ASSERT_EQ(trace.size(), 5u);
    EXPECT_EQ(trace[0]["sound_lvl"].i(), 7);
    EXPECT_EQ(trace[0]["music_lvl"].i(), 10);
    EXPECT_NE(err.find("damaged.ini:2: 'music_volume = many' is not a level from 0 to 10; it stays 10"),
              std::string::npos)
        << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

Pixmap title_in_mode(int mode, const std::string& extra_script = "") {
    std::string shot = OutputPath("stereo-mode-" + std::to_string(mode) + ".png");
    std::vector<std::string> args = {"--headless", "--seed", "3", "--frames", "420", "--stereo", std::to_string(mode),
                                     "--shot", "419:" + shot};
    if (!extra_script.empty()) {
        args.push_back("--script");
        args.push_back(script("stereo.txt", extra_script));
    }
    std::string err;
    EXPECT_EQ(RunGame(args, &err), 0) << err;
    return LoadPixmap(shot);
}

TEST(StereoMode, EachModeDrawsTheTitleInItsTwoColours) {
    Pixmap off = title_in_mode(0);
    ASSERT_FALSE(off.empty());
    // The background of each mode is made of the two eye colours only: in the red/cyan
    // mode (3) the left eye (4, 80, 60) and the right eye (140, 4, 10) add up.
    for (int mode = 1; mode <= 4; ++mode) {
        Pixmap pic = title_in_mode(mode);
        ASSERT_FALSE(pic.empty());
        EXPECT_NE(pic.pixels, off.pixels) << mode;
    }
    Pixmap rc = title_in_mode(3);
    const uint8_t* px = rc.at(600, 430);
    const uint8_t* plain = off.at(600, 430);
    EXPECT_NE(px[0], plain[0]);
    // Green and blue come from the left eye alone, scaled down from the picture's.
    EXPECT_LE(px[1], 80 + 4);
    EXPECT_LE(px[2], 60 + 10);
}

TEST(StereoMode, F3CyclesTheModeOnTheTitleAndNamesIt) {
    Pixmap off = title_in_mode(0);
    Pixmap after = title_in_mode(0, "f400 key 114 down\nf401 key 114 up\n");
    ASSERT_FALSE(after.empty());
    EXPECT_NE(after.pixels, off.pixels);
    // The mode's name shows at the top, in the notices' yellow, while the change is new;
    // before it the title's hint line is there in grey.
    auto yellow = [](const Pixmap& p) {
        int n = 0;
        for (int y = 34; y < 52; ++y) {
            for (int x = 100; x < 540; ++x) n += p.at(x, y)[0] > 200 && p.at(x, y)[1] > 150 && p.at(x, y)[2] < 130;
        }
        return n;
    };
    EXPECT_GT(yellow(after), 100);
    EXPECT_EQ(yellow(off), 0);
}

}  // namespace
