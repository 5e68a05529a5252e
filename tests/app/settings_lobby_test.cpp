// The meeting server in the settings file: read, written back, and a bad value named.
#include <gtest/gtest.h>

#include <fstream>

#include "app/harness.h"
#include "app/online_screen.h"
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

// A relay of one's own in the settings: its user and host, never its password, which
// would lie on disk in clear (it comes from the file the environment names).
TEST(SettingsLobby, ARelayIsKeptWithoutItsPassword) {
    std::string path = OutputPath("relay_settings.ini");
    std::ofstream(path) << "relay = whirlbat@relay.example.org:3479\nrelay = whirlbat:hunter2@relay.example.org\n"
                           "relay = no-host@\n";
    Settings s;
    std::vector<std::string> warnings;
    load_settings(path, s, [&](const std::string& w) { warnings.push_back(w); });
    EXPECT_EQ(s.relay, "whirlbat@relay.example.org:3479");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find(":2: a relay's password does not belong in the settings file"), std::string::npos)
        << warnings[0];
    EXPECT_EQ(warnings[0].find("hunter2"), std::string::npos) << "the password said on the terminal: " << warnings[0];
    EXPECT_NE(warnings[1].find(":3: 'relay = no-host@' is not USER@HOST"), std::string::npos) << warnings[1];
    std::string text = settings_text(s);
    EXPECT_NE(text.find("\nrelay = whirlbat@relay.example.org:3479\n"), std::string::npos) << text;
    EXPECT_EQ(settings_text(Settings{}).find("relay ="), std::string::npos);
}

// The Play Online screen's sessions take the settings' relay, and --relay over it.
TEST(SettingsLobby, TheScreensSessionTakesTheRelayFromTheSettingsUnlessGiven) {
    Settings s;
    s.relay = "whirlbat@relay.example.org";
    NetOptions given, chosen;
    chosen.join = "ABC234";
    EXPECT_EQ(screen_session(given, chosen, s).relay, "whirlbat@relay.example.org");
    given.relay = "mine:pw@10.1.2.3";
    EXPECT_EQ(screen_session(given, chosen, s).relay, "mine:pw@10.1.2.3");
    EXPECT_EQ(screen_session(NetOptions{}, chosen, Settings{}).relay, "") << "none: the meeting server's";
    EXPECT_EQ(screen_session(given, chosen, s).join, "ABC234");
    s.watchers = false;
    EXPECT_FALSE(screen_session(given, chosen, s).watchers);
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
