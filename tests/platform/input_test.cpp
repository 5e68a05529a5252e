#include "platform/input.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/events.h"
#include "support.h"
#include "virtual_pad.h"

namespace {

using test_support::OpenHeadlessGraphics;

void key(SDL_Keycode sym, bool down, bool repeat = false) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = sym;
    e.key.repeat = repeat;
    SDL_PushEvent(&e);
}

void window_event(Uint8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    SDL_PushEvent(&e);
}

void mouse_button(bool down) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    SDL_PushEvent(&e);
}

using TestPad = test_support::VirtualPad;

// One frame's look at the devices: events taken in, every pad read once.
void poll() {
    PumpEvents();
    SamplePads();
}

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        OpenHeadlessGraphics();
        FlushKeys();
        FlushMouse();
    }
};

TEST_F(Input, HoldingAKeyCountsOnePress) {
    key(SDLK_SPACE, true);
    key(SDLK_SPACE, true, true);  // auto-repeat
    key(SDLK_SPACE, true, true);
    EXPECT_EQ(KeyHit(32), 0);  // nothing is seen before the events are taken in
    poll();
    EXPECT_EQ(KeyDown(32), 1);
    EXPECT_EQ(KeyHit(32), 1);
    EXPECT_EQ(KeyHit(32), 0);  // reading clears
    key(SDLK_SPACE, false);
    poll();
    EXPECT_EQ(KeyDown(32), 0);
    key(SDLK_ESCAPE, true);
    key(SDLK_ESCAPE, false);
    key(SDLK_ESCAPE, true);
    poll();
    EXPECT_EQ(KeyHit(27), 2);
    key(SDLK_a, true);
    poll();
    EXPECT_EQ(KeyHit(65), 1);
}

TEST_F(Input, FocusChangesFlushKeysAndMouse) {
    key(SDLK_SPACE, true);
    mouse_button(true);
    window_event(SDL_WINDOWEVENT_FOCUS_LOST);
    poll();
    EXPECT_EQ(AppSuspended(), 1);
    EXPECT_EQ(KeyHit(32), 0);
    EXPECT_EQ(MouseHit(1), 0);
    mouse_button(true);
    window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
    poll();
    EXPECT_EQ(AppSuspended(), 0);
    EXPECT_EQ(MouseHit(1), 0);
    EXPECT_EQ(MouseDown(1), 0);
}

TEST_F(Input, MouseButtonsAndPosition) {
    mouse_button(true);
    poll();
    EXPECT_EQ(MouseDown(1), 1);
    EXPECT_EQ(MouseHit(1), 1);
    EXPECT_EQ(MouseHit(1), 0);
    mouse_button(false);
    poll();
    EXPECT_EQ(MouseDown(1), 0);
    MoveMouse(123, 456);
    EXPECT_EQ(MouseX(), 123);
    EXPECT_EQ(MouseY(), 456);
    FlushMouse();
    EXPECT_EQ(MouseX(), 123);  // flushing keeps the position
}

TEST_F(Input, CloseRequestIsReportedOnce) {
    window_event(SDL_WINDOWEVENT_CLOSE);
    poll();
    EXPECT_EQ(AppTerminate(), 1);
    EXPECT_EQ(AppTerminate(), 0);
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = SDLK_F4;
    e.key.keysym.mod = KMOD_LALT;
    SDL_PushEvent(&e);
    poll();
    EXPECT_EQ(AppTerminate(), 1);
}

TEST_F(Input, PadAxesReachExactlyMinusOneAndOne) {
    TestPad pad;
    ASSERT_EQ(JoyCount(), 1);
    pad.axis(0, -32768);
    pad.axis(1, 32767);
    pad.axis(2, 0);
    pad.axis(3, 32439);  // 0.99 of the way
    poll();
    EXPECT_EQ(JoyX(0), -1.0f);
    EXPECT_EQ(JoyY(0), 1.0f);
    EXPECT_FLOAT_EQ(JoyZ(0), -0.0000152590219f);  // the centre, a hair below 0
    EXPECT_LT(JoyZ(0), 0.0f);
    EXPECT_NE(JoyR(0), 1.0f);
    EXPECT_NEAR(JoyR(0), 0.99f, 0.001f);
    pad.axis(0, -32767);  // some pads stop one short: still the end
    poll();
    EXPECT_EQ(JoyX(0), -1.0f);
}

TEST_F(Input, DpadDrivesTheStickAxesAtFullDeflection) {
    TestPad pad;
    JoyCount();
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);
    poll();
    EXPECT_EQ(JoyX(0), -1.0f);
    EXPECT_EQ(JoyY(0), 1.0f);
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_LEFT, false);
    pad.button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT, true);
    poll();
    EXPECT_EQ(JoyX(0), 1.0f);
}

TEST_F(Input, ButtonsMapToTheTransmitterLayout) {
    TestPad pad;
    JoyCount();
    pad.button(SDL_CONTROLLER_BUTTON_A, true);
    pad.button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, true);
    poll();
    EXPECT_EQ(JoyDown(0, 0), 1);
    EXPECT_EQ(JoyDown(6, 0), 1);
    EXPECT_EQ(JoyDown(1, 0), 0);
    pad.button(SDL_CONTROLLER_BUTTON_START, true);  // Start also counts as button 1
    poll();
    EXPECT_EQ(JoyDown(1, 0), 1);
    pad.button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
    poll();
    EXPECT_EQ(JoyHit(7, 0), 1);
    pad.axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, 30000);  // a trigger fires too
    pad.button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, false);
    poll();
    EXPECT_EQ(JoyDown(6, 0), 1);
}

TEST_F(Input, HitsCountOnlySampledTransitions) {
    TestPad pad;
    JoyCount();
    poll();
    JoyHit(0, 0);
    // Pressed and released between two readings: no hit.
    pad.button(0, true);
    SDL_JoystickUpdate();
    pad.button(0, false);
    poll();
    EXPECT_EQ(JoyHit(0, 0), 0);
    // Pressed before a reading: one hit, kept until asked, however often the pad is read.
    pad.button(0, true);
    poll();
    poll();
    EXPECT_EQ(JoyButtons(0), 1u);
    EXPECT_EQ(JoyHit(0, 0), 1);
    EXPECT_EQ(JoyHit(0, 0), 0);
    // Held: no new hit.
    poll();
    EXPECT_EQ(JoyHit(0, 0), 0);
}

TEST_F(Input, AttachedPadsAreCountedWithoutRebuildingTheTable) {
    TestPad first, second;
    ASSERT_EQ(JoyCount(), 2);
    first.unplug();
    poll();
    EXPECT_EQ(JoyAttached(), 1);
    second.axis(0, 32767);
    poll();
    EXPECT_EQ(JoyX(1), 1.0f);  // the table still has the pad at port 1
}

TEST_F(Input, PadsAreNumberedDenselyAndAPulledPadKeepsItsValues) {
    TestPad first, second;
    ASSERT_EQ(JoyCount(), 2);
    second.axis(0, 32767);
    poll();
    EXPECT_EQ(JoyX(1), 1.0f);
    first.unplug();
    poll();
    EXPECT_EQ(JoyX(1), 1.0f);  // the other pad still reads
    second.unplug();
    poll();
    EXPECT_EQ(JoyX(1), 1.0f);  // pulled: last values stay
    EXPECT_EQ(JoyCount(), 0);
    // A pad plugged in takes port 0 at once; a new count finds it too.
    TestPad third;
    third.axis(1, -32768);
    poll();
    EXPECT_EQ(JoyY(0), -1.0f);
    EXPECT_EQ(JoyCount(), 1);
    poll();
    EXPECT_EQ(JoyY(0), -1.0f);
}

TEST_F(Input, MissingPortsReadAsIdle) {
    poll();
    EXPECT_EQ(JoyX(7), 0.0f);
    EXPECT_EQ(JoyHit(0, 7), 0);
    EXPECT_EQ(JoyDown(0, 99), 0);
}

}  // namespace
