// Two machines finding each other as players do, in networks the test builds itself
// with network namespaces: the same LAN (the guest finds the host by broadcast), and
// two homes behind NAT routers (join code from the meeting server in a "public"
// namespace, then punched through both routers, or relayed by coturn when both routers
// are symmetric). Each plays 3,600 frames of two computer pilots to identical state
// hashes on both sides, connected within 3 s (relayed within 5 s). The
// failures a player can meet: the meeting server down, a wrong code, an expired code,
// each one clear line. Every address lives in the test's own namespaces.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "net_world.h"
#include "support.h"

using namespace test_support;

namespace {

constexpr int kFrames = 3600;

std::string slurp(const std::string& path) {
    std::ifstream f(path);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct Side {
    int code = -1;
    std::string err;
    std::map<long, std::string> hashes;
    long stalls = 0;
    std::map<std::string, std::string> summary;
    std::string path;
    long connect_ms = -1;
};

void read_log(const std::string& file, Side* side) {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "confirmed") {
            long f;
            std::string h;
            words >> f >> h;
            side->hashes[f] = h;
        } else if (kind == "stall") {
            ++side->stalls;
        } else if (kind == "path") {
            std::string ms;
            words >> side->path >> ms;
            if (ms.rfind("connect_ms=", 0) == 0) side->connect_ms = std::stol(ms.substr(11));
        } else if (kind == "summary") {
            for (std::string field; words >> field;) {
                size_t eq = field.find('=');
                side->summary[field.substr(0, eq)] = field.substr(eq + 1);
            }
        }
    }
}

double per_second(const Side& s, const std::string& key) {
    auto b = s.summary.find(key), t = s.summary.find("seconds");
    if (b == s.summary.end() || t == s.summary.end() || std::stod(t->second) <= 0) return -1;
    return std::stod(b->second) / std::stod(t->second);
}

// Waits for the host's join code in its stderr.
std::string code_from(const std::string& err_file) {
    std::regex line("join code ([2-9A-Z]{6})");
    for (int i = 0; i < 500; ++i) {
        std::smatch m;
        std::string err = slurp(err_file);
        if (std::regex_search(err, m, line)) return m[1];
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
}

// The host in `host_ns` and the guest in `guest_ns` play kFrames frames; `join` is the
// guest's --join arguments (a code is read off the host when `by_code`).
void play(NetWorld& w, const std::string& name, const std::string& host_ns, const std::string& guest_ns,
          const std::string& lobby, std::vector<std::string> join, Side side[2],
          const std::vector<std::string>& host_extra = {}) {
    bool by_code = !lobby.empty();
    std::string start = WriteOutput("reach_start.txt", "f150 mouse move 320 250\nf150 mouse left down\nf151 mouse left up\n");
    std::string logs[2] = {OutputPath("reach_" + name + "_blue.log"), OutputPath("reach_" + name + "_red.log")};
    std::string host_err = OutputPath("reach_" + name + "_blue.err");
    for (const std::string& l : logs) std::remove(l.c_str());
    std::remove(host_err.c_str());
    std::vector<std::string> host = {WHIRLBAT_BINARY, "--headless", "--seed", "21", "--host", "--blue", "computer",
                                     "--frames", std::to_string(kFrames), "--script", start, "--net-log", logs[0]};
    if (by_code) host.insert(host.end(), {"--lobby", lobby});
    host.insert(host.end(), host_extra.begin(), host_extra.end());
    pid_t pid = w.start(host_ns, host, host_err);
    ASSERT_GT(pid, 0);
    if (by_code) {
        std::string code = code_from(host_err);
        ASSERT_FALSE(code.empty()) << "the host printed no join code:\n" << slurp(host_err);
        join.insert(join.begin() + 1, code);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::vector<std::string> guest = {WHIRLBAT_BINARY, "--headless", "--red", "computer", "--frames",
                                      std::to_string(kFrames), "--net-log", logs[1]};
    guest.insert(guest.end(), join.begin(), join.end());
    side[1].code = w.call(guest_ns, guest, &side[1].err);
    side[0].code = w.wait(pid, 30000);
    side[0].err = slurp(host_err);
    for (int i = 0; i < 2; ++i) read_log(logs[i], &side[i]);
}

// The same game on both sides to the end, and the figures of the run.
void expect_same_game(const std::string& name, const Side side[2], const std::string& path, int within_ms = 3000) {
    ASSERT_EQ(side[0].code, 0) << side[0].err;
    ASSERT_EQ(side[1].code, 0) << side[1].err;
    long compared = 0;
    for (const auto& [f, h] : side[0].hashes) {
        auto other = side[1].hashes.find(f);
        if (other == side[1].hashes.end()) continue;
        ASSERT_EQ(other->second, h) << "frame " << f;
        ++compared;
    }
    EXPECT_GT(compared, kFrames - 400) << "too few frames confirmed on both sides";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(side[i].path, path) << (i ? "guest" : "host");
        EXPECT_GE(side[i].connect_ms, 0);
        EXPECT_LE(side[i].connect_ms, within_ms) << (i ? "guest" : "host") << " connected too slowly";
        EXPECT_NE(side[i].err.find("connected by the " + path + " path"), std::string::npos) << side[i].err;
    }
    std::printf("%s: path %s, guest connected in %ld ms; stall frames %ld (host) %ld (guest); bytes a second "
                "host->guest %.0f, guest->host %.0f; %ld frames compared\n",
                name.c_str(), side[1].path.c_str(), side[1].connect_ms, side[0].stalls, side[1].stalls,
                per_second(side[0], "bytes_sent"), per_second(side[1], "bytes_sent"), compared);
}

// A public network with the meeting server, and two homes, each a player behind its
// own router: rA (the host's) symmetric when asked, and running miniupnpd when asked.
struct Homes {
    std::string net = "10.200.0";  // the public network's first three numbers
    bool host_symmetric = false, guest_symmetric = false, host_upnp = false;
    bool lobby_running = true, relay_running = false;
    std::vector<std::string> lobby_args;
    std::string lobby() const { return net + ".1"; }
};

void build_homes(NetWorld& w, const Homes& h) {
    w.space("pub");
    w.bridge("pub", "br0", h.lobby() + "/24");
    const char* lans[2] = {"192.168.1", "192.168.2"};
    for (int i = 0; i < 2; ++i) {
        std::string r = i ? "rB" : "rA", p = i ? "pB" : "pA";
        w.space(r);
        w.space(p);
        w.wire(r, "wan0", h.net + "." + std::to_string(2 + i) + "/24", "pub", r + "wan", "");
        w.join_bridge("pub", "br0", r + "wan");
        w.wire(r, "lan0", std::string(lans[i]) + ".1/24", p, "eth0", std::string(lans[i]) + ".2/24");
        w.run(p, "ip route add default via " + std::string(lans[i]) + ".1");
        w.router(r, "wan0", i ? h.guest_symmetric : h.host_symmetric);
    }
    if (h.host_upnp) {
        // The chains miniupnpd fills with the ports it forwards.
        std::string chains = WriteOutput(w.full("miniupnpd.nft"),
                                         "table inet filter {\n"
                                         "  chain forward { type filter hook forward priority 0; policy accept; jump miniupnpd; }\n"
                                         "  chain miniupnpd { }\n"
                                         "  chain prerouting { type nat hook prerouting priority -100; policy accept; "
                                         "jump prerouting_miniupnpd; }\n"
                                         "  chain postrouting { type nat hook postrouting priority 100; policy accept; "
                                         "jump postrouting_miniupnpd; }\n"
                                         "  chain prerouting_miniupnpd { }\n"
                                         "  chain postrouting_miniupnpd { }\n"
                                         "}\n");
        w.run("rA", "nft -f " + chains);
        std::string conf = WriteOutput(w.full("miniupnpd.conf"),
                                       "ext_ifname=wan0\nlistening_ip=lan0\nport=0\nenable_natpmp=yes\nenable_upnp=yes\n"
                                       "secure_mode=yes\nsystem_uptime=yes\nuuid=3f1b6a1e-2c1d-4c55-9a3e-5d2a4b7c8e90\n"
                                       "allow 1024-65535 192.168.1.0/24 1024-65535\ndeny 0-65535 0.0.0.0/0 0-65535\n");
        w.start("rA", {"/usr/sbin/miniupnpd", "-d", "-f", conf, "-P", OutputPath(w.full("miniupnpd.pid"))},
                OutputPath("reach_miniupnpd.err"));
    }
    if (h.relay_running) {
        // coturn, the relay, beside the meeting server, knowing the game by one user, set
        // up as the README says.
        w.start("pub", {"/usr/bin/turnserver", "-n", "--listening-ip=" + h.lobby(), "--relay-ip=" + h.lobby(),
                        "--listening-port=3478", "--min-port=50000", "--max-port=50999", "--lt-cred-mech",
                        "--user=whirlbat:relaysecret", "--realm=rcwhirlbat.test", "--no-tls", "--no-dtls", "--no-cli",
                        "--no-multicast-peers", "--denied-peer-ip=10.0.0.0-10.255.255.255",
                        "--denied-peer-ip=172.16.0.0-172.31.255.255", "--denied-peer-ip=192.168.0.0-192.168.255.255",
                        // The test's "public" network is a private range: let it through.
                        "--allowed-peer-ip=" + h.net + ".0-" + h.net + ".255", "--log-file=stdout", "--simple-log", "-v",
                        "--pidfile=" + OutputPath(w.full("turnserver.pid"))},
                OutputPath("reach_turnserver.err"));
    }
    if (h.lobby_running) {
        std::vector<std::string> args = {WHIRLBAT_LOBBY_BINARY, "--bind", h.lobby()};
        args.insert(args.end(), h.lobby_args.begin(), h.lobby_args.end());
        w.start("pub", args, OutputPath("reach_lobby.err"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

TEST(NetReachRun, OnTheSameLanTheGuestFindsTheHostByItself) {
    NetWorld w;
    w.space("h");
    w.space("g");
    w.wire("h", "eth0", "192.168.77.1/24", "g", "eth0", "192.168.77.2/24");
    ASSERT_TRUE(w.ok()) << w.why();
    Side side[2];
    play(w, "lan", "h", "g", "", {"--join"}, side);
    expect_same_game("same LAN", side, "LAN");
    EXPECT_NE(side[1].err.find("joining the game waiting on the local network at 192.168.77.1"), std::string::npos)
        << side[1].err;
}

TEST(NetReachRun, TwoHomesBehindConeRoutersMeetByCodeAndPunchThrough) {
    NetWorld w;
    Homes h;
    build_homes(w, h);
    ASSERT_TRUE(w.ok()) << w.why();
    Side side[2];
    play(w, "cone", "pA", "pB", h.lobby(), {"--join", "--lobby", h.lobby()}, side);
    expect_same_game("cone/cone", side, "punched");
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
    build_homes(w, h);
    ASSERT_TRUE(w.ok()) << w.why();
    Side side[2];
    play(w, "upnp", "pA", "pB", h.lobby(), {"--join", "--lobby", h.lobby()}, side);
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
    build_homes(w, h);
    ASSERT_TRUE(w.ok()) << w.why();
    std::string err = OutputPath("reach_symmetric_blue.err");
    std::remove(err.c_str());
    w.start("pA", {WHIRLBAT_BINARY, "--headless", "--host", "--lobby", h.lobby(), "--frames", "900"}, err);
    std::string code = code_from(err);
    ASSERT_FALSE(code.empty()) << slurp(err);
    Side guest;
    auto started = std::chrono::steady_clock::now();
    guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", code, "--lobby", h.lobby()}, &guest.err);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(guest.code, 1) << guest.err;
    EXPECT_EQ(guest.err.rfind("rc-whirlbat: no way through to the host at 10.200.0.2:", 0), 0u) << guest.err;
    EXPECT_EQ(std::count(guest.err.begin(), guest.err.end(), '\n'), 1) << guest.err;
    EXPECT_LT(seconds, 6);
}

// Both routers give every destination a new port: no punch gets through either, and
// the two play through the relay, ENet over ICE over TURN.
TEST(NetReachRun, TwoHomesBehindSymmetricRoutersPlayThroughTheRelay) {
    ASSERT_EQ(access("/usr/bin/turnserver", X_OK), 0) << "no /usr/bin/turnserver: install coturn (tools/install-deps.sh)";
    NetWorld w;
    Homes h;
    h.host_symmetric = h.guest_symmetric = true;
    h.relay_running = true;
    build_homes(w, h);
    ASSERT_TRUE(w.ok()) << w.why();
    std::string relay = "whirlbat:relaysecret@" + h.lobby();
    Side side[2];
    play(w, "relay", "pA", "pB", h.lobby(), {"--join", "--lobby", h.lobby(), "--relay", relay}, side, {"--relay", relay});
    expect_same_game("symmetric/symmetric", side, "relayed", 5000);
}

// One clear line for each failure a guest can meet, and status 1.
void expect_one_line(const Side& guest, const std::string& line) {
    EXPECT_EQ(guest.code, 1) << guest.err;
    EXPECT_NE(guest.err.find("rc-whirlbat: " + line + "\n"), std::string::npos) << guest.err;
    EXPECT_EQ(std::count(guest.err.begin(), guest.err.end(), '\n'), 1) << guest.err;
}

TEST(NetReachRun, AMeetingServerThatIsDownIsOneLine) {
    NetWorld w;
    Homes h;
    h.lobby_running = false;
    build_homes(w, h);
    ASSERT_TRUE(w.ok()) << w.why();
    Side guest;
    auto started = std::chrono::steady_clock::now();
    guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", "ABC234", "--lobby", h.lobby()}, &guest.err);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    expect_one_line(guest, "the meeting server at 10.200.0.1:7170 does not answer");
    EXPECT_LT(seconds, 6);
}

TEST(NetReachRun, AWrongCodeIsOneLine) {
    NetWorld w;
    Homes h;
    build_homes(w, h);
    ASSERT_TRUE(w.ok()) << w.why();
    Side guest;
    guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", "abc-234", "--lobby", h.lobby()}, &guest.err);
    expect_one_line(guest, "no game has that code: check it with the host");
}

TEST(NetReachRun, AnExpiredCodeIsOneLine) {
    NetWorld w;
    Homes h;
    h.lobby_args = {"--code-life", "25"};
    build_homes(w, h);
    ASSERT_TRUE(w.ok()) << w.why();
    // A host that vanishes without a word (its code lives on 25 s after the host last
    // asked for it, the shortest life there is), and one that leaves (its code ends at once).
    for (bool vanish : {true, false}) {
        SCOPED_TRACE(vanish ? "the host vanished" : "the host left");
        std::string err = OutputPath(std::string("reach_expired_") + (vanish ? "vanish" : "left") + ".err");
        // A code left in the file by an earlier run would be read before the host writes.
        std::remove(err.c_str());
        pid_t host = w.start("pA", {WHIRLBAT_BINARY, "--headless", "--host", "--lobby", h.lobby(), "--frames", "400"}, err);
        std::string code = code_from(err);
        ASSERT_FALSE(code.empty()) << slurp(err);
        if (vanish) {
            kill(host, SIGKILL);
            w.wait(host, 2000);
            std::this_thread::sleep_for(std::chrono::milliseconds(25500));
        } else {
            EXPECT_EQ(w.wait(host, 20000), 0) << slurp(err);
        }
        Side guest;
        guest.code = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", code, "--lobby", h.lobby()}, &guest.err);
        expect_one_line(guest, "that code has expired: ask the host for a new one");
    }
}

}  // namespace
