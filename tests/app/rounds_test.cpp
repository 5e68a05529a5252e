// Rounds, the HUD and the game-over screen, played frame by frame.
#include "game_fixture.h"

namespace {

using Rounds = GameTest;
using test_support::PixelAt;
using test_support::Rgb;

TEST(Hud, ScoresAndRoundHaveAtLeastTwoDigits) {
    EXPECT_EQ(score_text("Blue", 3), "Blue: 03");
    EXPECT_EQ(score_text("Red", 12), "Red: 12");
    EXPECT_EQ(score_text("Round", 10), "Round: 10");
    EXPECT_EQ(score_text("Round", 0), "Round: 00");
}

TEST_F(Rounds, OpeningTakesFortySixFramesThenStartsTheRound) {
    MoveMouse(320, 245);
    click();
    frames();  // "Start Game"
    ASSERT_EQ(game_state, STATE_PLAY);
    EXPECT_EQ(play_phase, 0);
    EXPECT_FLOAT_EQ(trans_scale, 0.1f);
    int opening = 0;
    while (play_phase == 0 && opening < 100) {
        EXPECT_EQ(music_playing(), 0);  // silence while the arena zooms in
        frames();
        ++opening;
    }
    EXPECT_EQ(opening, 46);
    EXPECT_FLOAT_EQ(trans_spin, 690);
    EXPECT_NEAR(trans_scale, 1.02f, 1e-5);
    EXPECT_EQ(music_playing(), 2);
    EXPECT_TRUE(was_heard("start"));
    EXPECT_EQ(round_no, 1);
}

TEST_F(Rounds, ClosingTakesAHundredAndOneFramesThenANewArena) {
    start_from_title();
    std::vector<int> tiles;
    for (const level_tag& c : level) tiles.push_back(c.tile);
    player[0].score = 2;
    player[1].score = 1;
    player[0].pads = 0;
    int before = MilliSecs();
    heard.clear();
    frames();
    EXPECT_EQ(play_phase, 2);
    EXPECT_GE(MilliSecs() - before, 1000);  // two half-second waits
    EXPECT_EQ(music_playing(), 0);
    EXPECT_TRUE(was_heard("blulead"));
    int closing = 0;
    while (play_phase == 2 && closing < 200) frames(), ++closing;
    EXPECT_EQ(closing, 101);
    EXPECT_EQ(round_no, 2);
    EXPECT_EQ(play_phase, 0);
    EXPECT_EQ(player[0].pads, 5);
    EXPECT_EQ(player[0].score, 2);  // scores carry over
    EXPECT_TRUE(was_heard("newmap"));
    std::vector<int> now;
    for (const level_tag& c : level) now.push_back(c.tile);
    EXPECT_NE(now, tiles);
}

TEST_F(Rounds, TiedScoresAnnounceATie) {
    start_from_title();
    player[0].score = player[1].score = 4;
    player[1].pads = 0;
    heard.clear();
    frames();
    EXPECT_TRUE(was_heard("tied"));
    EXPECT_FALSE(was_heard("blulead") || was_heard("redlead"));
}

TEST_F(Rounds, ARoundEndingWithTheGameGoesStraightToGameOver) {
    start_from_title();
    player[0].pads = 0;
    player[1].battery = 0;
    frames();
    EXPECT_EQ(game_state, STATE_OVER);
    EXPECT_EQ(play_phase, 2);  // stays until the next game resets it
    EXPECT_EQ(over_tmr, 1000);
    EXPECT_EQ(music_playing(), 0);
}

TEST_F(Rounds, GameOverAnnouncesTheWinnerAndReturnsByItself) {
    start_from_title();
    player[0].score = 1;
    player[1].score = 3;
    player[0].battery = 0;  // Blue ran out, Red leads: Red wins
    frames();
    ASSERT_EQ(game_state, STATE_OVER);
    heard.clear();
    int n = 0;
    bool announced_at_100 = false;
    while (game_state == STATE_OVER && n < 2000) {
        frames();
        ++n;
        if (n == 99) {
            EXPECT_FALSE(was_heard("redwin"));
        }
        if (n == 100) announced_at_100 = was_heard("redwin");
        if (n == 150) {
            press_key(SDLK_ESCAPE);  // keys do nothing here
            press_key(SDLK_SPACE);
        }
    }
    EXPECT_TRUE(announced_at_100);
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(game_state, STATE_TITLE);
    EXPECT_EQ(music_playing(), 1);
    EXPECT_TRUE(was_heard("land"));
}

TEST_F(Rounds, TheTitleShowsTheVersionLineAndPlayShowsBatteries) {
    start_from_title();
    player[0].battery = 2;
    player[1].battery = 4;
    frames();
    Pixmap pic = ReadPicture();
    // Blue fills from the left edge, Red from the right.
    for (int i = 0; i < 5; ++i) {
        Rgb blue = PixelAt(pic, 60 + 34 * i + 12, 466);
        Rgb red = PixelAt(pic, 556 - 34 * i + 12, 466);
        EXPECT_EQ(blue, i < 2 ? (Rgb{50, 100, 255}) : (Rgb{25, 50, 100})) << i;
        EXPECT_EQ(red, i < 4 ? (Rgb{255, 100, 50}) : (Rgb{100, 50, 25})) << i;
    }
    press_key(SDLK_ESCAPE);  // pause
    frames();
    press_key(SDLK_ESCAPE);  // to the title
    frames(2);
    ASSERT_EQ(game_state, STATE_TITLE);
    pic = ReadPicture();
    EXPECT_NE(PixelAt(pic, 72, 466), (Rgb{50, 100, 255}));
    EXPECT_EQ(round_no, 1);  // the last game's standing stays on show
    EXPECT_EQ(player[0].battery, 2);
}

TEST_F(Rounds, PadButtonLeavesGameOverNoSoonerThanItsTwoHundredAndFirstFrame) {
    test_support::VirtualPad* pad = nullptr;
    if (pads_found == 0) {
        static test_support::VirtualPad attached;
        pads_found = JoyCount();
        pad = &attached;
    }
    ASSERT_NE(pad, nullptr);
    start_from_title();
    player[1].battery = 0;
    frames();
    ASSERT_EQ(game_state, STATE_OVER);
    int n = 0;
    while (game_state == STATE_OVER && n < 2000) {
        if (n == 50) pad->button(SDL_CONTROLLER_BUTTON_A, true);
        if (n == 52) pad->button(SDL_CONTROLLER_BUTTON_A, false);
        frames();
        ++n;
    }
    EXPECT_EQ(n, 201);  // the early press waited for the prompt
}

}  // namespace
