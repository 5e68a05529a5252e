// Two machines finding each other as players do, in networks the test builds itself
// with network namespaces: the same LAN (the guest finds the host by broadcast), and
// two homes behind NAT routers (join code from the meeting server in a "public"
// namespace, then punched through both routers, or relayed by coturn when both routers
// are symmetric). Each plays 600 frames of two computer pilots (3,600 in its long
// version, label "long") to identical state hashes on both sides. The failures a player
// can meet: the meeting server down, a wrong code, an expired code, each one clear line.
// Every address lives in the test's own namespaces. How fast each path connects is
// bench_reach's to print.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "net_homes.h"
#include "support.h"

using namespace test_support;

namespace {

const int kFrames = LongRuns() ? 3600 : 600;

// A path that works connects within a second or so (the LAN's search and the relay's
// allocation take longest; bench_reach prints the times). Under the handshake's 10 s,
// nine seconds hold on a machine whose cores are busy and still tell it from a
// connection that came only after a step gave up and was tried again.
constexpr long kConnectsWithinMs = 9000;

// A guest that cannot get through says so after the meeting server's answer or the
// punch gives up (5 s, on top of its start-up); one that has not ended after this is
// waiting for something that will not come.
constexpr double kGivesUpWithinSeconds = 15;

void play(NetWorld& w, Across game, PlayedSide side[2]) {
    game.frames = kFrames;
    std::string problem = PlayAcross(w, game, side);
    ASSERT_EQ(problem, "");
}

// The same game on both sides to the end, by the path named, and the figures of the run.
void expect_same_game(const std::string& name, const PlayedSide side[2], const std::string& path) {
    ASSERT_EQ(side[0].code, 0) << side[0].err;
    ASSERT_EQ(side[1].code, 0) << side[1].err;
    long split = 0;
    long compared = FramesConfirmedAlike(side[0].log, side[1].log, &split);
    ASSERT_EQ(split, 0) << "the two games went apart at frame " << split;
    // All but the frames before the connection and those the host played after the guest
    // had stopped.
    EXPECT_GT(compared, kFrames - 400) << "too few frames confirmed on both sides";
    for (int i = 0; i < 2; ++i) {
        const char* who = i ? "guest" : "host";
        EXPECT_EQ(side[i].log.path, path) << who;
        EXPECT_NE(side[i].err.find("connected by the " + path + " path"), std::string::npos) << side[i].err;
        EXPECT_GE(side[i].log.connect_ms, 0) << who;
        EXPECT_LE(side[i].log.connect_ms, kConnectsWithinMs) << who << " waited out a timeout to connect";
    }
    std::printf("%s: path %s, guest connected in %ld ms; %ld frames compared\n", name.c_str(),
                side[1].log.path.c_str(), side[1].log.connect_ms, compared);
}

TEST(NetReachRun, OnTheSameLanTheGuestFindsTheHostByItself) {
    NetWorld w;
    w.space("h");
    w.space("g");
    w.wire("h", "eth0", "192.168.77.1/24", "g", "eth0", "192.168.77.2/24");
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide side[2];
    Across lan;
    lan.name = "lan";
    lan.host_ns = "h";
    lan.guest_ns = "g";
    lan.join = {"--join"};
    play(w, lan, side);
    expect_same_game("same LAN", side, "LAN");
    EXPECT_NE(side[1].err.find("joining the game waiting on the local network at 192.168.77.1"), std::string::npos)
        << side[1].err;
}

TEST(NetReachRun, TwoHomesBehindConeRoutersMeetByCodeAndPunchThrough) {
    NetWorld w;
    Homes h;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide side[2];
    play(w, BetweenHomes("cone", h), side);
    expect_same_game("cone/cone", side, "punched");
}

// A third home watches the match by its code, through its own router: what it showed is
// what the players confirmed, and it keeps the match as a replay that verifies.
TEST(NetReachRun, AWatcherBehindItsOwnRouterWatchesByCode) {
    NetWorld w;
    Homes h;
    h.watcher_home = true;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide side[2], watcher;
    Across game = BetweenHomes("watched", h);
    game.frames = kFrames;
    game.watcher_ns = "pC";
    ASSERT_EQ(PlayAcross(w, game, side, &watcher), "");
    expect_same_game("watched", side, "punched");
    ASSERT_EQ(watcher.code, 0) << watcher.err;
    EXPECT_NE(watcher.err.find("connected by the punched path"), std::string::npos) << watcher.err;
    std::ifstream in(OutputPath(w.full("watched_watcher.log")));
    std::string line, kind, hash;
    long frame = 0, seen = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        if (!(words >> kind >> frame >> hash) || kind != "watched") continue;
        ++seen;
        auto played = side[0].log.hashes.find(frame);
        if (played != side[0].log.hashes.end()) {
            ASSERT_EQ(hash, played->second) << "frame " << frame;
        }
    }
    // From the match's first frame to near its end, though it came four seconds late.
    EXPECT_GT(seen, long(side[0].log.hashes.size()) * 9 / 10) << watcher.err;
    std::string err;
    EXPECT_EQ(RunGame({"--verify", OutputPath(w.full("watched_watcher.wbreplay"))}, &err), 0) << err;
}

// The host's router gives every destination a new port, so no punch gets through it,
// but it forwards the port the game asks for. miniupnpd forwards nothing to a router
// whose outside address lies in a private or reserved range, so this public network
// takes addresses that look public; like every other network here, it lives only in
// the test's own namespaces, which have no link to anything outside them.
TEST(NetReachRun, AHostBehindARouterWithUpnpIsReachedThroughTheForwardedPort) {
    ASSERT_EQ(access("/usr/sbin/miniupnpd", X_OK), 0) << "no /usr/sbin/miniupnpd: install miniupnpd-nftables (tools/install-deps.sh)";
    NetWorld w;
    Homes h;
    h.net = "11.200.0";
    h.host_symmetric = true;
    h.host_upnp = true;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide side[2];
    play(w, BetweenHomes("upnp", h), side);
    expect_same_game("UPnP router", side, "mapped");
    // The host removed its forwarded port on its way out.
    EXPECT_TRUE(w.run("rA", "! nft list chain inet filter prerouting_miniupnpd | grep -q 'dport 7171'")) << w.why();
    EXPECT_TRUE(w.run("rA", "nft list chain inet filter prerouting_miniupnpd | grep -q prerouting_miniupnpd")) << w.why();
    EXPECT_NE(side[0].err.find("rc-whirlbat: the router forwards 11.200.0.2:7171 to this machine"), std::string::npos)
        << side[0].err;
}

// Both routers give every destination a new port and forward none: no punch gets
// through, and the guest hears so in one line within a few seconds.
TEST(NetReachRun, TwoSymmetricRoutersWithNoForwardedPortAreOneClearLine) {
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    std::string err = OutputPath("reach_symmetric_blue.err");
    std::remove(err.c_str());
    w.start("pA", {WHIRLBAT_BINARY, "--headless", "--host", "--lobby", h.lobby(), "--frames", "900"}, err);
    std::string code = JoinCodeFrom(err);
    ASSERT_FALSE(code.empty()) << ReadWhole(err);
    PlayedSide guest;
    auto started = std::chrono::steady_clock::now();
    guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", code, "--lobby", h.lobby()}, &guest.err);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(guest.code, 1) << guest.err;
    EXPECT_EQ(guest.err.rfind("rc-whirlbat: no way through to the host at 10.200.0.2:", 0), 0u) << guest.err;
    EXPECT_EQ(std::count(guest.err.begin(), guest.err.end(), '\n'), 1) << guest.err;
    EXPECT_LT(seconds, kGivesUpWithinSeconds);
}

// Both routers give every destination a new port: no punch gets through either, and
// the two play through the relay, ENet over ICE over TURN.
TEST(NetReachRun, TwoHomesBehindSymmetricRoutersPlayThroughTheRelay) {
    ASSERT_EQ(access("/usr/bin/turnserver", X_OK), 0) << "no /usr/bin/turnserver: install coturn (tools/install-deps.sh)";
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    h.relay_running = true;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide side[2];
    play(w, BetweenHomes("relay", h), side);
    expect_same_game("symmetric/symmetric", side, "relayed");
}

// The same two homes, and the relay only the meeting server knows of: it hands both
// players credentials of their own, and neither names the relay (the code is all the
// guest types).
TEST(NetReachRun, TwoSymmetricRoutersPlayThroughTheMeetingServersRelayWithTheCodeAlone) {
    ASSERT_EQ(access("/usr/bin/turnserver", X_OK), 0) << "no /usr/bin/turnserver: install coturn (tools/install-deps.sh)";
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    h.relay_running = h.relay_from_lobby = true;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    Across game = BetweenHomes("lobbyrelay", h);
    for (const auto* args : {&game.join, &game.host_extra})
        ASSERT_EQ(std::count(args->begin(), args->end(), std::string("--relay")), 0);
    PlayedSide side[2];
    play(w, game, side);
    expect_same_game("symmetric/symmetric, the meeting server's relay", side, "relayed");
}

// A relay of one's own wins over the meeting server's: here the meeting server's is
// silent, and the two play through their own.
TEST(NetReachRun, ARelayOfOnesOwnWinsOverTheMeetingServers) {
    ASSERT_EQ(access("/usr/bin/turnserver", X_OK), 0) << "no /usr/bin/turnserver: install coturn (tools/install-deps.sh)";
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    h.relay_running = true;
    std::string secret = WriteOutput(w.full("silent-relay-secret"), "a-secret-no-relay-knows\n");
    h.lobby_args = {"--relay", h.lobby() + ":3479", "--relay-secret-file", secret};
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide side[2];
    play(w, BetweenHomes("ownrelay", h), side);
    expect_same_game("symmetric/symmetric, a relay of their own", side, "relayed");
}

// One clear line for each failure a guest can meet, and status 1.
void expect_one_line(const PlayedSide& guest, const std::string& line) {
    EXPECT_EQ(guest.code, 1) << guest.err;
    EXPECT_NE(guest.err.find("rc-whirlbat: " + line + "\n"), std::string::npos) << guest.err;
    EXPECT_EQ(std::count(guest.err.begin(), guest.err.end(), '\n'), 1) << guest.err;
}

// Two symmetric routers and a relay the guest cannot use: it hears why in its own line
// within a few seconds, not the punches' "no way through" after 20.
PlayedSide join_without_relay(NetWorld& w, const Homes& h, const std::string& name, double* seconds) {
    std::string err = OutputPath("reach_" + name + "_blue.err");
    std::remove(err.c_str());
    w.start("pA", {WHIRLBAT_BINARY, "--headless", "--host", "--lobby", h.lobby(), "--frames", "1200"}, err);
    PlayedSide guest;
    std::string code = JoinCodeFrom(err);
    if (code.empty()) return guest.err = "the host printed no join code: " + ReadWhole(err), guest;
    auto started = std::chrono::steady_clock::now();
    guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", code, "--lobby", h.lobby()}, &guest.err);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: the guest gave up after %.1f s\n", name.c_str(), *seconds);
    return guest;
}

TEST(NetReachRun, ARelayThatDoesNotAnswerIsOneEarlyLine) {
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    h.relay_from_lobby = true;  // and no relay runs there
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    double seconds = 0;
    PlayedSide guest = join_without_relay(w, h, "silentrelay", &seconds);
    expect_one_line(guest, "the relay at 10.200.0.1:3478 does not answer");
    EXPECT_LT(seconds, kGivesUpWithinSeconds);
}

TEST(NetReachRun, ARelayThatRefusesTheCredentialsIsOneEarlyLine) {
    ASSERT_EQ(access("/usr/bin/turnserver", X_OK), 0) << "no /usr/bin/turnserver: install coturn (tools/install-deps.sh)";
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    h.relay_running = h.relay_from_lobby = true;
    h.lobby_relay_secret = "not-the-relays-secret";
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    double seconds = 0;
    PlayedSide guest = join_without_relay(w, h, "refusingrelay", &seconds);
    expect_one_line(guest, "the relay at 10.200.0.1:3478 refused the credentials");
    EXPECT_LT(seconds, kGivesUpWithinSeconds);
}

TEST(NetReachRun, AMeetingServerThatIsDownIsOneLine) {
    NetWorld w;
    Homes h;
    h.lobby_running = false;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide guest;
    auto started = std::chrono::steady_clock::now();
    guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", "ABC234", "--lobby", h.lobby()}, &guest.err);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    expect_one_line(guest, "the meeting server at 10.200.0.1:7170 does not answer");
    EXPECT_LT(seconds, kGivesUpWithinSeconds);
}

TEST(NetReachRun, AWrongCodeIsOneLine) {
    NetWorld w;
    Homes h;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    PlayedSide guest;
    guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", "abc-234", "--lobby", h.lobby()}, &guest.err);
    expect_one_line(guest, "no game has that code: check it with the host");
}

TEST(NetReachRun, AnExpiredCodeIsOneLine) {
    NetWorld w;
    Homes h;
    h.lobby_args = {"--code-life", "25"};
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    ASSERT_TRUE(w.ok()) << w.why();
    // A host that vanishes without a word (its code lives on 25 s after the host last
    // asked for it, the shortest life there is), and one that leaves (its code ends at once).
    for (bool vanish : {true, false}) {
        SCOPED_TRACE(vanish ? "the host vanished" : "the host left");
        std::string err = OutputPath(std::string("reach_expired_") + (vanish ? "vanish" : "left") + ".err");
        // A code left in the file by an earlier run would be read before the host writes.
        std::remove(err.c_str());
        pid_t host = w.start("pA", {WHIRLBAT_BINARY, "--headless", "--host", "--lobby", h.lobby(), "--frames", "400"}, err);
        std::string code = JoinCodeFrom(err);
        ASSERT_FALSE(code.empty()) << ReadWhole(err);
        if (vanish) {
            kill(host, SIGKILL);
            w.wait(host, 2000);
            std::this_thread::sleep_for(std::chrono::milliseconds(25500));
        } else {
            EXPECT_EQ(w.wait(host, 20000), 0) << ReadWhole(err);
        }
        PlayedSide guest;
        guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", code, "--lobby", h.lobby()}, &guest.err);
        expect_one_line(guest, "that code has expired: ask the host for a new one");
    }
}

}  // namespace
