// The program's modes are frames of one loop. Ten online matches hosted in a row from
// the title's Play Online screen, each against a guest that joins on 127.0.0.1 and
// leaves again, and ten joined in a row against hosts that leave, leave the stack as
// deep as it was on the title: no mode runs a loop of
// its own. And every mode's frames go through the same pacing and the same drawing:
// each paced frame keeps the pacer's schedule, and a frame at rest is not drawn.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <deque>
#include <thread>

#include "app/online_screen.h"
#include "app/title_screens.h"
#include "net/net_link.h"
#include "platform/clock.h"
#include "platform/options.h"
#include "platform/pacer.h"
#include "platform/renderer.h"
#include "session/local_play.h"
#include "session/net/net_session.h"
#include "session/net/online_view.h"
#include "session/net/online_watch.h"
#include "session/net/rollback.h"
#include "sim/snapshot.h"
#include "session/advance.h"
#include "session/net/rules_fingerprint.h"
#include "session/replay_record.h"
#include "session/replay_view.h"
#include "session/runner.h"
#include "support.h"

namespace {

using Clock = std::chrono::steady_clock;

int test_port() { return 41000 + int(getpid() % 6000) * 3; }

// Where the stack stands each time a presented frame reaches the program's hooks.
class StackDepth : public FrameHook {
public:
    void presented(Program&) override {
        auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
        lowest = std::min(lowest, here);
        highest = std::max(highest, here);
        ++frames;
    }
    uintptr_t lowest = UINTPTR_MAX, highest = 0;
    long frames = 0;
};

// Keys as the window would give them, one a frame: down (with its text, for a
// character), then up the frame after.
class Keys {
public:
    void add(SDL_Keycode key) { queue_.push_back(key); }
    bool empty() const { return queue_.empty() && !down_; }
    void frame() {
        SDL_Event e{};
        if (down_) {
            e.type = SDL_KEYUP;
            e.key.keysym.sym = down_;
            down_ = 0;
        } else if (!queue_.empty()) {
            e.type = SDL_KEYDOWN;
            e.key.keysym.sym = down_ = queue_.front();
            queue_.pop_front();
        } else {
            return;
        }
        e.key.keysym.scancode = SDL_GetScancodeFromKey(e.key.keysym.sym);
        SDL_PushEvent(&e);
        if (e.type == SDL_KEYDOWN && ((e.key.keysym.sym >= SDLK_0 && e.key.keysym.sym <= SDLK_9) ||
                                      e.key.keysym.sym == SDLK_PERIOD || e.key.keysym.sym == SDLK_COLON)) {
            SDL_Event text{};
            text.type = SDL_TEXTINPUT;
            text.text.text[0] = char(e.key.keysym.sym);
            SDL_PushEvent(&text);
        }
    }

private:
    std::deque<SDL_Keycode> queue_;
    SDL_Keycode down_ = 0;
};

// The other machine on a thread of its own: a guest that joins the host, or a host that
// waits for the guest; plays `ticks` frames of the shared title with no input, and leaves.
void other_machine(bool hosting, int port, int ticks, std::atomic<bool>* played) {
    NetLink link(rules_fingerprint());
    std::string why;
    if (hosting ? !link.listen(port, WHIRLBAT_VERSION, 5, 1, &why) : !link.join("127.0.0.1", port, WHIRLBAT_VERSION, 1, &why))
        return;
    std::vector<Packet> ignored;
    auto give_up = Clock::now() + std::chrono::seconds(20);
    while (!link.ready() && link.state() != NetLink::State::closed && Clock::now() < give_up) link.service(5, ignored);
    if (!link.ready()) return;
    NetSession session(link, hosting ? 0 : 1);
    World w = new_world(link.seed());
    Game g = new_game_state(PAD_PORTS, false);
    FrameResult out;
    out.draw = false;
    for (int i = 0; i < ticks && session.ended() == NetSession::End::none; ++i) {
        session.tick(w, g, out, [] { return NetInput{}; }, nullptr);
        session.idle_until(Clock::now() + std::chrono::milliseconds(16));
    }
    *played = session.ended() == NetSession::End::none;
    session.leave();
}

// From the title to Play Online, down to the host's address, edit it (Return), what was
// there taken away and 127.0.0.1:PORT typed, done (Return), down to "Join that game", join.
void join_from_the_title(Keys& keys, int port) {
    for (int i = 0; i < 5; ++i) keys.add(SDLK_DOWN);
    keys.add(SDLK_RETURN);
    keys.add(SDLK_DOWN);
    keys.add(SDLK_RETURN);
    for (int i = 0; i < 20; ++i) keys.add(SDLK_BACKSPACE);
    for (char c : "127.0.0.1:" + std::to_string(port)) keys.add(c == '.' ? SDLK_PERIOD : c == ':' ? SDLK_COLON : SDLK_0 + (c - '0'));
    keys.add(SDLK_RETURN);
    keys.add(SDLK_DOWN);
    keys.add(SDLK_RETURN);
}

// From the title: down the five items to Play Online, open it, up to the port, edit it
// (Return), 7171 taken away and the port typed, done (Return), down to "Host a game",
// host.
void host_from_the_title(Keys& keys, int port) {
    for (int i = 0; i < 5; ++i) keys.add(SDLK_DOWN);
    keys.add(SDLK_RETURN);
    keys.add(SDLK_UP);
    keys.add(SDLK_RETURN);
    for (int i = 0; i < 4; ++i) keys.add(SDLK_BACKSPACE);
    for (char c : std::to_string(port)) keys.add(SDLK_0 + (c - '0'));
    keys.add(SDLK_RETURN);
    keys.add(SDLK_DOWN);
    keys.add(SDLK_RETURN);
}

// Ten matches in a row from the title's Play Online screen, hosted or joined, the other
// machine leaving each: every one played, and every frame as deep in the stack as the
// title's.
void ten_matches(bool join) {
    engine_options.headless = true;
    Program p;
    auto depth = std::make_shared<StackDepth>();
    p.hooks.push_back(depth);
    ASSERT_TRUE(start_program(p, 5));
    // On 127.0.0.1 only: no search of the local network, no meeting server, and so no
    // request to the router.
    NetOptions local;
    local.port_mapping = false;
    p.settings.lobby.clear();
    p.settings.port_mapping = false;
    p.settings.lan_search = false;
    auto online = online_from_title(local, false);
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>(
        std::vector<std::shared_ptr<FrameHook>>{std::make_shared<TitleScreens>(online)});
    while (p.game.game_state != GameState::title) ASSERT_TRUE(run_frame(p, mode));
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(run_frame(p, mode));
    const uintptr_t title_depth = depth->highest;
    ASSERT_EQ(depth->lowest, depth->highest);

    const int port = test_port() + (join ? 1 : 0);
    int matches = 0;
    Keys keys;
    // A bound against a side that never hears the other: ten matches take 15 to 20 s.
    auto deadline = Clock::now() + std::chrono::seconds(180);
    while (matches < 10 && Clock::now() < deadline) {
        std::atomic<bool> played{false};
        std::thread other;
        if (join) other = std::thread(other_machine, true, port, 90, &played);
        join ? join_from_the_title(keys, port) : host_from_the_title(keys, port);
        while (!keys.empty() && dynamic_cast<LocalPlay*>(mode.get())) {
            keys.frame();
            ASSERT_TRUE(run_frame(p, mode));
        }
        ASSERT_EQ(dynamic_cast<LocalPlay*>(mode.get()), nullptr) << "match " << matches << ": not online";
        if (!join) other = std::thread(other_machine, false, port, 90, &played);
        // Waiting, the match, and back to the title when the other side has left.
        while (!dynamic_cast<LocalPlay*>(mode.get()) && Clock::now() < deadline) ASSERT_TRUE(run_frame(p, mode));
        other.join();
        ASSERT_TRUE(played) << "match " << matches << " was not played";
        ++matches;
        // The notice shows; the Play Online screen has closed and the title takes keys.
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(run_frame(p, mode));
        ASSERT_EQ(p.game.game_state, GameState::title);
    }
    EXPECT_EQ(matches, 10);
    EXPECT_EQ(depth->lowest, title_depth) << "a frame ran deeper in the stack than the title's";
    EXPECT_EQ(depth->highest, title_depth) << "a frame ran higher in the stack than the title's";
}

TEST(Modes, TenMatchesHostedFromTheScreensLeaveTheStackAsDeepAsTheTitle) { ten_matches(false); }

TEST(Modes, TenMatchesJoinedFromTheScreensLeaveTheStackAsDeepAsTheTitle) { ten_matches(true); }

// The virtual clock after each of `frames` frames of the mode, and the quads each drew.
struct Frames {
    std::vector<int> clock;
    std::vector<int> quads;
};

Frames run_frames(Program& p, std::unique_ptr<Mode>& mode, int frames) {
    Frames f;
    for (int i = 0; i < frames; ++i) {
        RendererTakeStats();
        int flips = FlipCount();
        EXPECT_TRUE(run_frame(p, mode));
        EXPECT_EQ(FlipCount(), flips + 1) << "frame " << i << " was not presented once";
        f.clock.push_back(MilliSecs());
        f.quads.push_back(RendererTakeStats().quads);
    }
    return f;
}

// Paced by the same schedule: 16, 17, 17 ms of the virtual clock a frame, 50 ms in three.
void expect_paced(const Frames& f, const char* mode) {
    for (size_t i = 3; i < f.clock.size(); ++i)
        EXPECT_EQ(f.clock[i] - f.clock[i - 3], 50) << mode << ": frames " << i - 3 << " to " << i;
}

// At rest: once the picture settled, no frame draws anything.
void expect_at_rest(const Frames& f, const char* mode) {
    ASSERT_GT(f.quads.size(), 10u);
    for (size_t i = 10; i < f.quads.size(); ++i) EXPECT_EQ(f.quads[i], 0) << mode << ": frame " << i << " was drawn";
}

TEST(Modes, EveryModesFramesArePacedAlikeAndNotDrawnAtRest) {
    engine_options.headless = true;
    Program p;
    ASSERT_TRUE(start_program(p, 5));
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
    while (p.game.game_state != GameState::title) ASSERT_TRUE(run_frame(p, mode));
    Frames title = run_frames(p, mode, 40);
    expect_paced(title, "the title");
    expect_at_rest(title, "the title");

    // A replay of a short game, paused at once: the viewer's frames.
    std::string file = test_support::OutputPath("modes-replay.wbreplay");
    {
        Program recording;
        Replay r;
        r.header.world = new_world(3);
        r.header.game = new_game_state(PAD_PORTS, false);
        r.header.game_version = game_version();
        std::vector<FrameInput> inputs(300);
        std::vector<uint8_t> bytes = replay_bytes(r.header, inputs, ReplayEnd::program_end);
        FILE* out = std::fopen(file.c_str(), "wb");
        ASSERT_TRUE(out);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }
    ASSERT_TRUE(watch_replay_file(p, file));
    ASSERT_TRUE(run_frame(p, mode));  // the hand-over
    Frames playing = run_frames(p, mode, 20);
    expect_paced(playing, "the replay viewer");
    SDL_Event space{};
    space.type = SDL_KEYDOWN;
    space.key.keysym.sym = SDLK_SPACE;
    space.key.keysym.scancode = SDL_SCANCODE_SPACE;
    SDL_PushEvent(&space);
    Frames paused = run_frames(p, mode, 30);
    expect_paced(paused, "the paused replay");
    expect_at_rest(paused, "the paused replay");

    // Waiting for a guest that does not come: real time, the same schedule on the
    // virtual clock, and a waiting screen at rest.
    NetOptions host;
    host.host = true;
    host.port = test_port() + 1;
    SDL_Event escape{};
    escape.type = SDL_KEYDOWN;
    escape.key.keysym.sym = SDLK_ESCAPE;
    escape.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    SDL_PushEvent(&escape);
    ASSERT_TRUE(run_frame(p, mode));  // back to the title
    ASSERT_NE(dynamic_cast<LocalPlay*>(mode.get()), nullptr);
    auto outcome = std::make_shared<OnlineOutcome>();
    p.hand_over([&p, host, outcome](std::unique_ptr<Mode> current) {
        std::unique_ptr<LocalPlay> back(static_cast<LocalPlay*>(current.release()));
        return go_online(p, host, std::move(back), outcome);
    });
    ASSERT_TRUE(run_frame(p, mode));
    ASSERT_EQ(dynamic_cast<LocalPlay*>(mode.get()), nullptr);
    auto began = Clock::now();
    Frames waiting = run_frames(p, mode, 30);
    double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    expect_paced(waiting, "waiting for a guest");
    expect_at_rest(waiting, "waiting for a guest");
    // Thirty frames of real time are half a second; a wait that does not keep to the
    // real clock takes next to nothing. (Generous above: the machine may be busy.)
    EXPECT_GT(seconds, 0.4);
    SDL_PushEvent(&escape);
    run_frame(p, mode);
    EXPECT_TRUE(outcome->done);
    EXPECT_TRUE(outcome->gave_up);
}

void press(SDL_Keycode sym) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(sym);
    SDL_PushEvent(&e);
    e.type = SDL_KEYUP;
    SDL_PushEvent(&e);
}

// What the frames showed, as the overlays said when they drew (their draw keys).
bool shown(const Program& p, const std::string& words) { return p.drawn.hooks.find(words) != std::string::npos; }

// The host's waiting screen says what the guest does on their own screen, and names no
// path before a guest came; the shared title says who starts; Escape there asks, and
// leaving goes back to this machine's own title, not out of the program.
TEST(OnlineWords, TheScreensSayWhatToDoAndLeavingComesBackToTheTitle) {
    engine_options.headless = true;
    Program p;
    ASSERT_TRUE(start_program(p, 5));
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
    while (p.game.game_state != GameState::title) ASSERT_TRUE(run_frame(p, mode));
    NetOptions host;
    host.host = true;
    host.port = test_port() + 2;
    auto outcome = std::make_shared<OnlineOutcome>();
    p.hand_over([&p, host, outcome](std::unique_ptr<Mode> current) {
        std::unique_ptr<LocalPlay> back(static_cast<LocalPlay*>(current.release()));
        return go_online(p, host, std::move(back), outcome);
    });
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(run_frame(p, mode));
    EXPECT_TRUE(shown(p, "Waiting for a guest")) << p.drawn.hooks;
    std::string address = ":" + std::to_string(host.port) + " on their Play Online screen";
    EXPECT_TRUE(shown(p, "The guest types ")) << p.drawn.hooks;
    EXPECT_TRUE(shown(p, address)) << p.drawn.hooks;
    EXPECT_FALSE(shown(p, "path")) << "a path named before any guest came: " << p.drawn.hooks;

    std::atomic<bool> played{false};
    std::thread visitor(other_machine, false, host.port, 600, &played);
    auto deadline = Clock::now() + std::chrono::seconds(20);  // against a guest that never comes
    while (!shown(p, "Either player chooses Start Game") && Clock::now() < deadline) ASSERT_TRUE(run_frame(p, mode));
    EXPECT_TRUE(shown(p, "Either player chooses Start Game")) << p.drawn.hooks;
    EXPECT_TRUE(shown(p, "by the direct path")) << p.drawn.hooks;
    press(SDLK_ESCAPE);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(run_frame(p, mode));
    EXPECT_TRUE(shown(p, "Leave the online game?")) << p.drawn.hooks;
    EXPECT_EQ(dynamic_cast<LocalPlay*>(mode.get()), nullptr) << "Escape left without asking";
    press(SDLK_RETURN);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(run_frame(p, mode)) << "leaving ended the program";
    EXPECT_NE(dynamic_cast<LocalPlay*>(mode.get()), nullptr);
    EXPECT_EQ(p.game.game_state, GameState::title);
    EXPECT_TRUE(outcome->played);
    visitor.join();
    EXPECT_FALSE(played) << "the guest did not hear this side leave";
}

// Online play's lines on the title have a place of their own, between the logo and the
// menu: a notice changes no pixel outside it (not the menu's items, the row, the credit
// line or the panels).
TEST(OnlineWords, ANoticeOnTheTitleStaysInItsOwnPlace) {
    engine_options.headless = true;
    Program p;
    ASSERT_TRUE(start_program(p, 5));
    auto play = std::make_unique<LocalPlay>();
    LocalPlay* local = play.get();
    std::unique_ptr<Mode> mode = std::move(play);
    while (p.game.game_state != GameState::title) ASSERT_TRUE(run_frame(p, mode));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(run_frame(p, mode));
    Pixmap title = ReadPicture();
    local->add_hook(std::make_shared<Notice>("Red has left (no word for 20 seconds): the game goes on here"));
    ASSERT_TRUE(run_frame(p, mode));
    Pixmap noticed = ReadPicture();
    int inside = 0, outside = 0;
    for (int y = 0; y < title.height; ++y) {
        bool band = y >= int(ONLINE_NOTICE_TOP) && y < int(ONLINE_NOTICE_TOP + ONLINE_NOTICE_HEIGHT);
        for (int x = 0; x < title.width; ++x) {
            if (std::memcmp(title.at(x, y), noticed.at(x, y), 3) != 0) ++(band ? inside : outside);
        }
    }
    EXPECT_GT(inside, 1000) << "the notice did not show";
    EXPECT_EQ(outside, 0) << "the notice drew over the title outside its place";
}

}  // namespace

namespace {

// A match as a host would feed it: both players' inputs of every frame (Blue starts the
// game, then both fly on a beat), the state hash every 30 frames, and frames that come
// one a service as the match goes on after `ready` were there at once.
class MadeUpMatch : public WatchFeed {
public:
    MadeUpMatch(long ready, long total, bool wrong_hash = false) : total_(total), heard_(ready) {
        World w = new_world(kSeed);
        Game g = new_game_state(PAD_PORTS, false);
        FrameResult out;
        out.draw = false;
        for (long f = 1; f <= total; ++f) {
            NetInput in[2];
            for (int side = 0; side < 2; ++side) {
                for (int a = 0; a < 4; ++a) in[side].axis[a] = int8_t((f / (13 + 7 * a + 5 * side)) % 3 - 1);
                in[side].buttons = (f / 70) % 3 == 0 ? 1u : 0u;
            }
            if (g.game_state == GameState::title) in[0].command = NetCommand::start;
            advance(w, g, compose_input(g, in[0], in[1]), out);
            inputs_.emplace_back(in[0], in[1]);
            hashes_.push_back(state_hash(w, g));
        }
        if (wrong_hash) hashes_[size_t(ready + 59)] ^= 1;
    }
    void service(int) override { heard_ = std::min(total_, heard_ + 1); }
    bool started() const override { return true; }
    int seed() const override { return kSeed; }
    std::string pilots() const override { return "Blue: computer; Red: computer"; }
    long frames() const override { return heard_; }
    const std::pair<NetInput, NetInput>& frame(long i) const override { return inputs_[size_t(i)]; }
    std::optional<uint64_t> hash(long frame) const override {
        if (frame % 30 != 0 || frame > heard_) return std::nullopt;
        return hashes_[size_t(frame - 1)];
    }
    bool over() const override { return heard_ == total_; }
    std::string message() const override { return "the match is over"; }
    void leave() override { *left = true; }

    static constexpr int kSeed = 4321;
    std::vector<uint64_t> hashes_;
    std::shared_ptr<bool> left = std::make_shared<bool>(false);

private:
    long total_, heard_;
    std::vector<std::pair<NetInput, NetInput>> inputs_;
};

// Every frame of the game a mode counts, as its state hash.
class Hashes : public FrameListener {
public:
    void heard(Program&, const World& w, const Game& g, const FrameInput&) override { seen.push_back(state_hash(w, g)); }
    std::vector<uint64_t> seen;
};

TEST(Watching, ALateWatcherCatchesUpThenPlaysALongAndEveryFrameIsTheMatches) {
    engine_options.headless = true;
    Program p;
    auto hashes = std::make_shared<Hashes>();
    p.listeners.push_back(hashes);
    ASSERT_TRUE(start_program(p, 5));
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
    while (p.game.game_state != GameState::title) ASSERT_TRUE(run_frame(p, mode));
    auto match = std::make_unique<MadeUpMatch>(3000, 3200);
    // The feed goes with the watch: what the test looks at afterwards is kept here.
    const std::vector<uint64_t> expected = match->hashes_;
    std::shared_ptr<bool> left = match->left;
    auto outcome = std::make_shared<OnlineOutcome>();
    p.hand_over([&, outcome](std::unique_ptr<Mode> current) mutable {
        std::unique_ptr<LocalPlay> back(static_cast<LocalPlay*>(current.release()));
        return watch_match(std::move(match), std::move(back), outcome);
    });
    ASSERT_TRUE(run_frame(p, mode));
    hashes->seen.clear();  // the title's frames before the watch
    auto began = Clock::now();
    bool caught_up = false, live = false;
    auto deadline = began + std::chrono::seconds(60);  // against a watch that never ends
    while (!outcome->done && Clock::now() < deadline) {
        ASSERT_TRUE(run_frame(p, mode));
        if (!caught_up && hashes->seen.size() >= 2900) {
            caught_up = true;
            double s = std::chrono::duration<double>(Clock::now() - began).count();
            std::printf("caught up on %zu frames in %.2f s (%.0f frames a second)\n", hashes->seen.size(), s,
                        double(hashes->seen.size()) / s);
        }
        live = live || shown(p, "LIVE   1.0 s behind");
    }
    ASSERT_TRUE(outcome->done);
    EXPECT_TRUE(live) << "the watcher never played along a second behind";
    ASSERT_EQ(hashes->seen.size(), expected.size());
    EXPECT_EQ(hashes->seen, expected) << "a frame the watcher showed is not the match's";
    EXPECT_TRUE(*left);
    EXPECT_NE(dynamic_cast<LocalPlay*>(mode.get()), nullptr) << "the watcher did not come back to its title";
}

TEST(Watching, AHashThatDiffersFromTheHostsStopsTheWatch) {
    engine_options.headless = true;
    Program p;
    ASSERT_TRUE(start_program(p, 5));
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>();
    auto outcome = std::make_shared<OnlineOutcome>();
    testing::internal::CaptureStderr();
    p.hand_over([&, outcome](std::unique_ptr<Mode> current) mutable {
        std::unique_ptr<LocalPlay> back(static_cast<LocalPlay*>(current.release()));
        return watch_match(std::make_unique<MadeUpMatch>(300, 600, true), std::move(back), outcome);
    });
    ASSERT_TRUE(run_frame(p, mode));
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!outcome->done && Clock::now() < deadline) ASSERT_TRUE(run_frame(p, mode));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(outcome->done);
    EXPECT_NE(err.find("the watched game went apart from the match at frame 360: the watch stopped"), std::string::npos)
        << err;
}

}  // namespace
