// Online play between the two systems, on 127.0.0.1 inside a network namespace of the
// test's own (nothing leaves it, port mapping's requests included): a Linux host and a
// Windows guest under Wine, then the other way round, then a Windows guest that joins
// the Linux host by its code through the meeting server. Two computer pilots; every
// frame both sides confirmed must have the same state hash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "net_log.h"
#include "net_world.h"
#include "support.h"

using namespace test_support;

namespace {

constexpr int kSession = 1800;
// Each side counts its frames from its own start; Wine takes a few seconds to start on a
// busy machine.
constexpr int kFrames = kSession + 1200;

int port_base() { return 31000 + int(getpid() % 4000) * 4; }


// The host starts a game whenever its title shows.
std::string start_often_script() {
    std::string script;
    for (int f = 150; f < kFrames; f += 60) {
        script += "f" + std::to_string(f) + " mouse move 320 250\nf" + std::to_string(f) + " mouse left down\nf" +
                  std::to_string(f + 1) + " mouse left up\n";
    }
    return WriteOutput("windows_start_often.txt", script);
}

// The Windows build under Wine, with an X server of its own for its hidden window, in a
// Wine prefix of the test's own (its wineserver, which owns Wine's sockets, starts in
// the namespace). The prefix is made first, outside the game's time (tens of seconds
// the first time).
std::vector<std::string> windows_game(const std::string& prefix, std::vector<std::string> args) {
    std::string path = OutputPath("wine-" + prefix), err;
    EXPECT_EQ(RunBinary(WHIRLBAT_WINE_RUN, {path}, &err), 0) << "cannot make the Wine prefix " << path << ": " << err;
    std::vector<std::string> argv = {WHIRLBAT_WINE_DISPLAY, path, WHIRLBAT_WINDOWS_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<std::string> linux_game(std::vector<std::string> args) {
    args.insert(args.begin(), WHIRLBAT_BINARY);
    return args;
}

struct Side {
    std::string name, log, trace, err;
};

void expect_same_confirmed_frames(const Side& host, const Side& guest) {
    std::map<long, std::string> a = ReadNetLog(host.log).hashes, b = ReadNetLog(guest.log).hashes;
    long compared = 0;
    for (const auto& [frame, hash] : a) {
        auto other = b.find(frame);
        if (other == b.end()) continue;
        ASSERT_EQ(other->second, hash) << "frame " << frame << ": " << host.name << " and " << guest.name << " differ";
        ++compared;
    }
    EXPECT_GE(compared, kSession) << host.name << " and " << guest.name << " confirmed too few frames together";
    int play = 0;
    for (const Json& line : ReadTrace(guest.trace)) play += line["game_state"].i() == 2;
    EXPECT_GT(play, kSession / 2) << "the guest hardly played";
    std::printf("%s hosting, %s joining: %ld frames compared, last %ld %s\n", host.name.c_str(), guest.name.c_str(),
                compared, a.empty() ? 0 : a.rbegin()->first, a.empty() ? "" : a.rbegin()->second.c_str());
}

class WindowsCrossPlay : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(WHIRLBAT_WINDOWS_BINARY))
            << "no Windows build at " << WHIRLBAT_WINDOWS_BINARY << " (build it first, docs/windows.md)";
        ASSERT_TRUE(world_.space("lo")) << "cannot make a network namespace: " << world_.why();
    }
    Side side(const std::string& name, const std::string& tag) {
        Side s{name, OutputPath("wx-" + tag + ".log"), OutputPath("wx-" + tag + ".jsonl"),
               OutputPath("wx-" + tag + ".err")};
        // Files an earlier run left are not read as this run's: a join code read from an
        // old log before the host has begun its own names a game long gone.
        for (const std::string& f : {s.log, s.trace, s.err}) std::remove(f.c_str());
        return s;
    }
    // Plays host against guest; both must end well.
    void play(Side& host, const std::vector<std::string>& host_argv, Side& guest,
              const std::vector<std::string>& guest_argv) {
        pid_t h = world_.start("lo", host_argv, host.err);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        pid_t g = world_.start("lo", guest_argv, guest.err);
        int guest_code = world_.wait(g, 300000), host_code = world_.wait(h, 60000);
        ASSERT_EQ(host_code, 0) << host.name << " (host):\n" << ReadWhole(host.err);
        ASSERT_EQ(guest_code, 0) << guest.name << " (guest):\n" << ReadWhole(guest.err);
        EXPECT_NE(ReadWhole(guest.err).find("playing online as Red"), std::string::npos) << ReadWhole(guest.err);
        expect_same_confirmed_frames(host, guest);
    }
    NetWorld world_;
};

TEST_F(WindowsCrossPlay, ALinuxHostAndAWindowsGuestPlayTheSameGame) {
    int port = port_base();
    Side host = side("Linux", "linux-host"), guest = side("Windows", "windows-guest");
    play(host,
         linux_game({"--headless", "--seed", "31", "--host", std::to_string(port), "--blue", "computer:normal",
                     "--frames", std::to_string(kFrames), "--script", start_often_script(), "--net-log", host.log,
                     "--trace", host.trace}),
         guest,
         windows_game("guest", {"--headless", "--join", "127.0.0.1:" + std::to_string(port), "--red",
                                "computer:hard", "--frames", std::to_string(kFrames), "--net-log", guest.log,
                                "--trace", guest.trace}));
}

TEST_F(WindowsCrossPlay, AWindowsHostAndALinuxGuestPlayTheSameGame) {
    int port = port_base() + 1;
    Side host = side("Windows", "windows-host"), guest = side("Linux", "linux-guest");
    play(host,
         windows_game("host", {"--headless", "--seed", "32", "--host", std::to_string(port), "--blue",
                               "computer:hard", "--frames", std::to_string(kFrames), "--script",
                               start_often_script(), "--net-log", host.log, "--trace", host.trace}),
         guest,
         linux_game({"--headless", "--join", "127.0.0.1:" + std::to_string(port), "--red", "computer:normal",
                     "--frames", std::to_string(kFrames), "--net-log", guest.log, "--trace", guest.trace}));
}

TEST_F(WindowsCrossPlay, AWindowsGuestJoinsALinuxHostByItsCode) {
    int port = port_base() + 2, lobby_port = port_base() + 3;
    std::string lobby = "127.0.0.1:" + std::to_string(lobby_port);
    pid_t server = world_.start("lo", {WHIRLBAT_LOBBY_BINARY, "--port", std::to_string(lobby_port), "--bind", "127.0.0.1"},
                                OutputPath("wx-lobby.err"));
    Side host = side("Linux", "code-host"), guest = side("Windows", "code-guest");
    pid_t h = world_.start("lo",
                           linux_game({"--headless", "--seed", "33", "--host", std::to_string(port), "--lobby", lobby,
                                       "--blue", "computer:normal", "--frames", std::to_string(kFrames), "--script",
                                       start_often_script(), "--net-log", host.log, "--trace", host.trace}),
                           host.err);
    std::regex line("join code ([2-9A-Z]{6})");
    std::smatch found;
    std::string code;
    for (int i = 0; i < 200 && code.empty(); ++i) {
        std::string err = ReadWhole(host.err);
        if (std::regex_search(err, found, line)) code = found[1];
        else std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(code.empty()) << "the host printed no join code:\n" << ReadWhole(host.err);
    pid_t g = world_.start("lo",
                           windows_game("code", {"--headless", "--join", code, "--lobby", lobby, "--red",
                                                 "computer:hard", "--frames", std::to_string(kFrames), "--net-log",
                                                 guest.log, "--trace", guest.trace}),
                           guest.err);
    int guest_code = world_.wait(g, 300000), host_code = world_.wait(h, 60000);
    world_.stop(server);
    ASSERT_EQ(host_code, 0) << ReadWhole(host.err);
    ASSERT_EQ(guest_code, 0) << ReadWhole(guest.err);
    std::printf("join code %s\n", code.c_str());
    expect_same_confirmed_frames(host, guest);
}

}  // namespace
