// A screen at rest is not drawn again, and nothing that changes the picture is missed:
// the title's frames run headless, with hooks whose drawing the test controls.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/draw.h"
#include "platform/options.h"
#include "platform/renderer.h"
#include "platform/pacer.h"
#include "session/local_play.h"
#include "session/runner.h"

namespace {

// Draws a square whose colour the test sets; says so in its key unless told it cannot.
class Square : public FrameHook {
public:
    int shade = 40;
    bool can_tell = true;
    void draw_over(Program&) override {
        int r, g, b;
        GetColor(&r, &g, &b);
        SetColor(shade, shade, shade);
        DrawRect(300, 20, 40, 40);
        SetColor(r, g, b);
    }
    bool draw_key(const Program&, std::string& key) const override {
        key += "square " + std::to_string(shade) + ";";
        return can_tell;
    }
};

int quads_of_one_frame(Program& p, std::unique_ptr<Mode>& mode) {
    RendererTakeStats();
    EXPECT_TRUE(run_frame(p, mode));
    return RendererTakeStats().quads;
}

TEST(RestingFrame, TheTitleAtRestIsNotDrawnAndEveryChangeIsShown) {
    engine_options.headless = true;
    Program p;
    auto square = std::make_shared<Square>();
    std::unique_ptr<Mode> mode = std::make_unique<LocalPlay>(std::vector<std::shared_ptr<FrameHook>>{square});
    start_program(p, 11);
    while (p.game.game_state == GameState::intro) ASSERT_TRUE(run_frame(p, mode));
    EXPECT_GT(quads_of_one_frame(p, mode), 0) << "the title's first frame";
    // The pointer settles on its place; from then on the title repeats itself.
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(run_frame(p, mode));
    Pixmap title = ReadPicture();
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(quads_of_one_frame(p, mode), 0) << "frame " << i << " at rest was drawn";
        ASSERT_EQ(ReadPicture().pixels, title.pixels) << "frame " << i;
    }

    // An overlay that changes is drawn at once, and the title under it as before.
    square->shade = 200;
    EXPECT_GT(quads_of_one_frame(p, mode), 0);
    Pixmap lighter = ReadPicture();
    EXPECT_NE(lighter.pixels, title.pixels);
    square->shade = 40;
    EXPECT_GT(quads_of_one_frame(p, mode), 0);
    EXPECT_EQ(ReadPicture().pixels, title.pixels);

    // A hook that cannot say what it draws has every frame drawn.
    square->can_tell = false;
    for (int i = 0; i < 3; ++i) EXPECT_GT(quads_of_one_frame(p, mode), 0) << i;
    square->can_tell = true;
    quads_of_one_frame(p, mode);
    EXPECT_EQ(quads_of_one_frame(p, mode), 0);

    // Something else draws on the picture between two frames (a screen's own loop): the
    // next frame draws the title again instead of keeping that picture.
    SetColor(255, 0, 0);
    DrawRect(0, 0, 640, 480);
    SetColor(255, 255, 255);
    Flip();
    EXPECT_GT(quads_of_one_frame(p, mode), 0);
    EXPECT_EQ(ReadPicture().pixels, title.pixels);

    // A drawing state changed between frames (here the colour, which the title's text
    // takes) is a reason to draw again too.
    SetColor(10, 200, 10);
    int drawn = quads_of_one_frame(p, mode);
    SetColor(255, 255, 255);
    EXPECT_GT(drawn, 0);
}

}  // namespace
