// The settings file: what is written reads back the same, and a file a person got
// wrong gives one warning a line, and those lines are left out.
#include "app/settings.h"

#include <gtest/gtest.h>

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
