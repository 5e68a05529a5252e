// The canonical byte form read back: every state the game reaches comes back the same,
// and values the game could never have are refused with a reason, never run.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "sim/snapshot.h"
#include "game_fixture.h"
#include "sim/canonical.h"

namespace {

using Canonical = GameTest;

std::vector<uint8_t> bytes_of(const World& w, const Game& g) {
    std::vector<uint8_t> out;
    write_canonical(out, w);
    write_canonical(out, g);
    return out;
}

// Reads both values back; "" if they read, else the reader's reason.
std::string read_back(const std::vector<uint8_t>& bytes, World& w, Game& g) {
    CanonicalReader in(bytes.data(), bytes.size());
    if (!read_canonical(in, w) || !read_canonical(in, g)) return in.problem;
    if (in.left() != 0) return "bytes left over";
    return "";
}

std::string problem_with(const World& w, const Game& g) {
    World w2;
    Game g2;
    return read_back(bytes_of(w, g), w2, g2);
}

FrameInput busy_input(std::mt19937& rng) {
    FrameInput in;
    std::uniform_int_distribution<int> axis(-1, 1), coin(0, 30);
    for (PortInput& port : in.port) {
        for (float& a : port.axis) a = float(axis(rng));
        port.buttons = coin(rng) < 3 ? 1u << (coin(rng) % 8) : 0;
    }
    // Climb more than descend, so the helicopters fly.
    if (coin(rng) < 20) in.port[0].axis[AXIS_Y] = in.port[1].axis[AXIS_Y] = -1;
    in.mouse_x = 320;
    in.mouse_y = 245;
    in.pad_count = 2;
    return in;
}

TEST_F(Canonical, EveryStateOfAPlayedGameReadsBackTheSame) {
    start_from_title();
    std::mt19937 rng(11);
    int rockets_seen = 0, effects_seen = 0;
    for (int frame = 0; frame < 3000 && g.game_state == GameState::play; ++frame) {
        in = busy_input(rng);
        frames();
        if (frame % 7) continue;
        World w2;
        Game g2;
        std::vector<uint8_t> bytes = bytes_of(w, g);
        ASSERT_EQ(read_back(bytes, w2, g2), "") << "frame " << frame;
        ASSERT_EQ(bytes_of(w2, g2), bytes) << "frame " << frame;
        ASSERT_EQ(state_hash(w2, g2), state_hash(w, g));
        rockets_seen += !w.rocket_list.empty();
        effects_seen += !w.explode_list.empty() && !w.dust_list.empty() && !w.trail_list.empty();
    }
    // The states read back had rockets and every kind of effect in them.
    EXPECT_GT(rockets_seen, 10);
    EXPECT_GT(effects_seen, 5);
}

TEST_F(Canonical, TheStateBeforeTheFirstGameReadsBack) {
    World w2;
    Game g2;
    World fresh = new_world(77);
    Game start = new_game_state(2);
    EXPECT_EQ(read_back(bytes_of(fresh, start), w2, g2), "");
    EXPECT_EQ(state_hash(w2, g2), state_hash(fresh, start));
}

TEST_F(Canonical, ValuesTheGameCannotHaveAreRefusedByName) {
    start_from_title();
    rocket_tag::fire(w, 0);
    trail_tag::set(w, 10, 10, 0, 0.5f);
    auto refused = [&](auto change) {
        World w2 = w;
        Game g2 = g;
        change(w2, g2);
        return problem_with(w2, g2);
    };
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(refused([](World&, Game&) {}), "");
    EXPECT_NE(refused([](World& w, Game&) { w.player[0].pos = MAP_CELLS; }).find("cell"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.player[1].x = nan; }).find("x"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.player[1].y = 1e30f; }).find("y"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.player[0].team = Team::Red; }).find("side"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.player[0].a_ctr = 4; }).find("phase"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.level[5].tile = 2; }).find("tile"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.level[5].tile = 8; }).find("tile"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.level[17].x += 1; }).find("centre"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.rocket_list[0].id = 2; }).find("shooter"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.rocket_list[0].x = 700; }).find("rocket's x"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.trail_list[0].frame = 9; }).find("trail"), std::string::npos);
    EXPECT_NE(refused([](World& w, Game&) { w.rng.state = 0; }).find("generator"), std::string::npos);
    EXPECT_NE(refused([](World&, Game& g) { g.game_state = GameState(1); }).find("screen"), std::string::npos);
    EXPECT_NE(refused([](World&, Game& g) { g.play_phase = PlayPhase(3); }).find("phase"), std::string::npos);
    EXPECT_NE(refused([](World&, Game& g) { g.after = AfterPresent(4); }).find("follow-up"), std::string::npos);
    EXPECT_NE(refused([](World&, Game& g) { g.music_lvl = 11; }).find("music level"), std::string::npos);
    EXPECT_NE(refused([](World&, Game& g) { g.pads.port[1].axes[2] = 1.5f; }).find("axis"), std::string::npos);
}

TEST_F(Canonical, AbsurdListLengthsAndEveryCutAreRefused) {
    start_from_title();
    std::vector<uint8_t> bytes = bytes_of(w, g);
    // The rocket count follows the players (2 x 84 bytes) and the cells (260 x 12).
    const size_t rocket_count = 2 * 84 + MAP_CELLS * 12;
    World w2;
    Game g2;
    for (uint32_t n : {0xffffffffu, 20001u, 1000u}) {
        std::vector<uint8_t> bad = bytes;
        for (int i = 0; i < 4; ++i) bad[rocket_count + i] = uint8_t(n >> (8 * i));
        EXPECT_NE(read_back(bad, w2, g2).find("rockets"), std::string::npos) << n;
    }
    for (size_t cut = 0; cut < bytes.size(); cut += 7) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
        EXPECT_NE(read_back(part, w2, g2), "") << cut;
    }
}

}  // namespace
