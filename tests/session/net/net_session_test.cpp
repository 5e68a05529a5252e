// Two online sessions in one process over ENet on 127.0.0.1: the handshake (same
// version only, one guest only), a game played through both sessions with the same
// state on both sides, the state hashes catching two games that went apart, and a
// goodbye or silence ending the session.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <thread>

#include "session/net/net_session.h"
#include "session/net/netplay.h"
#include "session/net/rules_fingerprint.h"
#include "session/replay.h"
#include "session/replay_check.h"
#include "net_relay.h"
#include "support.h"
#include "sim/snapshot.h"

namespace {

// Both sides of a test play by this build's rules.
const uint64_t kRules = rules_fingerprint();

int test_port(int n) { return 30000 + int(getpid() % 10000) * 3 + n; }

void service_until(std::initializer_list<NetLink*> links, const std::function<bool()>& done, int ms = 3000) {
    std::vector<Packet> ignored;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < until) {
        for (NetLink* l : links) l->service(1, ignored);
    }
}

void connect(NetLink& host, NetLink& guest, int port, int host_delay = 1, int guest_delay = 1) {
    std::string why;
    ASSERT_TRUE(host.listen(port, "1.3", 4242, host_delay, &why)) << why;
    ASSERT_TRUE(guest.join("127.0.0.1", port, "1.3", guest_delay, &why)) << why;
    service_until({&host, &guest}, [&] { return host.ready() && guest.ready(); });
    ASSERT_TRUE(host.ready());
    ASSERT_TRUE(guest.ready());
}

TEST(NetLink, TheGuestTakesTheHostsSeedAndTheLargerDelay) {
    NetLink host{kRules}, guest{kRules};
    connect(host, guest, test_port(0), 1, 3);
    EXPECT_EQ(guest.seed(), 4242);
    EXPECT_EQ(guest.delay(), 3);
    EXPECT_EQ(host.delay(), 3);
}

TEST(NetLink, AnotherVersionIsOneClearLineOnBothSides) {
    NetLink host{kRules}, old_guest{kRules};
    std::string why;
    ASSERT_TRUE(host.listen(test_port(1), "1.3", 1, 1, &why));
    ASSERT_TRUE(old_guest.join("127.0.0.1", test_port(1), "1.2", 1, &why));
    service_until({&host, &old_guest}, [&] { return old_guest.state() == NetLink::State::closed; });
    EXPECT_EQ(old_guest.message(), "the host runs version 1.3, this is version 1.2: both need the same version");
    std::vector<std::string> notes = host.take_notes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "a guest with version 1.2 tried to join; this is version 1.3: both need the same version");
    // The host goes on waiting, and a guest of its version gets in.
    NetLink guest{kRules};
    ASSERT_TRUE(guest.join("127.0.0.1", test_port(1), "1.3", 1, &why));
    service_until({&host, &guest}, [&] { return host.ready() && guest.ready(); });
    EXPECT_TRUE(host.ready());
}

TEST(NetLink, OtherRulesAreRefusedWithOneLineNamingBothBuildsOnBothSides) {
    NetLink host{0x1111111122222222ull}, other{0x3333333344444444ull};
    std::string why;
    ASSERT_TRUE(host.listen(test_port(1), "1.3", 1, 1, &why));
    ASSERT_TRUE(other.join("127.0.0.1", test_port(1), "1.3", 1, &why));
    service_until({&host, &other}, [&] { return other.state() == NetLink::State::closed; });
    EXPECT_FALSE(host.ready());
    EXPECT_EQ(other.message(),
              "the host runs version 1.3 (rules 11111111), this is version 1.3 (rules 33333333): both need the same rules");
    std::vector<std::string> notes = host.take_notes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0],
              "a guest with version 1.3 (rules 33333333) tried to join; this is version 1.3 (rules 11111111): "
              "both need the same rules");
    // The same rules get in.
    NetLink same{0x1111111122222222ull};
    ASSERT_TRUE(same.join("127.0.0.1", test_port(1), "1.3", 1, &why));
    service_until({&host, &same}, [&] { return host.ready() && same.ready(); });
    EXPECT_TRUE(same.ready());
}

TEST(NetLink, ThisBuildsRulesHaveOneFingerprintComputedQuickly) {
    auto start = std::chrono::steady_clock::now();
    uint64_t first = compute_rules_fingerprint();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("rules fingerprint %016llx in %.1f ms\n", (unsigned long long)first, ms);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(rules_fingerprint(), first);
    EXPECT_EQ(compute_rules_fingerprint(), first);
    // A few milliseconds, some tens under the sanitizer on a busy machine (bench_netplay
    // prints it); a second would be a start-up a player waits for.
    EXPECT_LT(ms, 1000.0);
    EXPECT_EQ(fingerprint_text(0x0123456789abcdefull), "01234567");
    // Unless told otherwise, a link compares this build's.
    NetLink host{kRules}, guest{kRules};
    connect(host, guest, test_port(0));
    EXPECT_EQ(host.rules(), first);
    EXPECT_EQ(guest.rules(), first);
}

TEST(NetLink, WithoutAGivenDelayTheRoundTripChoosesIt) {
    EXPECT_EQ(delay_for_round_trip(0), 1);
    EXPECT_EQ(delay_for_round_trip(39), 1);
    EXPECT_EQ(delay_for_round_trip(40), 2);
    EXPECT_EQ(delay_for_round_trip(99), 2);
    EXPECT_EQ(delay_for_round_trip(100), 3);
    EXPECT_EQ(delay_for_round_trip(159), 3);
    EXPECT_EQ(delay_for_round_trip(160), 4);
    EXPECT_EQ(delay_for_round_trip(5000), 4);
    {
        // Loopback: no round trip to speak of.
        NetLink host{kRules}, guest{kRules};
        connect(host, guest, test_port(0), -1, -1);
        EXPECT_EQ(host.delay(), 1);
        EXPECT_EQ(guest.delay(), 1);
        EXPECT_TRUE(host.delay_chosen());
        // The delay table's first step: a round trip under 40 ms is one frame of delay.
        EXPECT_GE(host.handshake_round_trip_ms(), 0);
        EXPECT_LT(host.handshake_round_trip_ms(), 40);
    }
    // Through a relay that holds every datagram 35 ms each way: 70 ms.
    struct Case {
        int host_delay, guest_delay, agreed;
    };
    for (Case c : {Case{-1, -1, 2}, Case{-1, 0, 2}, Case{0, -1, 2}, Case{4, -1, 4}, Case{0, 0, 0}}) {
        SCOPED_TRACE(std::to_string(c.host_delay) + " " + std::to_string(c.guest_delay));
        test_support::NetRelay relay;
        test_support::RelaySettings slow;
        slow.min_ms = slow.max_ms = 35;
        slow.jitter_ms = 0;
        slow.loss_percent = 0;
        slow.max_seconds = 10;
        ASSERT_TRUE(relay.start(test_port(1), test_port(2), slow));
        NetLink host{kRules}, guest{kRules};
        std::string why;
        ASSERT_TRUE(host.listen(test_port(2), "1.3", 1, c.host_delay, &why)) << why;
        ASSERT_TRUE(guest.join("127.0.0.1", test_port(1), "1.3", c.guest_delay, &why)) << why;
        service_until({&host, &guest}, [&] { return host.ready() && guest.ready(); });
        ASSERT_TRUE(host.ready() && guest.ready());
        EXPECT_EQ(host.delay(), c.agreed);
        EXPECT_EQ(guest.delay(), c.agreed);
        if (c.host_delay < 0) {
            // No shorter than the relay holds it; under 100 ms, the next step of the table,
            // which leaves a busy machine 30 ms (bench_netplay prints the round trips).
            EXPECT_GE(host.handshake_round_trip_ms(), 70);
            EXPECT_LT(host.handshake_round_trip_ms(), 100);
        }
        relay.stop();
    }
}

TEST(NetLink, OnlyTheGuestThatCompletedTheHandshakeIsAccepted) {
    NetLink host{kRules}, guest{kRules}, intruder{kRules};
    connect(host, guest, test_port(2));
    std::string why;
    ASSERT_TRUE(intruder.join("127.0.0.1", test_port(2), "1.3", 1, &why));
    service_until({&host, &guest, &intruder}, [&] { return intruder.state() == NetLink::State::closed; });
    EXPECT_EQ(intruder.message(), "the host already has a guest");
    EXPECT_TRUE(host.ready());
}

// Someone playing at random: sticks, fire, and the game started, paused and resumed.
NetInput random_input(std::mt19937& rng, const Game& g) {
    std::uniform_int_distribution<int> axis(-1, 1), coin(0, 99);
    NetInput in;
    for (int8_t& a : in.axis) a = int8_t(axis(rng));
    in.buttons = coin(rng) < 10 ? 1 : 0;
    if (g.game_state == GameState::title && coin(rng) == 0) in.command = NetCommand::start;
    if (g.game_state == GameState::play && coin(rng) == 0 && coin(rng) < 20) in.command = NetCommand::pause;
    if (g.game_state == GameState::pause && coin(rng) < 3) in.command = NetCommand::resume;
    return in;
}

struct Player {
    World w = new_world(4242);
    Game g = new_game_state(2);
    FrameResult shown;
    std::mt19937 rng;
    FILE* log = std::tmpfile();
    explicit Player(uint32_t seed) : rng(seed) {}
    ~Player() { std::fclose(log); }

    std::map<long, std::string> hashes() {
        std::fflush(log);
        std::rewind(log);
        std::map<long, std::string> out;
        long f;
        char h[17];
        while (std::fscanf(log, "confirmed %ld %16s\n", &f, h) == 2) out[f] = h;
        return out;
    }
};

void play(NetSession& a, Player& pa, NetSession& b, Player& pb, int ticks) {
    for (int t = 0; t < ticks && a.ended() == NetSession::End::none && b.ended() == NetSession::End::none; ++t) {
        a.tick(pa.w, pa.g, pa.shown, [&] { return random_input(pa.rng, pa.g); }, nullptr);
        b.tick(pb.w, pb.g, pb.shown, [&] { return random_input(pb.rng, pb.g); }, nullptr);
        if (t % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TEST(NetSession, BothMachinesConfirmTheSameGame) {
    NetLink host{kRules}, guest{kRules};
    connect(host, guest, test_port(3));
    NetSession a(host, 0), b(guest, 1);
    Player pa(1), pb(2);
    a.log_hashes(pa.log);
    b.log_hashes(pb.log);
    play(a, pa, b, pb, 3000);
    ASSERT_EQ(a.ended(), NetSession::End::none) << a.message();
    std::map<long, std::string> ha = pa.hashes(), hb = pb.hashes();
    ASSERT_GT(ha.size(), 2000u);
    size_t compared = 0;
    for (const auto& [f, h] : ha) {
        if (!hb.count(f)) continue;
        ASSERT_EQ(hb[f], h) << "frame " << f;
        ++compared;
    }
    EXPECT_GT(compared, 2000u);
    NetStats s = a.stats();
    EXPECT_EQ(s.malformed, 0);
    EXPECT_GT(s.bytes_sent, 0u);
    // The local player's input showed after exactly the input delay whenever its frame
    // did not wait for the other side (how long it did is a figure of the machine's load,
    // which bench_netplay prints).
    EXPECT_EQ(s.min_response, 1);
}

// A step that goes its own way on one machine after a while.
long wrong_after = 0;
void step_that_drifts(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    if (++wrong_after > 400) w.player[1].score += 1;
}

TEST(NetSession, StateHashesCatchGamesThatWentApartAndStopTheSession) {
    NetLink host{kRules}, guest{kRules};
    connect(host, guest, test_port(4));
    wrong_after = 0;
    NetSession a(host, 0), b(guest, 1, step_that_drifts);
    Player pa(3), pb(4);
    a.log_hashes(pa.log);
    b.log_hashes(pb.log);
    play(a, pa, b, pb, 2000);
    // Both sides confirm what they have before they stop.
    for (int i = 0; i < 200 && (a.ended() == NetSession::End::none || b.ended() == NetSession::End::none); ++i) {
        a.tick(pa.w, pa.g, pa.shown, [] { return NetInput{}; }, nullptr);
        b.tick(pb.w, pb.g, pb.shown, [] { return NetInput{}; }, nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // One side finds the hashes differ and says so; the other hears it (or finds it too).
    service_until({&host, &guest}, [&] {
        return host.state() == NetLink::State::closed && guest.state() == NetLink::State::closed;
    });
    a.tick(pa.w, pa.g, pa.shown, [] { return NetInput{}; }, nullptr);
    b.tick(pb.w, pb.g, pb.shown, [] { return NetInput{}; }, nullptr);
    EXPECT_EQ(a.ended(), NetSession::End::desync);
    EXPECT_EQ(b.ended(), NetSession::End::desync);
    std::string said = a.message() + " / " + b.message();
    EXPECT_NE(said.find("went apart at frame"), std::string::npos) << said;
    EXPECT_NE(said.find("online play stopped"), std::string::npos) << said;
    // Both name the first frame whose state differs, not only the block it lies in.
    std::map<long, std::string> ha = pa.hashes(), hb = pb.hashes();
    long first = 0;
    for (const auto& [f, h] : ha) {
        if (hb.count(f) && hb[f] != h) {
            first = f;
            break;
        }
    }
    ASSERT_GT(first, 0);
    std::string expected = "the two games went apart at frame " + std::to_string(first) + ": online play stopped";
    EXPECT_EQ(a.message(), expected);
    EXPECT_EQ(b.message(), expected);
    EXPECT_EQ(a.first_split(), first);
    EXPECT_EQ(b.first_split(), first);
    EXPECT_NE(first % NET_HASH_EVERY, 0) << "choose a drift that starts inside a block";
    // Each side keeps its game as a replay of every frame it confirmed. Both sides
    // confirmed the same inputs, so played on one machine both replays make one game:
    // the machine that went apart is the one whose own hashes differ from it.
    std::string why;
    std::string honest = test_support::OutputPath("desync-honest.wbreplay");
    std::string drifting = test_support::OutputPath("desync-drifting.wbreplay");
    ASSERT_TRUE(write_session_replay(honest, 4242, a, &why)) << why;
    ASSERT_TRUE(write_session_replay(drifting, 4242, b, &why)) << why;
    Replay replay;
    ASSERT_TRUE(load_replay(honest, replay, &why)) << why;
    // The replay says when it was played and where the games went apart.
    EXPECT_EQ(replay.header.date.size(), 20u) << replay.header.date;
    EXPECT_EQ(replay.header.date.substr(0, 2), "20");
    EXPECT_EQ(replay.header.date.back(), 'Z');
    EXPECT_NE(replay.header.pilots.find("went apart at frame " + std::to_string(first)), std::string::npos)
        << replay.header.pilots;
    EXPECT_EQ(replay.frames, long(a.history().size()));
    EXPECT_GE(replay.frames, 400);
    ReplayCheck check = check_replay(replay);
    EXPECT_TRUE(check.ok) << check.problem;
    Replay other;
    ASSERT_TRUE(load_replay(drifting, other, &why)) << why;
    ReplayCheck other_check = check_replay(other);
    EXPECT_TRUE(other_check.ok) << other_check.problem;
    long both = std::min(replay.frames, other.frames);
    ASSERT_GT(both, 400);
    for (long i = 0; i < both / REPLAY_HASH_EVERY; ++i) ASSERT_EQ(replay.hashes[size_t(i)], other.hashes[size_t(i)]) << i;
}

// Rules in which Red holding button 9 for two frames running ends the game (the first
// frame marks Red's score).
void step_over_when_red_holds(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    if (!(in.port[1].buttons & 0x100u)) return;
    w.player[1].score += 100;
    if (w.player[1].score >= 200) g.game_state = GameState::over;
}

TEST(NetSession, AGameOverOnlyAGuessBroughtIsNotShown) {
    NetLink host{kRules}, guest{kRules};
    connect(host, guest, test_port(5), 0, 0);
    NetSession a(host, 0, step_over_when_red_holds), b(guest, 1, step_over_when_red_holds);
    Player pa(11), pb(12);
    NetInput rest, tap;
    tap.buttons = 0x100;
    auto both = [&](int ticks, NetInput red) {
        for (int t = 0; t < ticks; ++t) {
            a.tick(pa.w, pa.g, pa.shown, [&] { return rest; }, nullptr);
            b.tick(pb.w, pb.g, pb.shown, [&] { return red; }, nullptr);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    };
    auto heard = [&](long frame) {
        for (int i = 0; i < 500 && a.rollback().known(1) < frame; ++i) a.idle_until(std::chrono::steady_clock::now() +
                                                                                    std::chrono::milliseconds(2));
        return a.rollback().known(1) >= frame;
    };
    // Into a game.
    NetInput start;
    start.command = NetCommand::start;
    for (int t = 0; t < 5; ++t) {
        a.tick(pa.w, pa.g, pa.shown, [&] { return t == 4 ? start : rest; }, nullptr);
        b.tick(pb.w, pb.g, pb.shown, [&] { return rest; }, nullptr);
    }
    both(100, rest);
    ASSERT_EQ(a.ended(), NetSession::End::none);
    ASSERT_EQ(pa.g.game_state, GameState::play);
    // Red taps button 9 for one frame; Blue runs that frame knowing it.
    b.tick(pb.w, pb.g, pb.shown, [&] { return tap; }, nullptr);
    long tapped = b.rollback().known(1);
    ASSERT_TRUE(heard(tapped));
    while (a.rollback().frame() < tapped) a.tick(pa.w, pa.g, pa.shown, [&] { return rest; }, nullptr);
    EXPECT_NE(pa.g.game_state, GameState::over);
    // Blue runs on, guessing Red still holds it: game over here, on a guess alone.
    a.tick(pa.w, pa.g, pa.shown, [&] { return rest; }, nullptr);
    ASSERT_EQ(a.rollback().frame(), tapped + 1);
    ASSERT_EQ(pa.g.game_state, GameState::over);
    EXPECT_NE(a.confirmed_state(), GameState::over);
    EXPECT_FALSE(a.showable(pa.g));
    // Red let go: the guess is put right, and nothing was over.
    b.tick(pb.w, pb.g, pb.shown, [&] { return rest; }, nullptr);
    ASSERT_TRUE(heard(tapped + 1));
    a.tick(pa.w, pa.g, pa.shown, [&] { return rest; }, nullptr);
    EXPECT_NE(pa.g.game_state, GameState::over);
    EXPECT_TRUE(a.showable(pa.g));
    // A game over both sides confirm is shown (Red holds the button on).
    both(30, tap);
    EXPECT_EQ(a.confirmed_state(), GameState::over);
    EXPECT_EQ(pa.g.game_state, GameState::over);
    EXPECT_TRUE(a.showable(pa.g));
}

TEST(NetSession, PacketsNoHonestPeerSendsAreDroppedAndCounted) {
    NetLink host{kRules}, guest{kRules};
    connect(host, guest, test_port(6));
    NetSession a(host, 0), b(guest, 1);
    Player pa(7), pb(8);
    play(a, pa, b, pb, 60);
    Packet ahead;  // inputs from far past the first the host lacks
    ahead.kind = Packet::Kind::inputs;
    ahead.first = 5000;
    ahead.inputs.assign(3, NetInput{});
    Packet acks_unsent = ahead;  // acknowledges inputs the host never sent
    acks_unsent.first = 1;
    acks_unsent.ack = 100000;
    Packet odd_hash;  // a hash of a frame no hash is taken after
    odd_hash.kind = Packet::Kind::hash;
    odd_hash.frame = 31;
    for (const Packet* p : {&ahead, &acks_unsent, &odd_hash}) guest.send(*p, true);
    guest.flush();
    long known = a.rollback().known(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    play(a, pa, b, pb, 200);
    EXPECT_EQ(a.stats().malformed, 3);
    EXPECT_EQ(a.ended(), NetSession::End::none);
    EXPECT_GT(a.rollback().known(1), known);  // the real inputs still come in
}

TEST(NetSession, AGoodbyeEndsTheSessionWithOneLine) {
    NetLink host{kRules}, guest{kRules};
    connect(host, guest, test_port(5));
    NetSession a(host, 0), b(guest, 1);
    Player pa(5), pb(6);
    play(a, pa, b, pb, 100);
    b.leave();
    service_until({&host}, [&] { return host.state() == NetLink::State::closed; });
    a.tick(pa.w, pa.g, pa.shown, [] { return NetInput{}; }, nullptr);
    EXPECT_EQ(a.ended(), NetSession::End::left);
    EXPECT_EQ(a.message(), "Red has left");
}

}  // namespace
