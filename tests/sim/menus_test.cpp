// The logo intro and the title and pause menus, frame by frame.
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

TEST_F(Menus, TheLogoStandsTwoHundredAndTwentyFiveFramesThenFades) {
    w = new_world(5);
    g = new_game_state(0);
    int n = 0;
    while (g.game_state == GameState::intro && n < 1000) frames(), ++n;
    EXPECT_EQ(n, 327);  // 326 logo frames, then the first title frame
    EXPECT_EQ(music, 1);
    EXPECT_EQ(g.round_no, 1);  // the new game made in the background
    EXPECT_EQ(g.pointer_y, 245);
}

TEST_F(Menus, AKeyClickOrPadButtonEndsTheLogo) {
    auto frames_to_title = [&](auto press) {
        w = new_world(5);
        g = new_game_state(1);
        frames(3);
        press();
        int n = 0;
        while (g.game_state == GameState::intro && n < 1000) frames(), ++n;
        return n;
    };
    EXPECT_EQ(frames_to_title([&] { esc(); }), 1);
    EXPECT_EQ(frames_to_title([&] { space(); }), 1);
    EXPECT_EQ(frames_to_title([&] { click(); }), 1);
    EXPECT_EQ(frames_to_title([&] { button(0, 0, true); }), 1);
    button(0, 0, false);
    EXPECT_EQ(frames_to_title([&] { button(0, 1, true); }), 324);  // not that button
    button(0, 1, false);
}

TEST_F(Menus, ClosingTheWindowDuringTheLogoStillShowsOneTitleFrame) {
    w = new_world(5);
    g = new_game_state(0);
    frames(10);
    in.quit = true;
    frames();
    EXPECT_EQ(g.game_state, GameState::title);
    EXPECT_EQ(g.quit_game, 1);
    EXPECT_FALSE(out.ended);  // this frame is still shown
    frames();
    EXPECT_TRUE(out.ended);
}

TEST_F(Menus, ClicksOutsideTheItemsDoNothing) {
    for (int y : {225, 425, 10}) {
        click_at(320, y);
        frames();
        EXPECT_EQ(g.game_state, GameState::title) << y;
        EXPECT_EQ(g.quit_game, 0);
    }
    EXPECT_EQ(flush_waits, 3);  // but each flushes the inputs
    click_at(5, 226);  // x does not matter
    frames();
    EXPECT_EQ(g.game_state, GameState::play);
    EXPECT_EQ(music, 0);  // the title music stops at once
    EXPECT_TRUE(was_heard("newmap"));
}

TEST_F(Menus, SoundVolumeCyclesThroughOffAndTenPercentSteps) {
    pointer(320, 245 + 80);
    ASSERT_EQ(g.sound_lvl, 10);
    click();
    frames();
    EXPECT_EQ(g.sound_lvl, 0);
    EXPECT_EQ(g.sound_vol, 0.0f);
    ASSERT_TRUE(was_heard("explode"));  // started, silently
    EXPECT_EQ(out.events.list.front().volume, 0.0f);
    for (int i = 0; i < 10; ++i) {
        click();
        frames();
    }
    EXPECT_EQ(g.sound_lvl, 10);
    EXPECT_EQ(g.sound_vol, 1.0000001f);  // ten float steps of 0.1
    EXPECT_EQ(out.events.list.front().volume, 1.0000001f);
}

TEST_F(Menus, MusicVolumeReachesThePlayingTrackAtOnce) {
    pointer(320, 245 + 120);
    click();
    frames();
    EXPECT_EQ(g.music_lvl, 0);
    click();
    frames();
    EXPECT_EQ(g.music_lvl, 1);
    EXPECT_FLOAT_EQ(g.music_vol, 0.1f);
    ASSERT_EQ(out.events.list.front().kind, FrameEvent::Kind::music_volume);
    EXPECT_FLOAT_EQ(out.events.list.front().volume, 0.1f);
    for (int i = 0; i < 9; ++i) click(), frames();
    EXPECT_EQ(g.music_lvl, 10);
}

TEST_F(Menus, PauseMenuResumesGreysPadDetectionAndQuits) {
    start_from_title();
    space();
    frames();
    ASSERT_EQ(g.game_state, GameState::pause);
    EXPECT_EQ(music, 1);  // the title track plays in pause
    in.pad_count = 3;     // a pad plugged in meanwhile
    click_at(320, 285);
    frames();
    EXPECT_EQ(g.pads_found, 2);  // item 1 does nothing here
    EXPECT_FALSE(was_heard("detectgb"));
    click_at(320, 245);
    frames();
    EXPECT_EQ(g.game_state, GameState::play);
    EXPECT_EQ(music, 2);
    space();
    frames();
    click_at(320, 405);
    frames();
    EXPECT_EQ(g.game_state, GameState::title);
    EXPECT_TRUE(was_heard("land"));
    EXPECT_EQ(g.pointer_y, 245);
    // On the title the same item counts the pads again.
    click_at(320, 285);
    frames();
    EXPECT_EQ(g.pads_found, 3);
    EXPECT_TRUE(was_heard("detectgb"));
    bool recount = false;
    for (const FrameEvent& e : out.events.list) recount |= e.kind == FrameEvent::Kind::recount_pads;
    EXPECT_TRUE(recount);
}

TEST_F(Menus, EscapeThenTheResumeKeysInOneFrameOfPlay) {
    start_from_title();
    // Entering pause flushes the keys, so a Space hit in the same frame is gone...
    esc();
    space();
    frames();
    EXPECT_EQ(g.game_state, GameState::pause);
    EXPECT_EQ(music, 1);
    space();
    frames();
    ASSERT_EQ(g.game_state, GameState::play);
    // ...but pad 0's button 1 is not a key: Escape and the button pause and at once resume.
    button(0, 1, true);
    esc();
    frames();
    button(0, 1, false);
    EXPECT_EQ(g.game_state, GameState::play);
    EXPECT_EQ(music, 2);  // the play track started again
    bool grabbed = false;
    for (const SceneOp& op : out.scene.ops) grabbed |= op.kind == SceneOp::Kind::grab_pause;
    EXPECT_TRUE(grabbed);  // the pause picture was taken all the same
    esc();
    frames();
    EXPECT_EQ(g.game_state, GameState::pause);
    esc();
    frames();
    EXPECT_EQ(g.game_state, GameState::title);
    EXPECT_EQ(music, 1);  // the title track goes on
    esc();
    frames();
    EXPECT_EQ(g.quit_game, 1);
    EXPECT_TRUE(out.ended);
}

TEST_F(Menus, PadStickMovesThePointerOnlyAtFullDeflection) {
    pointer(300, 300);
    stick(0, AXIS_X, 0.99f);
    stick(0, AXIS_Y, -0.99f);
    frames();
    EXPECT_EQ(g.pointer_x, 300);
    EXPECT_EQ(g.pointer_y, 300);
    stick(0, AXIS_X, 1);
    stick(0, AXIS_Y, -1);
    frames();
    EXPECT_EQ(g.pointer_x, 306);
    EXPECT_EQ(g.pointer_y, 294);
    stick(0, AXIS_X, 0);
    stick(0, AXIS_Y, 0);
    // Button 0 chooses the highlighted item and waits for the button's release.
    pointer(320, 425 - 1);
    button(0, 0, true);
    frames();
    EXPECT_EQ(g.quit_game, 1);  // "Exit Game"
    EXPECT_EQ(flush_waits, 1);
}

}  // namespace
