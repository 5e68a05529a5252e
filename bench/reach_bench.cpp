// Finding the other machine, timed: in networks of network namespaces (as NetReachRun
// builds them: the same LAN, two homes behind cone routers, a host behind a router with
// UPnP, two symmetric routers and the relay), how long each side takes to connect, the
// ticks it waited for the other side and the bytes a second each way over a short game;
// and how long a guest takes to give up when the meeting server is down or no way leads
// through. Needs root, as NetReachRun does; without it, skipped.
// Usage: whirlbat_reach_bench [FRAMES]   (each game that long; 600)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "net_homes.h"
#include "support.h"

using namespace test_support;

namespace {

constexpr int kSkipped = 77;

long stalls_after_start(const NetLog& log) {
    long n = 0;
    for (const NetStall& s : log.stalls) n += s.tick > 120;  // the clocks settle in the first two seconds
    return n;
}

void game_figures(const std::string& name, const std::function<void(NetWorld&, Across&)>& build, int frames) {
    NetWorld w;
    Across game;
    game.name = "bench";
    build(w, game);
    game.frames = frames;
    PlayedSide side[2];
    std::string problem = w.ok() ? PlayAcross(w, game, side) : w.why();
    if (!problem.empty() || side[0].code != 0 || side[1].code != 0) {
        std::printf("%-22s did not play: %s%s%s\n", name.c_str(), problem.c_str(), side[0].err.c_str(), side[1].err.c_str());
        return;
    }
    long split = 0;
    long alike = FramesConfirmedAlike(side[0].log, side[1].log, &split);
    std::printf("%-22s %-8s %9ld %9ld %9ld %9ld %9.0f %9.0f %9ld%s\n", name.c_str(), side[1].log.path.c_str(),
                side[0].log.connect_ms, side[1].log.connect_ms, stalls_after_start(side[0].log),
                stalls_after_start(side[1].log), side[0].log.PerSecond("bytes_sent"), side[1].log.PerSecond("bytes_sent"),
                alike, split ? " (went apart)" : "");
}

void give_up_figure(const std::string& name, const Homes& h, bool with_host) {
    NetWorld w;
    BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
    std::string code = "ABC234", err = OutputPath(w.full("bench_host.err"));
    if (with_host && w.ok()) {
        w.start("pA", {WHIRLBAT_BINARY, "--headless", "--host", "--lobby", h.lobby(), "--frames", "900"}, err);
        code = JoinCodeFrom(err);
    }
    if (!w.ok() || code.empty()) {
        std::printf("%-34s could not be set up: %s\n", name.c_str(), w.why().c_str());
        return;
    }
    std::string said;
    auto started = std::chrono::steady_clock::now();
    int status = w.call("pB", {WHIRLBAT_BINARY, "--headless", "--join", code, "--lobby", h.lobby()}, &said);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!said.empty() && said.back() == '\n') said.pop_back();
    std::printf("%-34s %5.2f s, status %d: %s\n", name.c_str(), seconds, status, said.c_str());
}

// The game between the two homes, built as `h` says.
std::function<void(NetWorld&, Across&)> homes(const Homes& h) {
    return [h](NetWorld& w, Across& game) {
        BuildHomes(w, h, WHIRLBAT_LOBBY_BINARY);
        game = BetweenHomes("bench", h);
    };
}

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 600;
    if (geteuid() != 0) {
        std::printf("network namespaces need root; skipped\n");
        return kSkipped;
    }
    std::printf("%d frames a game; connect in ms, ticks waited for the other side after the first 2 s, bytes a "
                "second sent\n",
                frames);
    std::printf("%-22s %-8s %9s %9s %9s %9s %9s %9s %9s\n", "network", "path", "host ms", "guest ms", "host wait",
                "guest wait", "host B/s", "guest B/s", "alike");
    game_figures("same LAN", [](NetWorld& w, Across& g) {
        w.space("h");
        w.space("g");
        w.wire("h", "eth0", "192.168.77.1/24", "g", "eth0", "192.168.77.2/24");
        g.host_ns = "h";
        g.guest_ns = "g";
        g.join = {"--join"};
    }, frames);
    game_figures("cone / cone", homes(Homes{}), frames);
    Homes upnp;
    upnp.net = "11.200.0";
    upnp.host_symmetric = upnp.host_upnp = true;
    game_figures("UPnP router / cone", homes(upnp), frames);
    Homes relayed;
    relayed.host_symmetric = relayed.guest_symmetric = relayed.relay_running = true;
    game_figures("symmetric, relayed", homes(relayed), frames);
    std::printf("a guest giving up:\n");
    Homes down;
    down.lobby_running = false;
    give_up_figure("  the meeting server down", down, false);
    Homes symmetric;
    symmetric.host_symmetric = symmetric.guest_symmetric = true;
    give_up_figure("  two symmetric routers, no relay", symmetric, true);
    return 0;
}
