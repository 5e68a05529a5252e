// The helicopters' flight step: turning, moving, sliding, the arena's edges, cells,
// landing, crashing and restarting.
#include "world_fixture.h"

namespace {

using Flight = WorldTest;

TEST_F(Flight, ClimbTopsOutAtAltitude51) {
    stick(0, AXIS_Y, -1);
    fly();
    EXPECT_EQ(w.player[0].alt, 1);
    EXPECT_EQ(w.player[0].rotspd, 20.0f);
    EXPECT_EQ(w.player[0].scale, 0.51f);
    fly(49);
    EXPECT_EQ(w.player[0].alt, 50);
    EXPECT_LT(w.player[0].scale, 1.0f);  // just below 1.0, so one more step happens
    fly(10);
    EXPECT_EQ(w.player[0].alt, 51);
    EXPECT_EQ(g6(w.player[0].scale), "1.01");
    EXPECT_EQ(w.player[0].scale, 1.0099995f);
}

TEST_F(Flight, DescentSnapsToTheGroundAndStopsDead) {
    lift(0, 20);
    w.player[0].rstp = 5;
    w.player[0].elv = -2;
    w.player[0].ail = 1;
    stick(0, AXIS_Y, 1);
    int frames = 0;
    while (w.player[0].alt > 0 && frames < 100) fly(), ++frames;
    EXPECT_EQ(frames, 20);
    EXPECT_EQ(w.player[0].scale, 0.5f);
    EXPECT_EQ(w.player[0].rstp, 0.0f);
    EXPECT_EQ(w.player[0].elv, 0.0f);
    EXPECT_EQ(w.player[0].ail, 0.0f);
    EXPECT_EQ(w.player[0].rotspd, 0.0f);
}

TEST_F(Flight, TurnDampingLeavesTheKnownRemainders) {
    lift(0, 30);
    auto hold_turn = [&](float dir, int frames) {
        w.player[0].rstp = 0;
        stick(0, AXIS_X, dir);
        fly(frames);
        stick(0, AXIS_X, 0);
        fly(400);
        return w.player[0].rstp;
    };
    EXPECT_EQ(g6(hold_turn(1, 10)), "0.0999998");
    EXPECT_NEAR(hold_turn(1, 30), 0.0000018, 0.00000005);
    EXPECT_NEAR(hold_turn(1, 200), 0.09996, 0.000005);
    EXPECT_NEAR(hold_turn(-1, 200), 0.00004, 0.000005);
    // The remainder keeps the helicopter turning clockwise about 0.1 degree a frame.
    hold_turn(1, 10);
    float before = w.player[0].rotation;
    fly(10);
    EXPECT_NEAR(w.player[0].rotation - before, 0.999998, 1e-4);
}

TEST_F(Flight, TurnRampReachesTwentyOnTheTwoHundredthFrame) {
    lift(0, 30);
    stick(0, AXIS_X, 1);
    fly();
    EXPECT_EQ(w.player[0].rstp, 0.2f);
    fly(198);
    EXPECT_LT(w.player[0].rstp, 20.0f);
    fly();
    EXPECT_EQ(w.player[0].rstp, 20.0f);
}

TEST_F(Flight, ForwardDampingLeavesTheKnownRemainders) {
    lift(0, 30);
    auto hold_forward = [&](int frames) {
        w.player[0].elv = 0;
        stick(0, AXIS_R, -1);
        fly(frames);
        stick(0, AXIS_R, 0);
        fly(500);
        return w.player[0].elv;
    };
    EXPECT_EQ(g6(hold_forward(10)), "0.00999997");
    EXPECT_NEAR(hold_forward(20), 0.00000006, 0.000000005);
    EXPECT_NEAR(hold_forward(300), 0.0099974, 0.00000005);
    // Forward reaches -3 on the 300th frame.
    w.player[0].elv = 0;
    stick(0, AXIS_R, -1);
    fly(299);
    EXPECT_GT(w.player[0].elv, -3.0f);
    fly();
    EXPECT_EQ(w.player[0].elv, -3.0f);
}

TEST_F(Flight, OneFrameOfInputMovesThreeHundredthsAndTurnsThreeTenths) {
    lift(0, 30);
    float y0 = w.player[0].y;
    stick(0, AXIS_R, -1);
    stick(0, AXIS_X, 1);
    fly();
    stick(0, AXIS_R, 0);
    stick(0, AXIS_X, 0);
    fly(5);
    EXPECT_NEAR(y0 - w.player[0].y, 0.03, 1e-5);
    EXPECT_EQ(w.player[0].elv, 0.0f);
    EXPECT_NEAR(w.player[0].rotation, 0.3, 1e-6);
    EXPECT_EQ(w.player[0].rstp, 0.0f);
}

TEST_F(Flight, SpeedsMoveAlongTheHeading) {
    lift(0, 30);
    player_tag& p = w.player[0];
    float x0 = p.x, y0 = p.y;
    p.elv = -1;  // toward the nose: up the screen at heading 0
    p.update(w, ev);
    EXPECT_FLOAT_EQ(p.y, y0 - 1);
    EXPECT_FLOAT_EQ(p.x, x0);
    p.elv = 0;
    p.ail = 1;  // to the right
    float x1 = p.x;
    p.update(w, ev);
    EXPECT_NEAR(p.x, x1 + 1, 1e-5);
    p.ail = 0;
    p.rotation = 90;
    p.elv = -1;  // heading right: toward the nose is to the right
    float x2 = p.x, y2 = p.y;
    p.update(w, ev);
    EXPECT_NEAR(p.x, x2 + 1, 1e-5);
    EXPECT_NEAR(p.y, y2, 1e-5);
}

TEST_F(Flight, EdgesHoldThePositionButNotTheSpeed) {
    player_tag& p = w.player[0];
    place(0, 0);
    lift(0, 30);
    p.x = 2;
    p.y = 100;
    p.ail = -3;
    p.elv = -1;
    p.update(w, ev);
    EXPECT_EQ(p.x, 2.0f);
    EXPECT_FLOAT_EQ(p.ail, -2.99f);
    EXPECT_FLOAT_EQ(p.y, 99);  // still slides along the edge
    p.x = 700;
    p.y = -50;
    p.update(w, ev);
    EXPECT_EQ(p.x, 638.0f);
    EXPECT_EQ(p.y, 34.0f);
    p.y = 900;
    p.update(w, ev);
    EXPECT_EQ(p.y, 446.0f);
    EXPECT_EQ(p.pos, 19 + 20 * 12);
}

TEST_F(Flight, CellTrackingTruncates) {
    player_tag& p = w.player[0];
    lift(0, 5);
    p.x = 63.9f;
    p.y = 95.9f;
    p.update(w, ev);
    EXPECT_EQ(p.pos, 1 + 20 * 1);
    p.x = 64;
    p.y = 96;
    p.update(w, ev);
    EXPECT_EQ(p.pos, 2 + 20 * 2);
}

TEST_F(Flight, TailRotorTurnsOnlyInFlight) {
    player_tag& p = w.player[0];
    p.a_ctr = 2;
    p.update(w, ev);
    p.update(w, ev);
    EXPECT_EQ(p.a_ctr, 2);
    lift(0, 10);
    std::vector<int> phases;
    for (int i = 0; i < 8; ++i) p.update(w, ev), phases.push_back(p.a_ctr);
    EXPECT_EQ(phases, (std::vector<int>{3, 3, 0, 0, 1, 1, 2, 2}));
}

TEST_F(Flight, RocketCooldownCountsDownAnywhere) {
    w.player[0].rocket_ctr = 3;
    w.player[0].update(w, ev);
    EXPECT_EQ(w.player[0].rocket_ctr, 2);
    lift(0, 10);
    w.player[0].update(w, ev);
    w.player[0].update(w, ev);
    w.player[0].update(w, ev);
    EXPECT_EQ(w.player[0].rocket_ctr, 0);
}

TEST_F(Flight, LandingOnTheOwnPadCollectsItOnce) {
    place(0, 100);
    w.level[100].tile = TILE_BLUE_PAD;
    w.player[0].score = 3;
    w.player[0].update(w, ev);
    EXPECT_EQ(heard(Sfx::land), 1);
    EXPECT_EQ(w.level[100].tile, TILE_FLOOR);
    EXPECT_EQ(w.player[0].score, 4);
    EXPECT_EQ(w.player[0].pads, 4);
    w.player[0].update(w, ev);
    EXPECT_EQ(w.player[0].score, 4);
    EXPECT_EQ(heard(Sfx::land), 1);
    // Pads never drop below 0.
    w.level[100].tile = TILE_BLUE_PAD;
    w.player[0].pads = 0;
    w.player[0].update(w, ev);
    EXPECT_EQ(w.player[0].pads, 0);
    // Red collects its own colour.
    place(1, 150);
    w.level[150].tile = TILE_RED_PAD;
    w.player[1].update(w, ev);
    EXPECT_EQ(w.player[1].score, 1);
}

TEST_F(Flight, SettingDownOnVoidOrTheOtherColourCrashes) {
    struct Case {
        int index;
        int tile;
        bool crash;
    };
    const Case cases[] = {
        {0, TILE_VOID, true},        {0, TILE_RED_START, true},  {0, TILE_RED_PAD, true},
        {0, TILE_BLUE_START, false}, {0, TILE_FLOOR, false},     {1, TILE_BLUE_START, true},
        {1, TILE_BLUE_PAD, true},    {1, TILE_RED_START, false}, {1, TILE_VOID, true},
    };
    for (const Case& c : cases) {
        SetUp();
        place(c.index, 120);
        player_tag& p = w.player[c.index];
        p.stx = 400;
        p.sty = 300;
        w.level[120].tile = c.tile;
        p.update(w, ev);
        EXPECT_EQ(p.battery, c.crash ? 4 : 5) << c.index << " on " << c.tile;
        EXPECT_EQ(w.dust_list.size(), c.crash ? 11u : 0u);
        EXPECT_EQ(w.explode_list.size(), c.crash ? 31u : 0u);
        EXPECT_EQ(heard(Sfx::death), c.crash ? 1 : 0);
        if (c.crash) {
            EXPECT_EQ(p.x, 400.0f);  // back on the start pad
            EXPECT_EQ(p.pos, 120);   // pos still names the cell of the loss
            EXPECT_EQ(w.dust_list.front().x, float(w.level[120].x));  // at the ground point
        }
    }
}

TEST_F(Flight, FlyingIntoABlockDestroysItAndCostsOneBattery) {
    place(0, 100);
    lift(0, 25);
    w.player[0].stx = 500;
    w.player[0].sty = 400;
    w.level[101].tile = TILE_BLOCK;
    w.player[0].x = float(w.level[101].x - 16);  // at the edge of the block's cell
    w.player[0].elv = 0;
    w.player[0].ail = 2;
    w.player[0].update(w, ev);
    EXPECT_EQ(w.level[101].tile, TILE_FLOOR);
    EXPECT_EQ(w.player[0].battery, 4);
    EXPECT_EQ(heard(Sfx::explode), 1);
    EXPECT_EQ(heard(Sfx::death), 1);
    ASSERT_EQ(w.dust_list.size(), 22u);
    ASSERT_EQ(w.explode_list.size(), 62u);
    // One ring at the body (25 pixels above the ground point), one at the cell centre.
    auto it = w.dust_list.begin();
    float body_y = it->y + 24;  // the first cloud heads straight up
    std::advance(it, 11);
    EXPECT_FLOAT_EQ(body_y, float(w.level[101].y - 25));
    EXPECT_FLOAT_EQ(it->x, float(w.level[101].x));
    EXPECT_FLOAT_EQ(it->y + 24, float(w.level[101].y));
    EXPECT_EQ(w.player[0].alt, 0);
    EXPECT_EQ(w.player[0].x, 500.0f);
}

TEST_F(Flight, BatteryStopsAtZero) {
    place(0, 120);
    w.level[120].tile = TILE_VOID;
    w.player[0].battery = 0;
    w.player[0].update(w, ev);
    EXPECT_EQ(w.player[0].battery, 0);
}

TEST_F(Flight, RestartPutsBackOnTheStartPadAndKeepsTheCounters) {
    player_tag& p = w.player[1];
    lift(1, 40);
    p.x = 300;
    p.y = 300;
    p.rotation = 45;
    p.bladerot = 99;
    p.rocket_ctr = 30;
    p.score = 3;
    p.a_ctr = 2;
    p.pos = 77;
    player_tag::restart(w, 1, ev);
    EXPECT_EQ(p.x, float(p.stx));
    EXPECT_EQ(p.y, float(p.sty));
    EXPECT_EQ(p.alt, 0);
    EXPECT_EQ(p.scale, 0.5f);
    EXPECT_EQ(p.rotation, 0.0f);
    EXPECT_EQ(p.bladerot, 0.0f);
    EXPECT_EQ(p.rocket_ctr, 0);
    EXPECT_EQ(p.score, 3);
    EXPECT_EQ(p.a_ctr, 2);
    EXPECT_EQ(p.pos, 77);
    EXPECT_EQ(heard(Sfx::death), 1);
}

TEST_F(Flight, ResetStartsARoundAndANewGame) {
    w.player[0].score = 4;
    w.player[0].battery = 2;
    w.player[1].pads = 0;
    lift(0, 30);
    trail_tag::set(w, 1, 2, 3, 4);
    player_tag::reset(w, 0);
    EXPECT_EQ(w.player[0].score, 4);
    EXPECT_EQ(w.player[0].battery, 2);
    EXPECT_EQ(w.player[1].pads, 5);
    EXPECT_EQ(w.player[0].alt, 0);
    EXPECT_EQ(w.player[0].scale, 0.5f);
    EXPECT_TRUE(w.trail_list.empty());
    player_tag::reset(w, 1);
    EXPECT_EQ(w.player[0].score, 0);
    EXPECT_EQ(w.player[0].battery, 5);
    EXPECT_TRUE(ev.list.empty());  // the callers play the new-map sound
}

TEST_F(Flight, HelicoptersCollideOnlyWithinFourPixelsWhileARoundRuns) {
    struct Case {
        int blue_alt, red_alt;
        bool run;
        bool collide;
    };
    const Case cases[] = {{10, 14, true, true}, {14, 10, true, true}, {10, 15, true, false},
                          {0, 0, true, true},   {10, 14, false, false}};
    for (const Case& c : cases) {
        SetUp();
        running = c.run;
        place(1, 45);
        w.player[1].stx = 300;
        for (int i = 0; i < 2; ++i) {
            if (c.blue_alt && i == 0) lift(0, c.blue_alt);
            if (c.red_alt && i == 1) lift(1, c.red_alt);
        }
        level_tag::collide(w, ev, running);
        int lost = c.collide ? 1 : 0;
        EXPECT_EQ(w.player[0].battery, 5 - lost) << c.blue_alt << "/" << c.red_alt;
        EXPECT_EQ(w.player[1].battery, 5 - lost);
        EXPECT_EQ(heard(Sfx::death), 3 * lost);  // the crash and both restarts
        EXPECT_EQ(w.dust_list.size(), 22u * lost);
        EXPECT_EQ(w.explode_list.size(), 62u * lost);
    }
}

}  // namespace
