// Flying with the pad ports: climbing, steering, firing, and when presses count.
#include "world_fixture.h"

namespace {

using Controls = WorldTest;

TEST_F(Controls, LiftOffAndSteeringInTheSameFirstFrame) {
    stick(0, AXIS_Y, -1);
    stick(0, AXIS_X, 1);
    stick(0, AXIS_Z, -1);
    fly();
    EXPECT_EQ(w.player[0].alt, 1);
    EXPECT_EQ(w.player[0].rotspd, 20.0f);
    EXPECT_EQ(w.player[0].rstp, 0.2f);
    EXPECT_EQ(w.player[0].ail, -0.02f);
}

TEST_F(Controls, OnTheGroundOnlyTheClimbWorks) {
    stick(0, AXIS_X, 1);
    stick(0, AXIS_R, -1);
    button(0, 0, true);
    fly(5);
    EXPECT_EQ(w.player[0].rstp, 0.0f);
    EXPECT_EQ(w.player[0].elv, 0.0f);
    EXPECT_TRUE(w.rocket_list.empty());
}

TEST_F(Controls, AStickShortOfItsEndDoesNothing) {
    lift(0, 10);
    for (int axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_R}) stick(0, axis, 0.99f);
    fly(3);
    for (int axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_R}) stick(0, axis, -0.99f);
    fly(3);
    EXPECT_EQ(w.player[0].alt, 10);
    EXPECT_EQ(w.player[0].rstp, 0.0f);
    EXPECT_EQ(w.player[0].ail, 0.0f);
    EXPECT_EQ(w.player[0].elv, 0.0f);
}

TEST_F(Controls, RedFliesOnlyWhenTwoPadsWereCounted) {
    pads_found = 1;
    stick(1, AXIS_Y, -1);
    fly(10);
    EXPECT_EQ(w.player[1].alt, 0);
    pads_found = 2;  // "Detect Game Pads"
    fly(10);
    EXPECT_EQ(w.player[1].alt, 10);
    EXPECT_EQ(w.player[0].alt, 0);
}

TEST_F(Controls, APortNotReadCountsNoPressMadeAndLetGoMeanwhile) {
    lift(1, 10);
    pads_found = 1;
    button(1, 0, true);
    fly();
    button(1, 0, false);
    fly();
    pads_found = 2;
    fly();
    EXPECT_TRUE(w.rocket_list.empty());
    // A button still held when the port is next read counts.
    pads_found = 1;
    button(1, 7, true);
    fly();
    pads_found = 2;
    fly();
    EXPECT_EQ(w.rocket_list.size(), 1u);
}

TEST_F(Controls, FireHasAFiftyFrameCooldownAndAnEarlyPressWaits) {
    lift(0, 10);
    button(0, 0, true);
    fly();
    EXPECT_EQ(w.rocket_list.size(), 1u);
    EXPECT_EQ(w.player[0].rocket_ctr, 50);
    EXPECT_EQ(heard(Sfx::brocket), 1);
    // Held: no second rocket. Released and pressed again during the cool-down: it waits.
    fly(5);
    button(0, 0, false);
    fly();
    button(0, 0, true);
    fly();
    button(0, 0, false);
    int frames = 8;
    while (w.rocket_list.size() < 2 && frames < 200) fly(), ++frames;
    EXPECT_EQ(frames, 51);  // the first frame the cool-down allows
    EXPECT_EQ(w.rocket_list.size(), 2u);
}

TEST_F(Controls, APressOnTheGroundFiresOnTheFirstFrameInTheAir) {
    button(0, 7, true);
    fly(3);
    button(0, 7, false);
    fly(3);
    EXPECT_TRUE(w.rocket_list.empty());
    stick(0, AXIS_Y, -1);
    fly();
    ASSERT_EQ(w.rocket_list.size(), 1u);
    EXPECT_EQ(w.rocket_list.front().alt, 1);
}

TEST_F(Controls, FireButtonsAreAskedInOrderAndTheOthersKeepTheirPresses) {
    lift(0, 10);
    button(0, 0, true);
    button(0, 6, true);
    fly();
    EXPECT_EQ(w.rocket_list.size(), 1u);
    // Button 6 was not asked: its press waits out the cool-down and fires the next rocket.
    button(0, 0, false);
    button(0, 6, false);
    fly(50);
    EXPECT_EQ(w.rocket_list.size(), 2u);
}

TEST_F(Controls, RedFiresItsOwnRockets) {
    lift(1, 20);
    w.player[1].rotation = 90;
    button(1, 6, true);
    fly();
    ASSERT_EQ(w.rocket_list.size(), 1u);
    const rocket_tag& r = w.rocket_list.front();
    EXPECT_EQ(r.id, 1);
    EXPECT_EQ(r.frame, 0);
    EXPECT_EQ(r.dir, 90.0f);
    EXPECT_EQ(r.alt, 20);
    EXPECT_EQ(r.scale, w.player[1].scale);
    EXPECT_EQ(heard(Sfx::rrocket), 1);
}

}  // namespace
