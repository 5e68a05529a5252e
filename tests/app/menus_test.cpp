// The title and pause menus and the logo intro's pointer.
#include "game_fixture.h"

namespace {

using Menus = GameTest;

TEST(MenuItems, HighlightComesFromThePointersHeightAlone) {
    EXPECT_EQ(menu_item_at(225), -1);
    EXPECT_EQ(menu_item_at(226), 0);
    EXPECT_EQ(menu_item_at(264), 0);
    EXPECT_EQ(menu_item_at(265), 1);
    EXPECT_EQ(menu_item_at(424), 4);
    EXPECT_EQ(menu_item_at(425), -1);
    EXPECT_EQ(menu_item_at(470), -1);
    EXPECT_EQ(menu_item_at(-10), -1);
}

TEST_F(Menus, ClicksOutsideTheItemsDoNothing) {
    for (int y : {225, 425, 10}) {
        MoveMouse(320, y);
        click();
        frames();
        EXPECT_EQ(game_state, STATE_TITLE) << y;
        EXPECT_EQ(quit_game, 0);
    }
    MoveMouse(5, 226);  // x does not matter
    click();
    frames();
    EXPECT_EQ(game_state, STATE_PLAY);
    EXPECT_EQ(music_playing(), 0);  // the title music stops at once
    EXPECT_TRUE(was_heard("newmap"));
}

TEST_F(Menus, SoundVolumeCyclesThroughOffAndTenPercentSteps) {
    MoveMouse(320, 245 + 80);
    ASSERT_EQ(sound_lvl, 10);
    click();
    frames();
    EXPECT_EQ(sound_lvl, 0);
    EXPECT_EQ(sound_vol, 0.0f);
    EXPECT_TRUE(was_heard("explode"));  // started, silently
    for (int i = 0; i < 10; ++i) {
        click();
        frames();
    }
    EXPECT_EQ(sound_lvl, 10);
    EXPECT_EQ(sound_vol, 1.0000001f);  // ten float steps of 0.1
    EXPECT_EQ(vol_txt[sound_lvl], "Max");
    EXPECT_EQ(vol_txt[1], "10%");
}

TEST_F(Menus, MusicVolumeReachesThePlayingTrackAtOnce) {
    MoveMouse(320, 245 + 120);
    click();
    frames();
    EXPECT_EQ(music_lvl, 0);
    click();
    frames();
    EXPECT_EQ(music_lvl, 1);
    EXPECT_FLOAT_EQ(music_vol, 0.1f);
    for (int i = 0; i < 9; ++i) click(), frames();
    EXPECT_EQ(music_lvl, 10);
}

TEST_F(Menus, PauseMenuResumesGreysPadDetectionAndQuits) {
    start_from_title();
    press_key(SDLK_SPACE);
    frames();
    ASSERT_EQ(game_state, STATE_PAUSE);
    EXPECT_EQ(music_playing(), 1);  // the title track plays in pause
    int pads = pads_found;
    static test_support::VirtualPad extra;  // a pad plugged in meanwhile
    MoveMouse(320, 285);
    click();
    frames();
    EXPECT_EQ(pads_found, pads);  // item 1 does nothing here
    EXPECT_FALSE(was_heard("detectgb"));
    MoveMouse(320, 245);
    click();
    frames();
    EXPECT_EQ(game_state, STATE_PLAY);
    EXPECT_EQ(music_playing(), 2);
    press_key(SDLK_SPACE);
    frames();
    MoveMouse(320, 405);
    click();
    frames();
    EXPECT_EQ(game_state, STATE_TITLE);
    EXPECT_TRUE(was_heard("land"));
    EXPECT_EQ(MouseY(), 245);
    // On the title the same item counts the pads again.
    MoveMouse(320, 285);
    click();
    frames();
    EXPECT_EQ(pads_found, JoyCount());
    EXPECT_GT(pads_found, pads);
    EXPECT_TRUE(was_heard("detectgb"));
}

TEST_F(Menus, EscapeThenTheResumeKeysInOneFrameOfPlay) {
    static test_support::VirtualPad pad;
    pads_found = JoyCount();
    start_from_title();
    // Entering pause flushes the keys, so a Space hit in the same frame is gone...
    push_key(SDLK_ESCAPE, true);
    push_key(SDLK_SPACE, true);
    frames();
    EXPECT_EQ(game_state, STATE_PAUSE);
    EXPECT_EQ(music_playing(), 1);
    push_key(SDLK_ESCAPE, false);
    push_key(SDLK_SPACE, false);
    press_key(SDLK_SPACE);
    frames();
    ASSERT_EQ(game_state, STATE_PLAY);
    // ...but pad 0's button 1 is not a key: Escape and the button pause and at once resume.
    JoyHit(1, 0);
    pad.button(SDL_CONTROLLER_BUTTON_B, true);
    press_key(SDLK_ESCAPE);
    frames();
    pad.button(SDL_CONTROLLER_BUTTON_B, false);
    EXPECT_EQ(game_state, STATE_PLAY);
    EXPECT_EQ(music_playing(), 2);  // the play track started again
    press_key(SDLK_ESCAPE);
    frames();
    EXPECT_EQ(game_state, STATE_PAUSE);
    press_key(SDLK_ESCAPE);
    frames();
    EXPECT_EQ(game_state, STATE_TITLE);
    EXPECT_EQ(music_playing(), 1);  // the title track goes on
    press_key(SDLK_ESCAPE);
    frames();
    EXPECT_EQ(quit_game, 1);
}

TEST_F(Menus, PadStickMovesThePointerOnlyAtFullDeflection) {
    static test_support::VirtualPad pad;
    pads_found = JoyCount();
    MoveMouse(300, 300);
    pad.stick(SDL_CONTROLLER_AXIS_LEFTX, 0.99f);
    pad.stick(SDL_CONTROLLER_AXIS_LEFTY, -0.99f);
    frames();
    EXPECT_EQ(MouseX(), 300);
    EXPECT_EQ(MouseY(), 300);
    pad.stick(SDL_CONTROLLER_AXIS_LEFTX, 1);
    pad.stick(SDL_CONTROLLER_AXIS_LEFTY, -1);
    frames();
    EXPECT_EQ(MouseX(), 306);
    EXPECT_EQ(MouseY(), 294);
    pad.stick(SDL_CONTROLLER_AXIS_LEFTX, 0);
    pad.stick(SDL_CONTROLLER_AXIS_LEFTY, 0);
    // Button 0 chooses the highlighted item; the flush then waits for its release.
    MoveMouse(320, 425 - 1);
    pad.button(SDL_CONTROLLER_BUTTON_A, true);
    SDL_JoystickUpdate();
    JoyDown(0, 0);
    pad.button(SDL_CONTROLLER_BUTTON_A, false);
    frames();
    EXPECT_EQ(quit_game, 1);  // "Exit Game"
}

}  // namespace
