// Flying with the pads: climbing, steering, firing, and the input flush.
#include <fstream>

#include "engine/script.h"
#include "engine/window.h"
#include "support.h"
#include "world_fixture.h"

namespace {

using Controls = WorldTest;

constexpr int kLeftX = SDL_CONTROLLER_AXIS_LEFTX;
constexpr int kLeftY = SDL_CONTROLLER_AXIS_LEFTY;
constexpr int kRightX = SDL_CONTROLLER_AXIS_RIGHTX;
constexpr int kRightY = SDL_CONTROLLER_AXIS_RIGHTY;

TEST_F(Controls, LiftOffAndSteeringInTheSameFirstFrame) {
    attach_pads(1);
    pad(0).stick(kLeftY, -1);
    pad(0).stick(kLeftX, 1);
    pad(0).stick(kRightX, -1);
    fly();
    EXPECT_EQ(player[0].alt, 1);
    EXPECT_EQ(player[0].rotspd, 20.0f);
    EXPECT_EQ(player[0].rstp, 0.2f);
    EXPECT_EQ(player[0].ail, -0.02f);
}

TEST_F(Controls, OnTheGroundOnlyTheClimbWorks) {
    attach_pads(1);
    pad(0).stick(kLeftX, 1);
    pad(0).stick(kRightY, -1);
    pad(0).button(SDL_CONTROLLER_BUTTON_A, true);
    fly(5);
    EXPECT_EQ(player[0].rstp, 0.0f);
    EXPECT_EQ(player[0].elv, 0.0f);
    EXPECT_TRUE(rocket_list.empty());
}

TEST_F(Controls, AStickShortOfItsEndDoesNothing) {
    attach_pads(1);
    lift(0, 10);
    for (int axis : {kLeftX, kLeftY, kRightX, kRightY}) pad(0).stick(axis, 0.99f);
    fly(3);
    for (int axis : {kLeftX, kLeftY, kRightX, kRightY}) pad(0).stick(axis, -0.99f);
    fly(3);
    EXPECT_EQ(player[0].alt, 10);
    EXPECT_EQ(player[0].rstp, 0.0f);
    EXPECT_EQ(player[0].ail, 0.0f);
    EXPECT_EQ(player[0].elv, 0.0f);
}

TEST_F(Controls, DpadFliesLikeTheStickAtItsEnd) {
    attach_pads(1);
    pad(0).button(SDL_CONTROLLER_BUTTON_DPAD_UP, true);
    fly(3);
    EXPECT_EQ(player[0].alt, 3);
}

TEST_F(Controls, RedFliesOnlyWhenTwoPadsWereCounted) {
    attach_pads(2);
    pads_found = 1;
    pad(1).stick(kLeftY, -1);
    fly(10);
    EXPECT_EQ(player[1].alt, 0);
    pads_found = JoyCount();  // "Detect Game Pads"
    ASSERT_EQ(pads_found, 2);
    fly(10);
    EXPECT_EQ(player[1].alt, 10);
    EXPECT_EQ(player[0].alt, 0);
}

TEST_F(Controls, FireHasAFiftyFrameCooldownAndAnEarlyPressWaits) {
    attach_pads(1);
    lift(0, 10);
    pad(0).button(SDL_CONTROLLER_BUTTON_A, true);
    fly();
    EXPECT_EQ(rocket_list.size(), 1u);
    EXPECT_EQ(player[0].rocket_ctr, 50);
    EXPECT_EQ(heard(snd_brocket), 1);
    // Held: no second rocket. Released and pressed again during the cool-down: it waits.
    fly(5);
    pad(0).button(SDL_CONTROLLER_BUTTON_A, false);
    fly();
    pad(0).button(SDL_CONTROLLER_BUTTON_A, true);
    fly();
    pad(0).button(SDL_CONTROLLER_BUTTON_A, false);
    int frames = 8;
    while (rocket_list.size() < 2 && frames < 200) fly(), ++frames;
    EXPECT_EQ(frames, 51);  // the first frame the cool-down allows
    EXPECT_EQ(rocket_list.size(), 2u);
}

TEST_F(Controls, APressOnTheGroundFiresOnTheFirstFrameInTheAir) {
    attach_pads(1);
    pad(0).button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
    fly(3);
    pad(0).button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false);
    fly(3);
    EXPECT_TRUE(rocket_list.empty());
    pad(0).stick(kLeftY, -1);
    fly();
    ASSERT_EQ(rocket_list.size(), 1u);
    EXPECT_EQ(rocket_list.front().alt, 1);
}

TEST_F(Controls, RedFiresItsOwnRockets) {
    attach_pads(2);
    lift(1, 20);
    player[1].rotation = 90;
    pad(1).button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
    fly();
    ASSERT_EQ(rocket_list.size(), 1u);
    const rocket_tag& r = rocket_list.front();
    EXPECT_EQ(r.id, 1);
    EXPECT_EQ(r.frame, 0);
    EXPECT_EQ(r.dir, 90.0f);
    EXPECT_EQ(r.alt, 20);
    EXPECT_EQ(r.scale, player[1].scale);
    EXPECT_EQ(heard(snd_rrocket), 1);
}

std::string script_file(const std::string& text) {
    std::string path = test_support::OutputPath("flush-script.txt");
    std::ofstream(path) << text;
    return path;
}

TEST(FlushInputs, WaitsForReleaseAndLeavesOtherButtonsPending) {
    std::string error;
    ASSERT_TRUE(ScriptLoad(script_file("pads 1\n"
                                       "f0 pad0 b0 down\n"
                                       "f0 pad0 b6 down\n"
                                       "t5 pad0 b6 up\n"
                                       "t300 pad0 b0 up\n"),
                           &error))
        << error;
    ScriptAttachPads();
    test_support::OpenHeadlessGraphics();
    pads_found = JoyCount();
    JoyDown(0, 0);  // the presses are seen
    int t0 = MilliSecs();
    player[0].flush_inputs();
    EXPECT_GE(MilliSecs(), 300);  // it waited for the release
    EXPECT_LE(MilliSecs() - t0, 310);
    EXPECT_EQ(JoyHit(0, 0), 0);  // cleared
    EXPECT_EQ(JoyHit(6, 0), 1);  // left pending
    ScriptShutdown();
}

}  // namespace
