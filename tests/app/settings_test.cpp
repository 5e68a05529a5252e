// The settings file: what is written reads back the same, and a file a person got
// wrong gives one warning a line, and those lines are left out.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/input.h"
#include "support.h"

namespace {

using test_support::OutputPath;

std::vector<std::string> load(const std::string& path, Settings& s) {
    std::vector<std::string> warnings;
    load_settings(path, s, [&](const std::string& w) { warnings.push_back(w); });
    return warnings;
}

std::string write(const std::string& name, const std::string& text) {
    std::string path = OutputPath(name);
    std::ofstream(path) << text;
    return path;
}

TEST(Settings, WhatIsSavedReadsBackTheSame) {
    Settings s;
    s.sound_lvl = 3;
    s.music_lvl = 0;
    s.pilot[0] = PilotChoice{PilotKind::keys};
    s.pilot[1] = PilotChoice{PilotKind::computer, -1, PilotSkill::hard};
    s.stereo_mode = 3;
    s.keys[1][KEY_FIRE] = {KeyByName("Return"), KeyByName("Right Shift")};
    s.keys[0][KEY_CLIMB] = {KeyByName("E"), 0};
    std::string path = OutputPath("settings-round/trip/settings.ini");  // folders made as needed
    std::string why;
    ASSERT_TRUE(save_settings(path, s, &why)) << why;
    Settings back;
    EXPECT_TRUE(load(path, back).empty());
    EXPECT_EQ(back, s);
    // Saving again gives the same text: a person's file stays as it was written.
    EXPECT_EQ(settings_text(back), settings_text(s));
}

TEST(Settings, AMissingOrEmptyFileGivesTheDefaultsQuietly) {
    Settings s;
    EXPECT_TRUE(load(OutputPath("no-such-settings.ini"), s).empty());
    EXPECT_EQ(s, Settings{});
    EXPECT_TRUE(load(write("empty-settings.ini", ""), s).empty());
    EXPECT_EQ(s, Settings{});
}

TEST(Settings, EachDamagedLineIsNamedAndLeftOut) {
    std::string path = write("damaged-settings.ini",
                             "sound_volume = 4\n"
                             "music_volume = loud\n"
                             "blue = jetpack\n"
                             "red = computer:easy\n"
                             "stereo_mode = 9\n"
                             "red.fire = Escape\n"
                             "blue.climb = NoSuchKey\n"
                             "blue.descend = X\n"
                             "colour = blue\n");
    Settings s;
    std::vector<std::string> warnings = load(path, s);
    ASSERT_EQ(warnings.size(), 6u);
    EXPECT_NE(warnings[0].find(":2: 'music_volume = loud'"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("it stays 10"), std::string::npos);
    EXPECT_NE(warnings[1].find(":3:"), std::string::npos);
    EXPECT_NE(warnings[2].find(":5:"), std::string::npos);
    EXPECT_NE(warnings[2].find("it stays 0"), std::string::npos);
    EXPECT_NE(warnings[3].find(":6:"), std::string::npos);
    EXPECT_NE(warnings[3].find("it stays Right Ctrl, Return"), std::string::npos) << warnings[3];
    EXPECT_NE(warnings[4].find(":7:"), std::string::npos);
    EXPECT_NE(warnings[5].find(":9: no setting is called 'colour'"), std::string::npos) << warnings[5];
    // The good lines still count.
    EXPECT_EQ(s.sound_lvl, 4);
    EXPECT_EQ(s.music_lvl, 10);
    EXPECT_FALSE(s.pilot[0]);
    ASSERT_TRUE(s.pilot[1]);
    EXPECT_EQ(s.pilot[1]->skill, PilotSkill::easy);
    EXPECT_EQ(s.keys[0][KEY_DESCEND][0], KeyByName("X"));
    EXPECT_EQ(s.keys[0][KEY_CLIMB], default_layout(0)[KEY_CLIMB]);
}

// A bad line later in the file does not undo a good one before it.
TEST(Settings, ALaterBadLineKeepsTheEarlierValue) {
    std::string path = write("later-bad-settings.ini",
                             "sound_volume = 2\n"
                             "sound_volume = 99\n"
                             "blue = keys\n"
                             "blue = jetpack\n"
                             "stereo_mode = 3\n"
                             "stereo_mode = 9\n"
                             "red.fire = Return\n"
                             "red.fire = Escape\n");
    Settings s;
    std::vector<std::string> warnings = load(path, s);
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_NE(warnings[0].find(":2: 'sound_volume = 99'"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("it stays 2"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("it stays keys"), std::string::npos) << warnings[1];
    EXPECT_NE(warnings[2].find("it stays 3"), std::string::npos) << warnings[2];
    EXPECT_NE(warnings[3].find("it stays Return"), std::string::npos) << warnings[3];
    EXPECT_EQ(s.sound_lvl, 2);
    ASSERT_TRUE(s.pilot[0]);
    EXPECT_EQ(s.pilot[0]->kind, PilotKind::keys);
    EXPECT_EQ(s.stereo_mode, 3);
    EXPECT_EQ(s.keys[1][KEY_FIRE], (std::array<int, 2>{KeyByName("Return"), 0}));
}

// A key on both halves of the keyboard would fly both helicopters: it is named, and the
// binding made later is dropped. Halves may still swap keys.
TEST(Settings, AKeyOnBothHalvesIsNamedAndTheLaterBindingDropped) {
    const int W = KeyByName("W"), I = KeyByName("I");
    {
        Settings s;
        std::vector<std::string> warnings = load(write("shared-key-1.ini", "# Red climbs with W too\nred.climb = W\n"), s);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(":2: W is bound to both blue.climb and red.climb"), std::string::npos) << warnings[0];
        EXPECT_NE(warnings[0].find("red.climb stays I"), std::string::npos) << warnings[0];
        EXPECT_EQ(s.keys[0][KEY_CLIMB][0], W);
        EXPECT_EQ(s.keys[1][KEY_CLIMB][0], I);
    }
    {
        Settings s;
        std::vector<std::string> warnings = load(write("shared-key-2.ini", "blue.turn_left = A, L\n"), s);
        ASSERT_EQ(warnings.size(), 1u) << (warnings.empty() ? "" : warnings[0]);
        EXPECT_NE(warnings[0].find(":1: L is bound to both blue.turn_left and red.turn_right"), std::string::npos)
            << warnings[0];
        EXPECT_NE(warnings[0].find("blue.turn_left stays A"), std::string::npos) << warnings[0];
        EXPECT_EQ(s.keys[0][KEY_TURN_LEFT], default_layout(0)[KEY_TURN_LEFT]);
        EXPECT_EQ(s.keys[1][KEY_TURN_RIGHT], default_layout(1)[KEY_TURN_RIGHT]);
    }
    {
        Settings s;
        EXPECT_TRUE(load(write("swapped-keys.ini", "blue.climb = I\nred.climb = W\n"), s).empty());
        EXPECT_EQ(s.keys[0][KEY_CLIMB][0], I);
        EXPECT_EQ(s.keys[1][KEY_CLIMB][0], W);
    }
}

TEST(Settings, AFileThatCannotBeReadOrWrittenIsOneLine) {
    Settings s;
    std::vector<std::string> warnings = load(OutputPath(""), s);  // a folder
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("using the defaults"), std::string::npos);
    std::string why;
    EXPECT_FALSE(save_settings("/dev/null/settings.ini", s, &why));
    EXPECT_NE(why.find("/dev/null"), std::string::npos) << why;
}

TEST(Settings, VolumesComeBackAsTheMenuWouldHaveMadeThem) {
    EXPECT_EQ(volume_for_level(10), 1.0f);  // as the game starts
    EXPECT_EQ(volume_for_level(0), 0.0f);
    // Three steps of 0.1 summed in float, as three clicks from "Off" give.
    float v = 0;
    for (int i = 0; i < 3; ++i) v = float(double(v) + 0.1f);
    EXPECT_EQ(volume_for_level(3), v);
}

TEST(Settings, TheFileLivesInTheUsersConfigurationFolder) {
    const char* home = std::getenv("HOME");
    std::string saved_home = home ? home : "";
    setenv("XDG_CONFIG_HOME", "/tmp/whirlbat-config", 1);
    EXPECT_EQ(default_settings_path(), "/tmp/whirlbat-config/rc-whirlbat/settings.ini");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/pilot", 1);
    EXPECT_EQ(default_settings_path(), "/home/pilot/.config/rc-whirlbat/settings.ini");
    setenv("HOME", saved_home.c_str(), 1);
}

}  // namespace

namespace {

// A FIFO at the settings path would hold the start forever if it were opened: the
// check runs in a child with an alarm, so a hang fails the test instead of holding it.
TEST(Settings, AFifoAtTheSettingsPathIsOneLineAndNeverWritten) {
    std::string fifo = OutputPath("settings-fifo.ini");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0) << std::strerror(errno);
    pid_t child = fork();
    if (child == 0) {
        alarm(3);
        Settings s;
        s.sound_lvl = 2;
        std::vector<std::string> warnings = load(fifo, s);
        bool one_line = warnings.size() == 1 && warnings[0].find("not a regular file") != std::string::npos &&
                        s.sound_lvl == 2;
        Program p;
        SettingsKeeper keeper(fifo, s);
        p.settings = s;
        p.settings.sound_lvl = 5;
        keeper.presented(p);
        _exit(one_line ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "the settings path held the start (killed by signal "
                                   << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "not one line naming it";
    struct stat st;
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
    std::remove(fifo.c_str());
}

TEST(Settings, ASaveWritesThroughALinkAndKeepsCommentsAndUnusableLines) {
    namespace fs = std::filesystem;
    std::string folder = OutputPath("settings-link");
    fs::remove_all(folder);
    fs::create_directories(folder + "/dotfiles");
    std::string target = folder + "/dotfiles/settings.ini", link = folder + "/settings.ini";
    std::ofstream(target) << "# my own notes\n"
                             "sound_volume = 4   # quiet at night\n"
                             "colour = blue\n"
                             "music_volume = loud\n"
                             "\n"
                             "# blue = computer:hard  (some day)\n";
    fs::create_symlink("dotfiles/settings.ini", link);
    Settings s;
    EXPECT_EQ(load(link, s).size(), 2u);
    EXPECT_EQ(s.sound_lvl, 4);
    s.sound_lvl = 7;
    s.stereo_mode = 2;
    std::string why;
    ASSERT_TRUE(save_settings(link, s, &why)) << why;
    EXPECT_TRUE(fs::is_symlink(link));
    std::ifstream in(target);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "# my own notes");
    EXPECT_EQ(lines[1], "sound_volume = 7 # quiet at night");
    EXPECT_EQ(lines[2], "colour = blue");
    EXPECT_EQ(lines[3], "music_volume = loud");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "# blue = computer:hard  (some day)");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "stereo_mode = 2"), lines.end());
    // What was saved reads back, and nothing else is left beside the target or the link.
    Settings back;
    load(link, back);
    EXPECT_EQ(back.sound_lvl, 7);
    EXPECT_EQ(back.stereo_mode, 2);
    for (int side = 0; side < 2; ++side) {
        for (int a = 0; a < KEY_ACTIONS; ++a) EXPECT_EQ(back.keys[side][size_t(a)], s.keys[side][size_t(a)]);
    }
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder)) files += !e.is_directory();
    EXPECT_EQ(files, 2u);
}

TEST(Settings, AHugeOrBinaryFileIsBoundedAndShownEscaped) {
    // Over 64 KB: one line and the defaults, however large the file claims to be.
    std::string big = write("settings-big.ini", std::string(70000, '#'));
    std::string sparse = OutputPath("settings-sparse.ini");
    { std::ofstream(sparse) << "sound_volume = 3\n"; }
    ASSERT_EQ(truncate(sparse.c_str(), 8LL << 30), 0) << std::strerror(errno);
    for (const std::string& path : {big, sparse}) {
        Settings s;
        auto start = std::chrono::steady_clock::now();
        std::vector<std::string> warnings = load(path, s);
        // Reading the bounded 64 KB takes under a millisecond, even under the sanitizer on a
        // busy machine; reading on through the 8 GB the file claims takes seconds.
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);
        ASSERT_EQ(warnings.size(), 1u) << path;
        EXPECT_NE(warnings[0].find("larger than 64 KB"), std::string::npos) << warnings[0];
        EXPECT_EQ(s.sound_lvl, Settings{}.sound_lvl);
    }
    std::remove(sparse.c_str());
    // Many bad lines of binary bytes: ten warnings, then how many more, and nothing a
    // terminal would take as a command.
    std::string text;
    for (int i = 0; i < 30; ++i) text += "sound_volume = \x1b[2J\x01\xff" + std::to_string(i) + "\n";
    std::string binary = write("settings-binary.ini", text + "music_volume = 6\n");
    Settings s;
    std::vector<std::string> warnings = load(binary, s);
    ASSERT_EQ(warnings.size(), 11u);
    EXPECT_NE(warnings[10].find("20 more problems"), std::string::npos) << warnings[10];
    for (const std::string& w : warnings) {
        for (unsigned char c : w) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << w;
    }
    EXPECT_NE(warnings[0].find("\\x1b[2J\\x01\\xff0"), std::string::npos) << warnings[0];
    EXPECT_EQ(s.music_lvl, 6);  // the lines after still count
}

}  // namespace
