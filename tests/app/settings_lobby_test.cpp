// The meeting server in the settings file: read, written back, and a bad value named.
#include <gtest/gtest.h>

#include <fstream>

#include "app/harness.h"
#include "app/settings.h"
#include "support.h"

namespace {

using test_support::OutputPath;

TEST(SettingsLobby, TheMeetingServerIsReadAndWrittenBack) {
    std::string path = OutputPath("lobby_settings.ini");
    std::ofstream(path) << "lobby = meet.example.org:7000  # ours\nsound_volume = 4\n";
    Settings s;
    std::vector<std::string> warnings;
    load_settings(path, s, [&](const std::string& w) { warnings.push_back(w); });
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(s.lobby, "meet.example.org:7000");
    s.lobby = "10.1.2.3";
    std::string why;
    ASSERT_TRUE(save_settings(path, s, &why)) << why;
    Settings back;
    load_settings(path, back, [&](const std::string& w) { warnings.push_back(w); });
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(back.lobby, "10.1.2.3");
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("lobby = 10.1.2.3 # ours\n"), std::string::npos) << text;
    // None set: no line at all.
    EXPECT_EQ(settings_text(Settings{}).find("lobby"), std::string::npos);
}

TEST(SettingsLobby, ABadMeetingServerIsNamedAndLeftOut) {
    std::string path = OutputPath("lobby_bad.ini");
    std::ofstream(path) << "lobby = good.example.org\nlobby = bad host:99999\n";
    Settings s;
    std::vector<std::string> warnings;
    load_settings(path, s, [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(":2: 'lobby = bad host:99999' is not HOST or HOST:PORT"), std::string::npos) << warnings[0];
    EXPECT_EQ(s.lobby, "good.example.org");
}

// Whether the game asks the router to forward its port and the local network for its
// games is the player's choice, kept in the file (and --no-port-mapping for one run).
TEST(SettingsLobby, AskingTheRouterAndTheNetworkCanBeTurnedOff) {
    std::string path = OutputPath("network_settings.ini");
    std::ofstream(path) << "port_mapping = off\nlan_search = off\nport_mapping = maybe\n";
    Settings s;
    std::vector<std::string> warnings;
    load_settings(path, s, [&](const std::string& w) { warnings.push_back(w); });
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(":3: 'port_mapping = maybe' is not on or off; it stays off"), std::string::npos)
        << warnings[0];
    EXPECT_FALSE(s.port_mapping);
    EXPECT_FALSE(s.lan_search);
    std::string text = settings_text(s);
    EXPECT_NE(text.find("\nport_mapping = off\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nlan_search = off\n"), std::string::npos) << text;
    EXPECT_EQ(settings_text(Settings{}).find("port_mapping"), std::string::npos) << "on, the default, needs no line";
    HarnessOptions opts;
    std::string error;
    const char* argv[] = {"rc-whirlbat", "--host", "--no-port-mapping"};
    ASSERT_TRUE(parse_options(3, const_cast<char**>(argv), opts, &error)) << error;
    EXPECT_TRUE(opts.no_port_mapping);
}

TEST(SettingsLobby, TheCommandLineTakesALobbyAndAJoinWithoutAddress) {
    auto parse = [](std::vector<std::string> args, HarnessOptions& o, std::string* error) {
        std::vector<char*> argv = {const_cast<char*>("rc-whirlbat")};
        for (std::string& a : args) argv.push_back(a.data());
        return parse_options(int(argv.size()), argv.data(), o, error);
    };
    HarnessOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--join", "--lobby", "meet.example.org"}, o, &error)) << error;
    EXPECT_TRUE(o.join_lan);
    EXPECT_EQ(o.lobby, "meet.example.org");
    ASSERT_TRUE(parse({"--join", "ABC234", "--lobby", "x:1"}, o, &error)) << error;
    EXPECT_FALSE(o.join_lan);
    EXPECT_EQ(o.join, "ABC234");
    ASSERT_TRUE(parse({"--join"}, o, &error)) << error;
    EXPECT_TRUE(o.join_lan);
    EXPECT_FALSE(parse({"--host", "--join"}, o, &error));
    EXPECT_FALSE(parse({"--lobby"}, o, &error));
}

}  // namespace
