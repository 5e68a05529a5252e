// Trails, explosions and dust: counts, lifetimes, and the lists they live in.
#include "sim/random.h"
#include "world_fixture.h"

namespace {

using Effects = WorldTest;

TEST_F(Effects, TrailPuffBurnsNineUpdatesThenSmokesUntilTheFortieth) {
    trail_tag::set(w, 100.5f, 200.25f, 33, 0.7f);
    const trail_tag& t = w.trail_list.front();
    std::vector<int> frames;
    int updates = 0;
    while (!w.trail_list.empty() && updates < 100) {
        frames.push_back(w.trail_list.front().frame);
        trail_tag::update_all(w);
        ++updates;
        if (!w.trail_list.empty()) {
            EXPECT_EQ(t.x, 100.5f);
            EXPECT_EQ(t.y, 200.25f);
            EXPECT_EQ(t.rot, 33.0f);
            EXPECT_EQ(t.scale, 0.7f);
        }
    }
    EXPECT_EQ(updates, 40);
    // Updates 1..10 start as flame (the tenth turns it to smoke); 11..40 are smoke.
    EXPECT_EQ(std::count(frames.begin(), frames.end(), 2), 10);
    EXPECT_EQ(std::count(frames.begin(), frames.end(), 3), 30);
}

TEST_F(Effects, DustRingHasElevenCloudsLivingFiftyOneUpdates) {
    dust_tag::set(w, 300, 200);
    ASSERT_EQ(w.dust_list.size(), 11u);
    const dust_tag* first = &w.dust_list.front();
    const dust_tag* last = &w.dust_list.back();
    EXPECT_EQ(first->rot, 0);
    EXPECT_EQ(last->rot, 360);
    EXPECT_FLOAT_EQ(first->x, last->x);  // both head straight up from the same place
    EXPECT_FLOAT_EQ(first->y, 176);
    EXPECT_FLOAT_EQ(last->y, 176);
    int updates = 0;
    while (!w.dust_list.empty() && updates < 100) dust_tag::update_all(w), ++updates;
    EXPECT_EQ(updates, 51);
}

TEST_F(Effects, DustDriftsOutwardAndGrows) {
    dust_tag::set(w, 300, 200);
    const dust_tag* d = &w.dust_list[5];  // heading 180: straight down
    float y = d->y;
    dust_tag::update_all(w);
    EXPECT_FLOAT_EQ(d->y, y + 0.8f);
    EXPECT_FLOAT_EQ(d->sc, 0.56f);
    EXPECT_FLOAT_EQ(d->al, 0.98f);
}

TEST_F(Effects, ExplosionScattersThirtyOneSparksThatFadeInPlace) {
    w.rng.SeedRnd(5);
    explode_tag::set(w, 100, 100);
    ASSERT_EQ(w.explode_list.size(), 31u);
    int longest = 0;
    for (const auto& e : w.explode_list) {
        EXPECT_GE(e.x, 92.0f);
        EXPECT_LT(e.x, 116.0f);
        EXPECT_GE(e.y, 92.0f);
        EXPECT_LT(e.y, 116.0f);
        EXPECT_GE(e.al, 0.5f);
        EXPECT_LT(e.al, 1.0f);
        EXPECT_GE(e.sc, 1.0f);
        EXPECT_LT(e.sc, 2.0f);
        EXPECT_GE(e.alst, -0.04f);
        EXPECT_LT(e.alst, -0.02f);
    }
    int updates = 0;
    while (!w.explode_list.empty() && updates < 100) {
        for (const auto& e : w.explode_list) EXPECT_GT(e.sc, 0.0f);  // never vanishes while drawn
        explode_tag::update_all(w);
        ++updates;
        longest = updates;
    }
    EXPECT_GE(longest, 13);
    EXPECT_LE(longest, 50);
}

TEST_F(Effects, SparksAreDrawnFromTheGeneratorInOrder) {
    w.rng.SeedRnd(77);
    double al = w.rng.Rnd(0.5, 1.0), x = w.rng.Rnd(24, 0), y = w.rng.Rnd(24, 0), sc = w.rng.Rnd(1.0, 2.0), alst = w.rng.Rnd(-0.02, -0.04);
    w.rng.SeedRnd(77);
    explode_tag::set(w, 50, 60);
    const explode_tag& e = w.explode_list.front();
    EXPECT_EQ(e.al, float(al));
    EXPECT_EQ(e.x, float(42 + x));
    EXPECT_EQ(e.y, float(52 + y));
    EXPECT_EQ(e.sc, float(sc));
    EXPECT_EQ(e.alst, float(alst));
}

TEST_F(Effects, ListsKeepSpawnOrderAndSurviveSelfRemoval) {
    // Puffs born one update apart die one update apart; the walk goes on past the dead.
    for (int i = 0; i < 5; ++i) {
        trail_tag::set(w, float(i), 0, 0, 1);
        trail_tag::update_all(w);
    }
    std::vector<float> order;
    for (const auto& t : w.trail_list) order.push_back(t.x);
    EXPECT_EQ(order, (std::vector<float>{0, 1, 2, 3, 4}));
    std::vector<size_t> sizes;
    for (int i = 0; i < 40; ++i) {
        trail_tag::update_all(w);
        sizes.push_back(w.trail_list.size());
    }
    EXPECT_EQ(sizes[34], 4u);
    EXPECT_EQ(sizes[35], 3u);
    EXPECT_EQ(sizes[38], 0u);
}

TEST_F(Effects, ClearFxEmptiesEverything) {
    trail_tag::set(w, 1, 1, 0, 1);
    dust_tag::set(w, 1, 1);
    explode_tag::set(w, 1, 1);
    w.player[0].alt = 5;
    rocket_tag::fire(w, 0);
    clear_fx(w);
    EXPECT_TRUE(w.trail_list.empty());
    EXPECT_TRUE(w.dust_list.empty());
    EXPECT_TRUE(w.explode_list.empty());
    EXPECT_TRUE(w.rocket_list.empty());
}

}  // namespace
