// Snapshots, the state hash and the re-run check: a copy of the state is the whole
// state, the hash sees every part of it, and a step reads nothing else.
#include <gtest/gtest.h>

#include <random>

#include "sim/snapshot.h"
#include "session/sync_test.h"
#include "game_fixture.h"

namespace {

using Snapshots = GameTest;

// Random pads, clicks and keys: anything the devices could give.
FrameInput random_input(std::mt19937& rng) {
    FrameInput in;
    std::uniform_int_distribution<int> axis(-1, 1), coin(0, 40);
    for (PortInput& port : in.port) {
        for (float& a : port.axis) a = float(axis(rng));
        port.buttons = coin(rng) == 0 ? 1u << (coin(rng) % 8) : 0;
    }
    in.mouse_x = 320;
    in.mouse_y = 240 + 40 * (coin(rng) % 5);
    in.clicks = coin(rng) == 0;
    in.space = coin(rng) == 1;
    in.pad_count = 2;
    return in;
}

TEST_F(Snapshots, RestoringAndSteppingAgainGivesTheSameGame) {
    start_from_title();
    std::mt19937 rng(3);
    std::vector<FrameInput> inputs;
    for (int i = 0; i < 600; ++i) inputs.push_back(random_input(rng));
    Snapshot start;
    start.save(w, g);
    auto play = [&] {
        std::vector<uint64_t> hashes;
        for (const FrameInput& fi : inputs) {
            step(w, g, fi, out);
            hashes.push_back(state_hash(w, g));
        }
        return hashes;
    };
    std::vector<uint64_t> first = play();
    uint64_t end = state_hash(w, g);
    start.restore(w, g);
    EXPECT_EQ(play(), first);
    EXPECT_EQ(state_hash(w, g), end);
    // The run went somewhere: the state moved on from its start.
    EXPECT_NE(first.front(), first.back());
}

TEST_F(Snapshots, TheHashSeesEveryPartOfTheState) {
    start_from_title();
    rocket_tag::fire(w, 0);
    explode_tag::set(w, 100, 100);
    dust_tag::set(w, 100, 100);
    trail_tag::set(w, 1, 2, 3, 4);
    const uint64_t base = state_hash(w, g);
    auto changed = [&](auto change) {
        World w2 = w;
        Game g2 = g;
        change(w2, g2);
        return state_hash(w2, g2) != base;
    };
    EXPECT_TRUE(changed([](World& w, Game&) { w.player[1].ail = std::nextafter(w.player[1].ail, 1.0f); }));
    EXPECT_TRUE(changed([](World& w, Game&) { w.level[259].tile ^= 1; }));
    EXPECT_TRUE(changed([](World& w, Game&) { w.rocket_list[0].dir += 1; }));
    EXPECT_TRUE(changed([](World& w, Game&) { w.explode_list[30].alst = 0; }));
    EXPECT_TRUE(changed([](World& w, Game&) { w.dust_list.pop_back(); }));
    EXPECT_TRUE(changed([](World& w, Game&) { w.trail_list[0].frame = 3; }));
    EXPECT_TRUE(changed([](World& w, Game&) { w.rng.Rnd(0, 1); }));
    EXPECT_TRUE(changed([](World&, Game& g) { g.trans_spin = -0.0f; }));
    EXPECT_TRUE(changed([](World&, Game& g) { g.pads.port[1].pending[7] = 1; }));
    EXPECT_TRUE(changed([](World&, Game& g) { g.pointer_y += 1; }));
    EXPECT_TRUE(changed([](World&, Game& g) { g.after = AfterPresent::round_start; }));
    EXPECT_FALSE(changed([](World&, Game&) {}));
}

TEST_F(Snapshots, EqualStatesHashAlikeWhateverTheirHistory) {
    start_from_title();
    World grown = w;
    for (int i = 0; i < 50; ++i) explode_tag::set(grown, 10, 10);  // the lists grow...
    clear_fx(grown);                                                // ...and are emptied
    grown.rng = w.rng;
    EXPECT_EQ(state_hash(grown, g), state_hash(w, g));
}

// The hash of a known state, as every build must give it: recorded games and online
// games compare hashes made by other builds on other machines, so a change of the
// canonical form is a change of those formats and must be made on purpose.
TEST(StateHash, AKnownStateHasTheHashEveryBuildGivesIt) {
    World w = new_world(20261208);
    player_tag::reset(w, 1);
    Game g = new_game_state(2);
    EXPECT_EQ(state_hash(w, g), 0xa366adc99a31cabfull) << std::hex << state_hash(w, g);
}

TEST_F(Snapshots, TheRerunCheckPassesAPureStep) {
    start_from_title();
    SyncTest check(8);
    std::mt19937 rng(11);
    for (int i = 0; i < 2000; ++i) {
        FrameInput fi = random_input(rng);
        step(w, g, fi, out);
        ASSERT_TRUE(check.check(w, g, fi)) << "frame " << check.frame();
    }
}

// A step that keeps something of its own outside the state.
int hidden_frames = 0;
void leaky_step(World& w, Game& g, const FrameInput& in, FrameResult& out) {
    step(w, g, in, out);
    if (++hidden_frames % 97 == 0) w.player[0].score += 1;
}

TEST_F(Snapshots, TheRerunCheckCatchesAStepThatReadsOutsideTheState) {
    start_from_title();
    SyncTest check(8, leaky_step);
    std::mt19937 rng(11);
    long failed = -1;
    for (int i = 0; i < 500 && failed < 0; ++i) {
        FrameInput fi = random_input(rng);
        leaky_step(w, g, fi, out);
        if (!check.check(w, g, fi)) failed = check.frame();
    }
    EXPECT_GT(failed, 8);
    EXPECT_LT(failed, 200);
    EXPECT_NE(check.want(), check.got());
}

}  // namespace
