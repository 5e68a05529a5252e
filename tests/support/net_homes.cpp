#include "net_homes.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "support.h"

namespace test_support {

namespace {

// The chains miniupnpd fills with the ports it forwards, and miniupnpd on the host's router.
void start_upnp(NetWorld& w) {
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
            OutputPath(w.full("miniupnpd.err")));
    // The router is ready once it listens for searches (1900) and NAT-PMP (5351): a host
    // that asks before then finds no router.
    w.run("rA", "for i in $(seq 100); do ss -uln | grep -q ':1900 ' && ss -uln | grep -q ':5351 ' && exit 0; "
                "sleep 0.1; done; echo miniupnpd did not listen within 10 s; exit 1");
}

const char* kSharedSecret = "shared-secret-of-the-test";

// coturn, the relay, beside the meeting server, knowing the game by one user or by the
// secret it shares with the meeting server, set up as docs/online.md says.
void start_relay(NetWorld& w, const Homes& h) {
    std::vector<std::string> auth = {"--user=whirlbat:relaysecret"};
    if (h.relay_from_lobby) auth = {"--use-auth-secret", std::string("--static-auth-secret=") + kSharedSecret};
    std::vector<std::string> argv = {"/usr/bin/turnserver", "-n", "--listening-ip=" + h.lobby(), "--relay-ip=" + h.lobby(),
                    "--listening-port=3478", "--min-port=50000", "--max-port=50999", "--lt-cred-mech"};
    argv.insert(argv.end(), auth.begin(), auth.end());
    argv.insert(argv.end(), {"--realm=rcwhirlbat.test", "--no-tls", "--no-dtls", "--no-cli",
                    "--no-multicast-peers", "--denied-peer-ip=10.0.0.0-10.255.255.255",
                    "--denied-peer-ip=172.16.0.0-172.31.255.255", "--denied-peer-ip=192.168.0.0-192.168.255.255",
                    // The test's "public" network is a private range: let it through.
                    "--allowed-peer-ip=" + h.net + ".0-" + h.net + ".255", "--log-file=stdout", "--simple-log", "-v",
                    "--pidfile=" + OutputPath(w.full("turnserver.pid"))});
    w.start("pub", argv, OutputPath(w.full("turnserver.err")));
}

// The meeting server's arguments for handing out the relay.
std::vector<std::string> lobby_relay_args(NetWorld& w, const Homes& h) {
    if (!h.relay_from_lobby) return {};
    std::string secret = h.lobby_relay_secret.empty() ? kSharedSecret : h.lobby_relay_secret;
    std::string file = WriteOutput(w.full("relay-secret"), secret + "\n");
    return {"--relay", h.lobby_relay.empty() ? h.lobby() : h.lobby_relay, "--relay-secret-file", file};
}

}  // namespace

void BuildHomes(NetWorld& w, const Homes& h, const std::string& lobby_program) {
    w.space("pub");
    w.bridge("pub", "br0", h.lobby() + "/24");
    const char* lans[3] = {"192.168.1", "192.168.2", "192.168.3"};
    for (int i = 0; i < (h.watcher_home ? 3 : 2); ++i) {
        std::string r = std::string("r") + char('A' + i), p = std::string("p") + char('A' + i);
        w.space(r);
        w.space(p);
        w.wire(r, "wan0", h.net + "." + std::to_string(2 + i) + "/24", "pub", r + "wan", "");
        w.join_bridge("pub", "br0", r + "wan");
        w.wire(r, "lan0", std::string(lans[i]) + ".1/24", p, "eth0", std::string(lans[i]) + ".2/24");
        w.run(p, "ip route add default via " + std::string(lans[i]) + ".1");
        w.router(r, "wan0", i == 1 ? h.guest_symmetric : i == 0 && h.host_symmetric);
    }
    if (h.host_upnp) start_upnp(w);
    if (h.relay_running) start_relay(w, h);
    if (h.lobby_running) {
        std::vector<std::string> args = {lobby_program, "--bind", h.lobby()};
        args.insert(args.end(), h.lobby_args.begin(), h.lobby_args.end());
        std::vector<std::string> relay = lobby_relay_args(w, h);
        args.insert(args.end(), relay.begin(), relay.end());
        w.start("pub", args, OutputPath(w.full("lobby.err")));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

std::string JoinCodeFrom(const std::string& err_file) {
    std::regex line("join code ([2-9A-Z]{6})");
    for (int i = 0; i < 500; ++i) {
        std::smatch m;
        std::string err = ReadWhole(err_file);
        if (std::regex_search(err, m, line)) return m[1];
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "";
}

Across BetweenHomes(const std::string& name, const Homes& h) {
    Across game;
    game.name = name;
    game.host_ns = "pA";
    game.guest_ns = "pB";
    game.lobby = h.lobby();
    game.join = {"--join", "--lobby", h.lobby()};
    if (h.relay_running && !h.relay_from_lobby) {
        game.join.insert(game.join.end(), {"--relay", h.relay()});
        game.host_extra = {"--relay", h.relay()};
    }
    return game;
}

std::string PlayAcross(NetWorld& w, const Across& game, PlayedSide side[2], PlayedSide* watcher) {
    std::string start = WriteOutput("reach_start.txt", "f150 mouse move 320 250\nf150 mouse left down\nf151 mouse left up\n");
    std::string logs[2] = {OutputPath(w.full(game.name + "_blue.log")), OutputPath(w.full(game.name + "_red.log"))};
    std::string host_err = OutputPath(w.full(game.name + "_blue.err"));
    std::string frames = std::to_string(game.frames);
    std::vector<std::string> host = {WHIRLBAT_BINARY, "--headless", "--seed", "21", "--host", "--blue", "computer",
                                     "--frames", frames, "--script", start, "--net-log", logs[0]};
    if (!game.lobby.empty()) host.insert(host.end(), {"--lobby", game.lobby});
    host.insert(host.end(), game.host_extra.begin(), game.host_extra.end());
    pid_t pid = w.start(game.host_ns, host, host_err);
    if (pid <= 0) return "the host could not be started: " + w.why();
    std::vector<std::string> join = game.join;
    if (!game.lobby.empty()) {
        std::string code = JoinCodeFrom(host_err);
        if (code.empty()) {
            w.stop(pid);
            return "the host printed no join code:\n" + ReadWhole(host_err);
        }
        join.insert(join.begin() + 1, code);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::vector<std::string> guest = {WHIRLBAT_BINARY, "--headless", "--red", "computer", "--frames", frames,
                                      "--net-log", logs[1]};
    guest.insert(guest.end(), join.begin(), join.end());
    if (game.watcher_ns.empty() || !watcher) {
        side[1].code = w.call(game.guest_ns, guest, &side[1].err);
    } else {
        // The watcher comes by the same code once the match is under way, and stays
        // until after its end.
        std::string guest_err = OutputPath(w.full(game.name + "_red.err"));
        std::string watcher_err = OutputPath(w.full(game.name + "_watcher.err"));
        pid_t guest_pid = w.start(game.guest_ns, guest, guest_err);
        std::this_thread::sleep_for(std::chrono::milliseconds(4000));
        std::vector<std::string> watch = {WHIRLBAT_BINARY, "--headless", "--frames", std::to_string(game.frames + 900),
                                          "--net-log", OutputPath(w.full(game.name + "_watcher.log")), "--record",
                                          OutputPath(w.full(game.name + "_watcher.wbreplay")), "--watch", join[1],
                                          "--lobby", game.lobby};
        pid_t watcher_pid = w.start(game.watcher_ns, watch, watcher_err);
        side[1].code = w.wait(guest_pid, 60000);
        side[1].err = ReadWhole(guest_err);
        watcher->code = w.wait(watcher_pid, 60000);
        watcher->err = ReadWhole(watcher_err);
    }
    side[0].code = w.wait(pid, 30000);
    side[0].err = ReadWhole(host_err);
    for (int i = 0; i < 2; ++i) side[i].log = ReadNetLog(logs[i]);
    return "";
}

}  // namespace test_support
