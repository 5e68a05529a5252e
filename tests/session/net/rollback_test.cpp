// Rollback between two machines in one process: each side runs the whole game with its
// own input at once and the other's guessed, over a link that delays, drops and
// reorders the packets (as bytes, through the wire format). Every confirmed frame must
// give the same state on both sides and the same state as the game run straight with
// the final inputs, however often the guesses were wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <random>

#include "net/net_packets.h"
#include "session/net/rollback.h"
#include "session/net/sound_ledger.h"
#include "sim/snapshot.h"

namespace {

// Someone playing at random, as a person might: sticks held for a while, fire now and
// then, the game started from the title, paused and resumed, sometimes left.
class RandomPlayer {
public:
    explicit RandomPlayer(uint32_t seed) : rng_(seed) {}

    NetInput next(const Game& g) {
        NetInput in = held_;
        in.command = NetCommand::none;
        if (pick(12) == 0) {
            for (int8_t& a : held_.axis) a = int8_t(pick(3) - 1);
            held_.buttons = pick(4) == 0 ? uint16_t(1u << pick(8)) : 0;
            in = held_;
        }
        switch (g.game_state) {
            case GameState::title:
                if (pick(90) == 0) in.command = NetCommand::start;
                break;
            case GameState::play:
                if (pick(900) == 0) in.command = NetCommand::pause;
                break;
            case GameState::pause:
                if (pick(60) == 0) in.command = pick(8) == 0 ? NetCommand::to_title : NetCommand::resume;
                break;
            default:
                break;
        }
        return in;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    std::mt19937 rng_;
    NetInput held_;
};

struct Link {
    int min_delay, max_delay;  // ticks
    int loss_percent;
    std::mt19937 rng;
    std::deque<std::pair<long, std::vector<uint8_t>>> queue;  // (due tick, bytes), unordered

    void send(long now, std::vector<uint8_t> bytes) {
        if (std::uniform_int_distribution<int>(0, 99)(rng) < loss_percent) return;
        long due = now + std::uniform_int_distribution<int>(min_delay, max_delay)(rng);
        queue.emplace_back(due, std::move(bytes));
    }
    std::vector<std::vector<uint8_t>> arrived(long now) {
        std::vector<std::vector<uint8_t>> out;
        for (auto it = queue.begin(); it != queue.end();) {
            if (it->first <= now) {
                out.push_back(std::move(it->second));
                it = queue.erase(it);
            } else {
                ++it;
            }
        }
        return out;
    }
};

struct Side {
    Side(int side, int delay, uint32_t seed, const World& w0, const Game& g0)
        : rb(side, delay), player(seed), w(w0), g(g0) {}
    Rollback rb;
    RandomPlayer player;
    World w;
    Game g;
    FrameResult out;
    long acked = 0;  // the last of our inputs the other side has
    std::map<long, uint64_t> hashes;
    std::map<long, std::pair<NetInput, NetInput>> inputs;
    bool saw[6] = {};
    long stalls = 0;

    void tick(long now, Link& to_other) {
        if (rb.needs_local()) rb.add_local(player.next(g));
        Packet p;
        p.kind = Packet::Kind::inputs;
        p.frame = uint32_t(rb.frame());
        p.ack = uint32_t(rb.known(1 - rb.local_side()));
        p.first = uint32_t(acked + 1);
        p.inputs = rb.local_inputs(acked + 1);
        if (!p.inputs.empty()) to_other.send(now, encode_packet(p));
    }
    void receive(const std::vector<uint8_t>& bytes) {
        Packet p;
        ASSERT_TRUE(decode_packet(bytes.data(), bytes.size(), &p));
        acked = std::max(acked, long(p.ack));
        for (size_t i = 0; i < p.inputs.size(); ++i) rb.add_remote(long(p.first + i), p.inputs[i]);
    }
    void run() {
        rb.settle(w, g, out, nullptr, [this](long f, const World& sw, const Game& sg, const NetInput in[2]) {
            hashes[f] = state_hash(sw, sg);
            inputs[f] = {in[0], in[1]};
        });
        if (rb.can_advance()) {
            rb.advance(w, g, out);
            saw[int(g.game_state)] = true;
        } else {
            ++stalls;
        }
    }
};

// Two sides and the links between them, played tick by tick with no clock: a link's
// delays and losses come from its seeded generator, so the rollbacks and the stalls a
// match counts are the same on every machine, however busy.
struct Match {
    World w0;
    Game g0;
    Side a, b;
    Link ab, ba;

    Match(int seed, int delay, int min_delay, int max_delay, int loss)
        : w0(new_world(seed)), g0(new_game_state(2)), a(0, delay, uint32_t(seed) * 7 + 1, w0, g0),
          b(1, delay, uint32_t(seed) * 7 + 2, w0, g0), ab{min_delay, max_delay, loss, std::mt19937(uint32_t(seed)), {}},
          ba{min_delay, max_delay, loss, std::mt19937(uint32_t(seed) + 99), {}} {}

    void play(long ticks) {
        for (long t = 1; t <= ticks; ++t) {
            a.tick(t, ab);
            b.tick(t, ba);
            for (auto& bytes : ab.arrived(t)) b.receive(bytes);
            for (auto& bytes : ba.arrived(t)) a.receive(bytes);
            a.run();
            b.run();
        }
    }

    // The game run straight, with no guess ever, from the inputs both sides settled on.
    std::map<long, uint64_t> straight() const {
        World w = w0;
        Game g = g0;
        FrameResult out;
        out.draw = false;
        std::map<long, uint64_t> h;
        for (const auto& [f, in] : a.inputs) {
            step(w, g, compose_input(g, in.first, in.second), out);
            h[f] = state_hash(w, g);
        }
        return h;
    }
};

void expect_same_game(Match& m) {
    ASSERT_GT(m.a.hashes.size(), 1000u);
    long common = std::min(m.a.rb.confirmed(), m.b.rb.confirmed());
    for (long f = 1; f <= common; ++f) {
        ASSERT_EQ(m.a.hashes.at(f), m.b.hashes.at(f)) << "frame " << f;
        ASSERT_EQ(m.a.inputs.at(f), m.b.inputs.at(f)) << "frame " << f;
    }
    std::map<long, uint64_t> straight = m.straight();
    for (const auto& [f, h] : m.a.hashes) ASSERT_EQ(straight.at(f), h) << "frame " << f;
}

TEST(Rollback, LongRandomGamesOverABadLinkStayTheSameGameOnBothSides) {
    for (int seed : {1, 2, 3}) {
        SCOPED_TRACE(seed);
        // 3 to 6 frames each way (100 to 200 ms round trip), 5 % lost, reordered.
        Match m(seed, 1, 3, 6, 5);
        m.play(20000);
        expect_same_game(m);
        EXPECT_GT(m.a.rb.rollbacks, 100);
        EXPECT_GT(m.b.rb.rollbacks, 100);
        EXPECT_LE(m.a.rb.max_rollback, ROLLBACK_WINDOW);
        // The game went everywhere a game goes.
        for (GameState s : {GameState::title, GameState::play, GameState::pause, GameState::over})
            EXPECT_TRUE(m.a.saw[int(s)]) << int(s);
        // Within the window the game never waited once it had heard the other side.
        EXPECT_LT(m.a.stalls, 40);
    }
}

TEST(Rollback, EveryDelayGivesTheSameGameOnBothSides) {
    for (int delay = 0; delay <= NET_MAX_DELAY; ++delay) {
        SCOPED_TRACE(delay);
        Match m(10 + delay, delay, 1, 4, 10);
        m.play(4000);
        expect_same_game(m);
    }
}

TEST(Rollback, ALinkSlowerThanTheWindowWaitsInsteadOfGuessingFurther) {
    // 12 to 16 frames each way: far beyond 8 frames of guessing.
    Match m(4, 1, 12, 16, 0);
    m.play(3000);
    expect_same_game(m);
    EXPECT_GT(m.a.stalls, 500);
    EXPECT_LE(m.a.rb.max_rollback, ROLLBACK_WINDOW);
    EXPECT_LE(m.a.rb.frame() - m.a.rb.known(1), ROLLBACK_WINDOW);
}

TEST(Rollback, AGuessThatHeldNeedsNoRerun) {
    // A perfect link: every input arrives before its frame runs.
    Match m(5, 2, 1, 1, 0);
    m.play(3000);
    expect_same_game(m);
    EXPECT_EQ(m.a.rb.rollbacks, 0);
    EXPECT_EQ(m.b.rb.rollbacks, 0);
}

TEST(Rollback, TheOtherSidesInputIsGuessedAsLastHeardWithoutItsCommand) {
    World w = new_world(3);
    Game g = new_game_state(2);
    Rollback rb(0, 0);
    NetInput held;
    held.axis[1] = -1;
    held.buttons = 1;
    held.command = NetCommand::start;
    ASSERT_TRUE(rb.add_remote(1, held));
    EXPECT_FALSE(rb.add_remote(1, NetInput{}));  // known already
    EXPECT_FALSE(rb.add_remote(100000, held));   // too far ahead to keep
    rb.add_local(NetInput{});
    FrameResult out;
    rb.advance(w, g, out);
    rb.add_local(NetInput{});
    rb.advance(w, g, out);
    // Frame 2 ran on the guess: the stick and button held, the command not again.
    NetInput guessed = held;
    guessed.command = NetCommand::none;
    int reruns = 0;
    ASSERT_TRUE(rb.add_remote(2, guessed));
    rb.settle(w, g, out, [&](long, const FrameEvents&) { ++reruns; }, nullptr);
    EXPECT_EQ(reruns, 0);
    rb.add_local(NetInput{});
    rb.advance(w, g, out);
    ASSERT_TRUE(rb.add_remote(3, NetInput{}));
    rb.settle(w, g, out, [&](long, const FrameEvents&) { ++reruns; }, nullptr);
    EXPECT_EQ(reruns, 1);
    EXPECT_EQ(rb.confirmed(), 3);
}

// The rules as they are, with a round-end wait wherever Red holds fire: the re-run of
// such a frame makes the sound ledger wait, and the program takes in packets then.
void step_waiting_on_red_fire(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    advance(w, g, in, out);
    if (in.port[1].buttons & 1u) out.events.add(FrameEvent::Kind::wait, 1);
}

// A sound output whose waits take in the other side's input, as the online loop does
// while the game waits.
class ArrivingDuringWait : public SoundOutput {
public:
    std::function<void()> on_wait;
    long start_sfx(Sfx) override { return ++handles; }
    void stop_sfx(long) override {}
    void start_music(int) override {}
    void stop_music() override {}
    void wait(int) override {
        ++waits;
        if (on_wait) on_wait();
    }
    long handles = 0, waits = 0;
};

TEST(Rollback, AnInputThatArrivesDuringAReRunConfirmsNoFrameRunOnTheOldGuess) {
    const World w0 = new_world(7);
    const Game g0 = new_game_state(2);
    World w = w0;
    Game g = g0;
    Rollback rb(0, 0, ROLLBACK_WINDOW, step_waiting_on_red_fire);
    ArrivingDuringWait sound;
    SoundLedger ledger(sound);
    std::map<long, uint64_t> confirmed_hash;
    std::map<long, std::pair<NetInput, NetInput>> confirmed_in;
    auto confirm = [&](long f, const World& cw, const Game& cg, const NetInput in[2]) {
        confirmed_hash[f] = state_hash(cw, cg);
        confirmed_in[f] = {in[0], in[1]};
    };
    auto rerun = [&](long f, const FrameEvents& ev) { ledger.frame_events(f, ev); };
    FrameResult out;

    // Into a game, every input known before its frame runs.
    NetInput rest, start;
    start.command = NetCommand::start;
    long f = 0;
    while (f < 400) {
        ++f;
        ASSERT_TRUE(rb.add_local(f == 5 ? start : rest));
        ASSERT_TRUE(rb.add_remote(f, rest));
        rb.settle(w, g, out, rerun, confirm);
        ASSERT_TRUE(rb.can_advance());
        rb.advance(w, g, out);
        ledger.frame_events(f, out.events);
    }
    ASSERT_EQ(g.game_state, GameState::play);
    rb.settle(w, g, out, rerun, confirm);
    ASSERT_EQ(rb.confirmed(), f);

    // Four frames on, Red guessed at rest.
    const long base = f;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(rb.add_local(rest));
        rb.advance(w, g, out);
        ledger.frame_events(rb.frame(), out.events);
    }
    // Red in fact held fire and every stick from base + 1: the re-run from there waits at
    // each frame, and during the second wait (base + 2 re-run on the guess "fire held")
    // Red's next input arrives: at rest.
    NetInput held;
    for (int8_t& a : held.axis) a = 1;
    held.buttons = 1;
    sound.on_wait = [&] {
        if (sound.waits == 2) {
            EXPECT_TRUE(rb.add_remote(base + 2, rest));
        }
    };
    ASSERT_TRUE(rb.add_remote(base + 1, held));
    rb.settle(w, g, out, rerun, confirm);
    ASSERT_GE(sound.waits, 2);
    sound.on_wait = nullptr;
    rb.settle(w, g, out, rerun, confirm);
    EXPECT_EQ(rb.confirmed(), base + 2);

    // The game run straight with the inputs as confirmed.
    World sw = w0;
    Game sg = g0;
    FrameResult quiet;
    for (long c = 1; c <= rb.confirmed(); ++c) {
        const auto& in = confirmed_in.at(c);
        uint64_t on_old_guess = 0;
        if (c == base + 2) {
            World ow = sw;
            Game og = sg;
            advance(ow, og, compose_input(og, in.first, held), quiet);
            on_old_guess = state_hash(ow, og);
        }
        quiet.events.clear();
        advance(sw, sg, compose_input(sg, in.first, in.second), quiet);
        // The test means something only if the old guess made another game.
        if (c == base + 2) {
            ASSERT_NE(on_old_guess, state_hash(sw, sg));
        }
        ASSERT_EQ(confirmed_hash.at(c), state_hash(sw, sg)) << "frame " << c << " (base " << base << ")";
    }
    EXPECT_EQ(confirmed_in.at(base + 2).second, rest);
}

TEST(Rollback, CommandsBecomeWhatTheRulesReadOnTheRightScreen) {
    Game g = new_game_state(2);
    NetInput none, start, pause, resume, leave, fire;
    start.command = NetCommand::start;
    pause.command = NetCommand::pause;
    resume.command = NetCommand::resume;
    leave.command = NetCommand::to_title;
    fire.buttons = 1 | 2;  // fire, and button 1 that only pauses as a command

    g.game_state = GameState::title;
    FrameInput in = compose_input(g, none, start);
    EXPECT_EQ(in.clicks, 1);
    EXPECT_EQ(menu_item_at(in.mouse_y), 0);
    in = compose_input(g, fire, pause);
    EXPECT_EQ(in.clicks + in.esc + in.space, 0);
    EXPECT_EQ(in.port[0].buttons, 0u);  // pads do not drive the shared menu
    EXPECT_EQ(menu_item_at(in.mouse_y), -1);

    g.game_state = GameState::play;
    in = compose_input(g, fire, pause);
    EXPECT_EQ(in.space, 1);
    EXPECT_EQ(in.port[0].buttons, 1u);
    in = compose_input(g, start, resume);
    EXPECT_EQ(in.clicks + in.esc + in.space, 0);

    g.game_state = GameState::pause;
    EXPECT_EQ(compose_input(g, resume, none).space, 1);
    in = compose_input(g, resume, leave);
    EXPECT_EQ(in.esc, 1);
    EXPECT_EQ(in.space, 0);

    g.game_state = GameState::over;
    EXPECT_EQ(compose_input(g, none, fire).port[0].buttons, 1u);
    EXPECT_EQ(compose_input(g, none, fire).port[1].buttons, 1u);
}

}  // namespace
