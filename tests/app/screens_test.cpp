// The pieces of the screens around the game: the list a screen moves through, how pad
// buttons are named, what the online screen takes for a join code, and the settings the
// screens keep (full screen or a window, the pad's button names).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "app/online_screen.h"
#include "app/replays_screen.h"
#include "app/pilot_panel.h"
#include "app/screen.h"
#include "app/settings.h"
#include "session/pilots.h"
#include "support.h"

namespace {

using test_support::OutputPath;

EntryList list_of(int n) {
    EntryList list;
    for (int i = 0; i < n; ++i) list.entries.push_back({"line " + std::to_string(i), ""});
    return list;
}

TEST(EntryList, UpAndDownWrapAndSkipWhatCannotBeChosen) {
    EntryList list = list_of(4);
    list.entries[2].enabled = false;
    Nav down;
    down.dy = 1;
    list.navigate(down);
    EXPECT_EQ(list.focus, 1);
    list.navigate(down);
    EXPECT_EQ(list.focus, 3) << "the line that cannot be chosen is passed over";
    list.navigate(down);
    EXPECT_EQ(list.focus, 0) << "past the last line, the first";
    Nav up;
    up.dy = -1;
    list.navigate(up);
    EXPECT_EQ(list.focus, 3);
}

TEST(EntryList, TheMouseFocusesTheLineItPointsAtAndAClickChoosesIt) {
    EntryList list = list_of(5);
    Nav nav;
    nav.mouse_x = 200;
    nav.mouse_y = int(list.top + list.step * 3 + 5);
    nav.pointer_moved = true;
    EXPECT_FALSE(list.navigate(nav));
    EXPECT_EQ(list.focus, 3);
    nav.pointer_moved = false;
    nav.click = true;
    EXPECT_TRUE(list.navigate(nav));
    nav.mouse_x = 10;  // beside the list
    EXPECT_FALSE(list.navigate(nav));
    EXPECT_EQ(list.line_at(10, nav.mouse_y), -1);
}

TEST(EntryList, ALongListScrollsToKeepTheFocusInView) {
    EntryList list = list_of(30);
    list.shown = 10;
    Nav down;
    down.dy = 1;
    for (int i = 0; i < 12; ++i) list.navigate(down);
    EXPECT_EQ(list.focus, 12);
    EXPECT_EQ(list.first, 3);
    EXPECT_EQ(list.line_at(200, int(list.top + 2)), 3) << "the first line shown is line 3";
    Nav up;
    up.dy = -1;
    for (int i = 0; i < 12; ++i) list.navigate(up);
    EXPECT_EQ(list.first, 0);
}

TEST(PadNames, AsTheSettingsForceThem) {
    Program p;
    p.settings.pad_labels = 1;
    EXPECT_EQ(pad_names(p).south, "A");
    EXPECT_EQ(pad_names(p).east, "B");
    p.settings.pad_labels = 2;
    EXPECT_EQ(pad_names(p).south, "Cross");
    EXPECT_EQ(pad_names(p).east, "Circle");
    EXPECT_EQ(pad_names(p).west, "Square");
    p.settings.pad_labels = 3;
    EXPECT_EQ(pad_names(p).south, "B") << "a Nintendo pad's South button is B";
    EXPECT_EQ(pad_names(p).east, "A");
    p.settings.pad_labels = 0;  // no pad: the common names
    EXPECT_EQ(pad_names(p).south, "A");
}

TEST(ScreenSettings, DisplayAndPadNamesAreKeptAndABadValueIsNamed) {
    std::string path = OutputPath("screen-settings.ini");
    std::remove(path.c_str());
    Settings s;
    s.full_screen = false;
    s.pad_labels = 2;
    std::string why;
    ASSERT_TRUE(save_settings(path, s, &why)) << why;
    Settings back;
    std::vector<std::string> warnings;
    load_settings(path, back, [&](const std::string& w) { warnings.push_back(w); });
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(back.full_screen, std::optional<bool>(false));
    EXPECT_EQ(back.pad_labels, 2);
    EXPECT_EQ(back, s);

    std::ofstream(path) << "display = sideways\npad_labels = sega\n";
    Settings bad;
    warnings.clear();
    load_settings(path, bad, [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("'display = sideways' is not 'full screen' or 'window'"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("'pad_labels = sega' is not auto, xbox, playstation or nintendo"), std::string::npos)
        << warnings[1];
    EXPECT_FALSE(bad.full_screen.has_value());
    EXPECT_EQ(bad.pad_labels, 0);
}

TEST(ScreenSettings, TheWindowsSizeIsKeptAndABadOneIsNamed) {
    std::string path = OutputPath("screen-window.ini");
    std::remove(path.c_str());
    Settings s;
    s.window_w = 900;
    s.window_h = 675;
    std::string why;
    ASSERT_TRUE(save_settings(path, s, &why)) << why;
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\nwindow = 900x675\n"), std::string::npos) << text;
    Settings back;
    std::vector<std::string> warnings;
    load_settings(path, back, [&](const std::string& w) { warnings.push_back(w); });
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(back, s);

    std::ofstream(path) << "window = 900 by 675\nwindow = 20x10\n";
    Settings bad;
    warnings.clear();
    load_settings(path, bad, [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("'window = 900 by 675' is not a size such as 1280x960; it stays the one that fits"),
              std::string::npos) << warnings[0];
    EXPECT_EQ(bad.window_w, 0);
}

TEST(TitleHints, TheLineNamesSpaceF1F2AndF11) {
    std::string line = PilotPanel::hint_line();
    for (const char* key : {"Space", "F1", "F2", "F11"})
        EXPECT_NE(line.find(key), std::string::npos) << key << " is not named in '" << line << "'";
}

TEST(ReplaysList, EachGameNamesItsSidesBesideTheirScores) {
    namespace fs = std::filesystem;
    std::string folder = OutputPath("replays-list");
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(test_support::SourcePath("tests/replays/game015.wbreplay"), folder + "/2026-01-01T10-00-00-game.wbreplay");
    ReplaysScreen screen(folder);
    Program p;
    Nav nav;
    FrameInput rules;
    screen.frame(p, nav, rules);  // the game in focus is scored first
    ASSERT_EQ(screen.list().entries.size(), 2u);
    const std::string& value = screen.list().entries[0].value;
    EXPECT_TRUE(std::regex_match(value, std::regex("Blue [0-9]+ : [0-9]+ Red   [0-9]+:[0-9][0-9]"))) << value;
}

TEST(ReplaysList, PilotsAreNamedAsTheTitleNamesThem) {
    EXPECT_EQ(pilots_label("Blue: computer:hard; Red: pad2"), "Blue: Computer \u00b7 hard   Red: Pad 2");
    EXPECT_EQ(pilots_label("Blue: keys; Red: pad"), "Blue: Keys   Red: Pad");
    // What an older recording says in words of its own stays as it was.
    EXPECT_EQ(pilots_label("Blue: pad 1; Red: none"), "Blue: pad 1   Red: none");
}

}  // namespace
