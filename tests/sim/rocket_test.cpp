// Rockets: flight, trails, the arena's bounds, blocks and hits.
#include "world_fixture.h"

namespace {

class Rockets : public WorldTest {
protected:
    rocket_tag& fire_from(int id, float x, float y, int alt, float dir) {
        w.player[id].x = x;
        w.player[id].y = y;
        w.player[id].alt = alt;
        w.player[id].scale = 0.8f;
        w.player[id].rotation = dir;
        rocket_tag::fire(w, id);
        return w.rocket_list.back();
    }

    int frames_alive(int limit = 1000) {
        int n = 0;
        while (!w.rocket_list.empty() && n < limit) rocket_tag::update_all(w, ev), ++n;
        return n;
    }
};

TEST_F(Rockets, FlyFourPixelsAFrameWithATrailSixBehind) {
    rocket_tag& r = fire_from(0, 300, 300, 10, 0);
    EXPECT_EQ(r.frame, 1);
    rocket_tag::update_all(w, ev);
    EXPECT_EQ(r.y, 296.0f);
    EXPECT_EQ(r.x, 300.0f);
    ASSERT_EQ(w.trail_list.size(), 1u);
    EXPECT_EQ(w.trail_list.back().y, 302.0f - 10);  // 6 behind, raised by the altitude
    EXPECT_EQ(w.trail_list.back().x, 300.0f);
    rocket_tag& s = fire_from(1, 100, 300, 10, 90);
    rocket_tag::update_all(w, ev);
    EXPECT_NEAR(s.x, 104.0f, 1e-5);
    EXPECT_NEAR(s.y, 300.0f, 1e-5);
    EXPECT_EQ(w.trail_list.back().x, 98.0f);
}

TEST_F(Rockets, CrossTheArenaAndLeaveAtTheEdges) {
    fire_from(0, 2, 200, 10, 90);
    EXPECT_EQ(frames_alive(), 160);  // 638 is the last place inside
    fire_from(0, 600, 200, 10, 270);
    EXPECT_EQ(frames_alive(), 150);
    fire_from(0, 300, 200, 10, 0);
    EXPECT_EQ(frames_alive(), 42);
}

TEST_F(Rockets, TheBottomBoundIsRaisedByTheAltitude) {
    fire_from(0, 300, 440, 20, 180);
    int n = frames_alive();
    EXPECT_EQ(n, 7);  // removed once its ground y passes 466
}

TEST_F(Rockets, BlocksStopRocketsAtEveryAltitude) {
    for (int alt : {1, 51}) {
        SetUp();
        w.level[cell_index(300, 100)].tile = TILE_BLOCK;
        fire_from(0, 300, 200, alt, 0);
        int n = frames_alive();
        EXPECT_LT(n, 40) << alt;
        EXPECT_EQ(w.level[cell_index(300, 100)].tile, TILE_FLOOR);
        EXPECT_EQ(heard(Sfx::explode), 1);
        EXPECT_EQ(w.dust_list.size(), 11u);
        EXPECT_EQ(w.explode_list.size(), 62u);
    }
}

TEST_F(Rockets, OtherTilesNeverStopThem) {
    int tiles[] = {TILE_VOID, TILE_FLOOR, TILE_RED_START, TILE_BLUE_START, TILE_RED_PAD, TILE_BLUE_PAD};
    for (int i = 0; i < 20; ++i) w.level[40 + i].tile = tiles[i % 6];
    fire_from(0, 2, 112, 10, 90);
    EXPECT_EQ(frames_alive(), 160);
}

TEST_F(Rockets, HitOnlyAnAirborneEnemyWithinFourPixels) {
    struct Case {
        int enemy_alt;
        int rocket_alt;
        bool hit;
    };
    const Case cases[] = {{20, 16, true}, {20, 24, true}, {20, 15, false}, {20, 25, false}, {0, 0, false}};
    for (const Case& c : cases) {
        SetUp();
        place(1, cell_index(300, 100));
        w.player[1].stx = 600;
        w.player[1].sty = 400;
        if (c.enemy_alt) lift(1, c.enemy_alt);
        w.player[1].pos = cell_index(300, 100);
        fire_from(0, 300, 200, c.rocket_alt, 0);
        frames_alive();
        EXPECT_EQ(w.player[1].battery, c.hit ? 4 : 5) << c.enemy_alt << "/" << c.rocket_alt;
        EXPECT_EQ(heard(Sfx::death), c.hit ? 2 : 0);  // the hit and the restart
        if (c.hit) {
            EXPECT_EQ(w.player[1].x, 600.0f);
            EXPECT_EQ(w.dust_list.size(), 11u);
            EXPECT_EQ(w.explode_list.size(), 62u);
        }
    }
}

TEST_F(Rockets, NeverHitTheirShooter) {
    lift(0, 20);
    w.player[0].pos = cell_index(300, 100);
    place(1, 0);
    fire_from(0, 300, 120, 20, 0);
    w.player[0].x = 300;
    w.player[0].y = 100;
    frames_alive();
    EXPECT_EQ(w.player[0].battery, 5);
}

TEST_F(Rockets, ALeavingRocketIsStillTestedWhereItNowIs) {
    // Past the bottom edge in this update, still in the last row's block.
    int c = cell_index(300, 447);
    w.level[c].tile = TILE_BLOCK;
    fire_from(0, 300, 443, 0, 180);
    rocket_tag::update_all(w, ev);
    EXPECT_EQ(w.rocket_list.size(), 0u);
    EXPECT_EQ(w.level[c].tile, TILE_FLOOR);
}

TEST_F(Rockets, EveryRocketUpdatesInFiringOrder) {
    fire_from(0, 100, 200, 10, 0);
    fire_from(0, 200, 200, 10, 0);
    fire_from(1, 300, 200, 10, 0);
    rocket_tag::update_all(w, ev);
    std::vector<float> xs;
    for (const auto& r : w.rocket_list) xs.push_back(r.x);
    EXPECT_EQ(xs, (std::vector<float>{100, 200, 300}));
    rocket_tag::destroy_all(w);
    EXPECT_TRUE(w.rocket_list.empty());
}

}  // namespace
