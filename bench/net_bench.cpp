// Online play's figures: the time to roll back and run 8 frames again, and two sessions
// over ENet on 127.0.0.1 through the bad-network relay, each on its own thread at 60
// frames a second: bytes a second each way and the longest wait for the other side.
// Usage: whirlbat_net_bench [SECONDS]   (each network setting runs that long; 20)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <unistd.h>

#include "session/net/net_session.h"
#include "session/net/rules_fingerprint.h"
#include "sim/snapshot.h"
#include "net_relay.h"

namespace {

const uint64_t kRules = rules_fingerprint();

using Clock = std::chrono::steady_clock;

// A player who keeps flying: sticks that change every few frames, fire now and then,
// the game started whenever the title shows.
struct Player {
    std::mt19937 rng;
    NetInput held;
    NetInput next(const Game& g) {
        std::uniform_int_distribution<int> pick(0, 99), axis(-1, 1);
        if (pick(rng) < 8) {
            for (int8_t& a : held.axis) a = int8_t(axis(rng));
            held.buttons = pick(rng) < 20 ? 1 : 0;
        }
        NetInput in = held;
        if (g.game_state == GameState::title) in.command = NetCommand::start;
        if (g.game_state == GameState::pause) in.command = NetCommand::resume;
        return in;
    }
};

void rollback_figures() {
    World w = new_world(12);
    Game g = new_game_state(2);
    Rollback rb(0, 0);
    Player me{std::mt19937(1), {}}, other{std::mt19937(2), {}};
    FrameResult out;
    long remote = 0;
    // Into a round, with both inputs known.
    for (int i = 0; i < 600; ++i) {
        rb.add_local(me.next(g));
        rb.add_remote(++remote, other.next(g));
        rb.settle(w, g, out, nullptr, nullptr);
        rb.advance(w, g, out);
    }
    std::vector<double> us;
    int playing = 0;
    for (int round = 0; round < 2000; ++round) {
        // Eight frames run on a guess, then the other side's true inputs, all different.
        for (int i = 0; i < ROLLBACK_WINDOW; ++i) {
            rb.add_local(me.next(g));
            rb.advance(w, g, out);
        }
        // The first differs from the guess (the last input heard), so all eight run again.
        NetInput last = rb.input(1, remote);
        for (int i = 0; i < ROLLBACK_WINDOW; ++i) {
            NetInput in = other.next(g);
            if (i == 0) in.axis[0] = int8_t(last.axis[0] == 1 ? -1 : 1);
            rb.add_remote(++remote, in);
        }
        auto t0 = Clock::now();
        int rerun = rb.settle(w, g, out, nullptr, nullptr);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (rerun != ROLLBACK_WINDOW) std::printf("unexpected: %d frames run again\n", rerun);
        playing += g.game_state == GameState::play;
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double u : us) sum += u;
    std::printf("rollback of 8 frames (restore, 8 steps, the last drawn): mean %.3f ms, median %.3f ms, 99%% %.3f ms, "
                "worst %.3f ms (goal: under 0.5 ms)\n",
                sum / double(us.size()) / 1000, us[us.size() / 2] / 1000, us[us.size() * 99 / 100] / 1000,
                us.back() / 1000);
    std::printf("  (%d of %zu rollbacks during play)\n", playing, us.size());
}

struct Machine {
    World w = new_world(12);
    Game g = new_game_state(2);
    FrameResult shown;
    Player player;
    long worst_stall = 0, run = 0, stall_ticks = 0;
};

void play(NetSession& s, Machine& m, double seconds) {
    Clock::time_point start = Clock::now(), due = start;
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds && s.ended() == NetSession::End::none) {
        NetSession::Tick t = s.tick(m.w, m.g, m.shown, [&] { return m.player.next(m.g); }, nullptr);
        bool settled = Clock::now() - start > std::chrono::seconds(2);
        if (!t.stepped && settled) {
            ++m.stall_ticks;
            m.worst_stall = std::max(m.worst_stall, ++m.run);
        } else {
            m.run = 0;
        }
        due += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(s.frame_ms()));
        s.idle_until(due);
        std::this_thread::sleep_until(due);
    }
}

void network_figures(const char* name, const test_support::RelaySettings& relay_settings, int delay, double seconds,
                     int port) {
    test_support::NetRelay relay;
    if (!relay.start(port + 1, port, relay_settings)) {
        std::printf("%s: no relay port\n", name);
        return;
    }
    NetLink host{kRules}, guest{kRules};
    std::string why;
    std::vector<Packet> ignored;
    if (!host.listen(port, "bench", 12, delay, &why) || !guest.join("127.0.0.1", port + 1, "bench", delay, &why)) {
        std::printf("%s: %s\n", name, why.c_str());
        return;
    }
    auto until = Clock::now() + std::chrono::seconds(5);
    while (!(host.ready() && guest.ready()) && Clock::now() < until) {
        host.service(1, ignored);
        guest.service(1, ignored);
    }
    if (!host.ready() || !guest.ready()) {
        std::printf("%s: no connection\n", name);
        return;
    }
    NetSession a(host, 0), b(guest, 1);
    Machine ma, mb;
    ma.player.rng.seed(5);
    mb.player.rng.seed(6);
    std::thread other([&] { play(b, mb, seconds); });
    play(a, ma, seconds);
    other.join();
    relay.stop();
    NetStats sa = a.stats(), sb = b.stats();
    double t = seconds;
    std::printf("%s, input delay %d, %.0f s:\n", name, delay, seconds);
    std::printf("  bytes a second, UDP payload as the relay saw it: Blue->Red %.0f, Red->Blue %.0f "
                "(with 28 bytes of IP and UDP headers a datagram: %.0f and %.0f; goal: under 4096)\n",
                double(relay.bytes_to_guest) / t, double(relay.bytes_to_host) / t,
                double(relay.bytes_to_guest + 28 * uint64_t(relay.datagrams_to_guest)) / t,
                double(relay.bytes_to_host + 28 * uint64_t(relay.datagrams_to_host)) / t);
    std::printf("  datagrams %ld and %ld, %ld dropped, %ld overtaken by a later one\n", relay.datagrams_to_guest.load(),
                relay.datagrams_to_host.load(), relay.dropped.load(), relay.reordered.load());
    std::printf("  frames waited for the other side after the first 2 s: Blue %ld (worst run %ld), Red %ld (worst run "
                "%ld); rollbacks %ld and %ld, longest %d and %d frames; round trip %d ms\n",
                ma.stall_ticks, ma.worst_stall, mb.stall_ticks, mb.worst_stall, sa.rollbacks, sb.rollbacks,
                sa.max_rollback, sb.max_rollback, host.round_trip_ms());
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 20;
    rollback_figures();
    int port = 45000 + int(getpid() % 2000) * 4;
    test_support::RelaySettings fixed;  // 150 ms round trip
    fixed.min_ms = fixed.max_ms = 75;
    fixed.jitter_ms = 0;
    network_figures("150 ms round trip, 5 % lost", fixed, 1, seconds, port);
    network_figures("the test relay: 50-100 ms each way, 20 ms jitter, 5 % lost", test_support::RelaySettings{}, 1,
                    seconds, port + 2);
    return 0;
}
