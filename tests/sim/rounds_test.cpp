// Rounds, their transitions and the game-over screen, frame by frame.
#include "game_fixture.h"

namespace {

using Rounds = GameTest;

TEST(Hud, ScoresAndRoundHaveAtLeastTwoDigits) {
    EXPECT_EQ(score_text("Blue", 3), "Blue: 03");
    EXPECT_EQ(score_text("Red", 12), "Red: 12");
    EXPECT_EQ(score_text("Round", 10), "Round: 10");
    EXPECT_EQ(score_text("Round", 0), "Round: 00");
}

TEST_F(Rounds, OpeningTakesFortySixFramesThenStartsTheRound) {
    click_at(320, 245);
    frames();  // "Start Game"
    ASSERT_EQ(g.game_state, GameState::play);
    EXPECT_EQ(g.play_phase, PlayPhase::opening);
    EXPECT_FLOAT_EQ(g.trans_scale, 0.1f);
    int opening = 0;
    while (g.play_phase == PlayPhase::opening && opening < 100) {
        EXPECT_EQ(music, 0);  // silence while the arena zooms in
        frames();
        ++opening;
    }
    // 46 frames, the last presented at once; the round starts in the frame after it.
    EXPECT_EQ(opening, 47);
    EXPECT_FLOAT_EQ(g.trans_spin, 690);
    EXPECT_NEAR(g.trans_scale, 1.02f, 1e-5);
    EXPECT_EQ(music, 2);
    EXPECT_TRUE(was_heard("start"));
    EXPECT_EQ(g.round_no, 1);
}

TEST_F(Rounds, TheOpeningsLastPictureIsPresentedAtOnceAndNothingIsReadAfterIt) {
    click_at(320, 245);
    frames();
    while (out.present_sync != 1) frames();
    EXPECT_EQ(g.play_phase, PlayPhase::opening);
    // An Escape now waits for the round's first frame to be shown.
    esc();
    frames();
    EXPECT_EQ(g.game_state, GameState::play);
    EXPECT_EQ(g.play_phase, PlayPhase::running);
    EXPECT_EQ(out.present_sync, -1);
    frames();
    EXPECT_EQ(g.game_state, GameState::pause);
}

TEST_F(Rounds, ClosingTakesAHundredAndOneFramesThenANewArena) {
    start_from_title();
    std::vector<int> tiles;
    for (const level_tag& c : w.level) tiles.push_back(c.tile);
    w.player[0].score = 2;
    w.player[1].score = 1;
    w.player[0].pads = 0;
    heard.clear();
    frames();
    EXPECT_EQ(g.play_phase, PlayPhase::closing);
    EXPECT_EQ(waited_ms, 1000);  // two half-second waits
    EXPECT_EQ(music, 0);
    EXPECT_TRUE(was_heard("blulead"));
    int closing = 0;
    while (g.play_phase == PlayPhase::closing && closing < 200) frames(), ++closing;
    EXPECT_EQ(closing, 101);
    EXPECT_EQ(g.round_no, 2);
    EXPECT_EQ(g.play_phase, PlayPhase::opening);
    EXPECT_EQ(w.player[0].pads, 5);
    EXPECT_EQ(w.player[0].score, 2);  // scores carry over
    EXPECT_TRUE(was_heard("newmap"));
    std::vector<int> now;
    for (const level_tag& c : w.level) now.push_back(c.tile);
    EXPECT_NE(now, tiles);
}

TEST_F(Rounds, TiedScoresAnnounceATie) {
    start_from_title();
    w.player[0].score = w.player[1].score = 4;
    w.player[1].pads = 0;
    heard.clear();
    frames();
    EXPECT_TRUE(was_heard("tied"));
    EXPECT_FALSE(was_heard("blulead") || was_heard("redlead"));
}

TEST_F(Rounds, ARoundEndingWithTheGameGoesStraightToGameOver) {
    start_from_title();
    w.player[0].pads = 0;
    w.player[1].battery = 0;
    flush_waits = 0;
    frames();
    EXPECT_EQ(g.game_state, GameState::over);
    EXPECT_EQ(g.play_phase, PlayPhase::closing);  // stays until the next game resets it
    EXPECT_EQ(g.over_tmr, 1000);
    EXPECT_EQ(music, 0);
    EXPECT_EQ(flush_waits, 1);
}

TEST_F(Rounds, ACollisionAsTheRoundEndsIsCountedAgainWhenThePictureIsMade) {
    start_from_title();
    // Both land in one cell in the frame Blue collects its last pad.
    w.player[0].pads = 1;
    int cell = cell_index(w.player[0].x, w.player[0].y);
    for (level_tag& c : w.level) c.tile = TILE_FLOOR;
    w.level[cell].tile = TILE_BLUE_PAD;
    w.player[1].x = w.player[0].x;
    w.player[1].y = w.player[0].y;
    frames();
    EXPECT_EQ(g.play_phase, PlayPhase::closing);
    // The frame's own test and the one run again as the picture is made.
    EXPECT_EQ(w.player[0].battery, 3);
    EXPECT_EQ(w.player[1].battery, 3);
}

TEST_F(Rounds, GameOverAnnouncesTheWinnerAndReturnsByItself) {
    start_from_title();
    w.player[0].score = 1;
    w.player[1].score = 3;
    w.player[0].battery = 0;  // Blue ran out, Red leads: Red wins
    frames();
    ASSERT_EQ(g.game_state, GameState::over);
    heard.clear();
    int n = 0;
    bool announced_at_100 = false;
    while (g.game_state == GameState::over && n < 2000) {
        if (n == 150) {
            esc();  // keys do nothing here
            space();
            click();
        }
        frames();
        ++n;
        if (n == 99) {
            EXPECT_FALSE(was_heard("redwin"));
        }
        if (n == 100) announced_at_100 = was_heard("redwin");
    }
    EXPECT_TRUE(announced_at_100);
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(g.game_state, GameState::title);
    EXPECT_EQ(music, 1);
    EXPECT_TRUE(was_heard("land"));
}

TEST_F(Rounds, PadButtonLeavesGameOverNoSoonerThanItsTwoHundredAndFirstFrame) {
    start_from_title();
    w.player[1].battery = 0;
    frames();
    ASSERT_EQ(g.game_state, GameState::over);
    int n = 0;
    while (g.game_state == GameState::over && n < 2000) {
        button(0, 0, n >= 50 && n < 52);
        frames();
        ++n;
    }
    EXPECT_EQ(n, 201);  // the early press waited for the prompt
}

TEST_F(Rounds, TheTitleKeepsTheLastGamesStanding) {
    start_from_title();
    w.player[0].battery = 2;
    frames();
    esc();  // pause
    frames();
    esc();  // to the title
    frames(2);
    ASSERT_EQ(g.game_state, GameState::title);
    ASSERT_EQ(out.scene.ops.back().kind, SceneOp::Kind::hud);
    const HudView& hud = out.scene.ops.back().hud;
    EXPECT_TRUE(hud.title);
    EXPECT_EQ(hud.round_no, 1);
    EXPECT_EQ(hud.battery[0], 2);
}

}  // namespace
