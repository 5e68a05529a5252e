// Online play between two copies of the program, timed: the games NetplayRun plays, with
// the figures that depend on how busy the machine is. A whole game over the bad network
// (50 to 100 ms each way, 20 ms of jitter, 5 % lost), input delay 1: how often and where
// each side waited for the other, and its own helicopter's answer in ticks (the input
// delay alone when it waits for nothing); a ten-second outage: the ticks the host waited
// through it (600 at 60 a second). Also the handshake's round trip (which chooses the
// input delay) and the time to compute the rules' fingerprint at start-up.
// Usage: whirlbat_netplay_bench [FRAMES]   (the whole game's length; 2400)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/net_link.h"
#include "session/net/rules_fingerprint.h"
#include "relayed_game.h"
#include "support.h"

using namespace test_support;

namespace {

using Clock = std::chrono::steady_clock;

int port_base() { return 46000 + int(getpid() % 2000) * 4; }

void fingerprint_figure() {
    auto start = Clock::now();
    uint64_t rules = compute_rules_fingerprint();
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("rules fingerprint %s computed in %.1f ms\n", fingerprint_text(rules).c_str(), ms);
}

// The handshake's round trip on 127.0.0.1, straight and through a relay that holds each
// datagram `each_way_ms`.
void handshake_figure(int each_way_ms, int port) {
    NetRelay relay;
    RelaySettings slow;
    slow.min_ms = slow.max_ms = each_way_ms;
    slow.jitter_ms = 0;
    slow.loss_percent = 0;
    slow.max_seconds = 10;
    int join_port = port;
    if (each_way_ms > 0) {
        if (!relay.start(port + 1, port, slow)) return;
        join_port = port + 1;
    }
    const uint64_t rules = rules_fingerprint();
    NetLink host{rules}, guest{rules};
    std::string why;
    std::vector<Packet> ignored;
    if (!host.listen(port, "bench", 1, -1, &why) || !guest.join("127.0.0.1", join_port, "bench", -1, &why)) {
        std::printf("handshake, %d ms each way: %s\n", each_way_ms, why.c_str());
        return;
    }
    auto until = Clock::now() + std::chrono::seconds(5);
    while (!(host.ready() && guest.ready()) && Clock::now() < until) {
        host.service(1, ignored);
        guest.service(1, ignored);
    }
    std::printf("handshake, %3d ms each way: round trip %d ms, input delay %d\n", each_way_ms,
                host.handshake_round_trip_ms(), host.delay());
}

// Stalls after the first two seconds, and those while both sides still played.
void stall_figures(const RelayedSides& r) {
    long both_played = std::min(r.log[0].Number("frames"), r.log[1].Number("frames")) - 10;
    const char* names[2] = {"Blue (host)", "Red (guest)"};
    for (int i = 0; i < 2; ++i) {
        const NetLog& log = r.log[i];
        long late = 0, playing = 0, first = -1, last = -1;
        for (const NetStall& s : log.stalls) {
            if (s.tick <= 120) continue;
            ++late;
            if (s.frame >= both_played) continue;
            ++playing;
            if (first < 0) first = s.frame;
            last = s.frame;
        }
        std::string where = playing ? " (frames " + std::to_string(first) + " to " + std::to_string(last) + ")" : "";
        std::printf("  %s: %ld ticks, %ld frames; waited %ld ticks after the first 2 s, %ld while both played%s; "
                    "answer %ld to %ld ticks; %ld rollbacks, longest %ld frames; %ld ticks slowed\n",
                    names[i], log.Number("ticks"), log.Number("frames"), late, playing, where.c_str(),
                    log.Number("min_response"), log.Number("max_response"), log.Number("rollbacks"),
                    log.Number("max_rollback"), log.Number("slowed_ticks"));
    }
}

void whole_game_figures(int frames) {
    RelayedGame game;
    game.name = "bench_netplay";
    game.host_port = port_base();
    game.frames = frames;
    std::string script = WriteOutput("bench_netplay_start.txt",
                                     "f150 mouse move 320 250\nf150 mouse left down\nf151 mouse left up\n");
    game.host = {"--seed", "12", "--blue", "computer:easy", "--delay", "1", "--script", script};
    game.guest = {"--red", "computer:hard", "--delay", "1"};
    RelayedSides r;
    if (!PlayRelayed(game, &r)) {
        std::printf("whole game: no relay port\n");
        return;
    }
    long split = 0;
    long alike = FramesConfirmedAlike(r.log[0], r.log[1], &split);
    std::printf("whole game over the bad network, %d frames, input delay 1: exit %d and %d, %ld frames confirmed "
                "alike%s; relay %ld and %ld datagrams, %ld dropped, %ld overtaken\n",
                frames, r.code[0], r.code[1], alike, split ? " (then went apart)" : "", r.to_host, r.to_guest,
                r.dropped, r.overtaken);
    stall_figures(r);
}

void outage_figures() {
    RelayedGame game;
    game.name = "bench_outage";
    game.network.min_ms = game.network.max_ms = 20;
    game.network.jitter_ms = 5;
    game.network.loss_percent = 1;
    game.host_port = port_base() + 2;
    game.frames = 1800;
    std::string script = WriteOutput("bench_outage_start.txt",
                                     "f100 mouse move 320 250\nf100 mouse left down\nf101 mouse left up\n");
    game.host = {"--seed", "21", "--blue", "computer:hard", "--script", script};
    game.guest = {"--red", "computer:hard"};
    RelayedSides r;
    bool played = PlayRelayed(game, &r, [](NetRelay& relay) {
        std::this_thread::sleep_for(std::chrono::seconds(8));
        relay.cut = true;
        std::this_thread::sleep_for(std::chrono::seconds(10));
        relay.cut = false;
    });
    if (!played) {
        std::printf("outage: no relay port\n");
        return;
    }
    auto [frame, ticks] = r.log[0].LongestStall();
    std::printf("a ten-second outage: the host waited %ld ticks at frame %ld (600 at 60 a second); exit %d and %d\n",
                ticks, frame, r.code[0], r.code[1]);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 2400;
    fingerprint_figure();
    handshake_figure(0, port_base() + 2);
    handshake_figure(35, port_base() + 2);
    whole_game_figures(frames);
    outage_figures();
    return 0;
}
