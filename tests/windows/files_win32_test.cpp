// What only the Windows back end does: the game's folders are the ones Windows games
// use, and the seed's clock counts from the machine's start.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"

namespace {

std::string from_environment(const char* name) {
    const char* value = std::getenv(name);
    std::string out = value ? value : "";
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

TEST(WindowsFolders, SettingsAreKeptUnderAppData) {
    std::string app_data = from_environment("APPDATA");
    ASSERT_FALSE(app_data.empty()) << "Windows names no APPDATA here";
    EXPECT_EQ(UserFolderPath(UserFolder::settings), app_data + "/RC Whirlbat");
}

TEST(WindowsFolders, GamesAreKeptInSavedGamesAndTheGamesOwnStateLocally) {
    std::string profile = from_environment("USERPROFILE"), local = from_environment("LOCALAPPDATA");
    ASSERT_FALSE(profile.empty());
    ASSERT_FALSE(local.empty());
    EXPECT_EQ(UserFolderPath(UserFolder::games), profile + "/Saved Games/RC Whirlbat");
    EXPECT_EQ(UserFolderPath(UserFolder::state), local + "/RC Whirlbat");
}

TEST(WindowsClock, TheSeedsClockCountsFromTheMachinesStart) {
    // The tick count moves in steps of some 16 ms (Windows' timer, and under Wine the page
    // its server updates), so a wait of 200 ms shows as no less than 150: a clock in other
    // units, or one that stands still, shows far less.
    uint32_t a = SystemMilliSecs();
    Delay(200);
    uint32_t b = SystemMilliSecs();
    EXPECT_GE(b - a, 150u);
    EXPECT_LT(b - a, 5000u);
    // The machine has been up longer than this process.
    EXPECT_GT(a, 30u);
}

}  // namespace
