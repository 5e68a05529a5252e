// The arena is drawn in painter's order: a raised block in a later cell covers a
// helicopter, and Red is drawn over Blue in a shared cell. Real sprites, real pixels.
#include "present/media.h"
#include "present/world_draw.h"
#include "support.h"
#include "world_fixture.h"

namespace {

using test_support::OpenHeadlessGraphics;

class Painter : public WorldTest {
protected:
    void SetUp() override {
        OpenHeadlessGraphics();
        register_assets();
        SetMaskColor(0, 0, 0);
        AutoImageFlags(MASKEDIMAGE | DYNAMICIMAGE);
        create_images(media);
        load_media(media);
        WorldTest::SetUp();
    }

    Pixmap render() {
        SetClsColor(0, 0, 0);
        Cls();
        draw_arena(media.draw3d, w.level, w.player, media.sprites);
        return ReadPicture();
    }

    Media media;

    // A seed whose map has a block with room for a helicopter in the cell to its left.
    int block_with_left_neighbour(int* seed) {
        for (*seed = 1;; ++*seed) {
            w.rng.SeedRnd(*seed);
            level_tag::new_map(w);
            for (int i = 0; i < 260; ++i) {
                if (w.level[i].tile == TILE_BLOCK && i % 20 > 1 && w.level[i - 1].tile != TILE_BLOCK &&
                    w.player[0].pos != i - 1 && w.player[0].pos != i)
                    return i;
            }
        }
    }
};

TEST_F(Painter, ALaterBlockCoversAFlyingHelicopter) {
    int seed = 0;
    int block = block_with_left_neighbour(&seed);
    // Blue stands landed on its start pad; Red flies at altitude 30, scale 0.8, in the
    // cell left of the block.
    w.player[0].pos = cell_index(w.player[0].x, w.player[0].y);
    player_tag& red = w.player[1];
    red.x = float(w.level[block - 1].x);
    red.y = float(w.level[block - 1].y);
    red.alt = 30;
    red.scale = 0.8f;
    red.pos = block - 1;
    Pixmap scene = render();
    ASSERT_TRUE(SavePNG(test_support::OutputPath("painter-arena.png"), scene));

    red.pos = -1;  // Red not drawn
    Pixmap no_red = render();
    w.level[block].tile = TILE_FLOOR;
    Pixmap no_red_no_block = render();
    red.pos = block - 1;
    Pixmap red_no_block = render();
    w.level[block].tile = TILE_BLOCK;

    // Red's body box, and in it the pixels the block paints.
    int cx = int(red.x), cy = int(red.y) - red.alt;
    int covered = 0, covered_where_red_would_show = 0, red_shows = 0;
    for (int y = cy - 20; y <= cy + 20; ++y) {
        for (int x = cx - 8; x <= cx + 8; ++x) {
            auto px = [&](const Pixmap& p) { return test_support::PixelAt(p, x, y); };
            bool block_paints = !(px(no_red) == px(no_red_no_block));
            bool red_paints = !(px(red_no_block) == px(no_red_no_block));
            if (block_paints) {
                ++covered;
                ASSERT_EQ(px(scene), px(no_red)) << "the block must cover Red at " << x << "," << y;
                covered_where_red_would_show += red_paints;
            } else if (red_paints && !(px(scene) == px(no_red))) {
                ++red_shows;
            }
        }
    }
    EXPECT_GT(covered_where_red_would_show, 30) << "seed " << seed;
    EXPECT_GT(red_shows, 30);
    EXPECT_GT(covered, 100);
}

TEST_F(Painter, AnEarlierBlockLiesUnderTheHelicopter) {
    int seed = 0;
    int block = block_with_left_neighbour(&seed);
    w.level[block + 1].tile = TILE_FLOOR;
    w.player[0].pos = -1;
    player_tag& red = w.player[1];
    red.x = float(w.level[block + 1].x - 20);  // over the block's raised top, in the next cell
    red.y = float(w.level[block + 1].y);
    red.alt = 30;
    red.scale = 0.8f;
    red.pos = block + 1;
    Pixmap scene = render();
    red.pos = -1;
    Pixmap no_red = render();
    // Wherever Red is drawn, it is drawn over the block: compare with Red over plain floor.
    w.level[block].tile = TILE_FLOOR;
    red.pos = block + 1;
    Pixmap red_on_floor = render();
    int over_block = 0;
    int cx = int(red.x), cy = int(red.y) - red.alt;
    for (int y = cy - 15; y <= cy + 15; ++y)
        for (int x = cx - 5; x <= cx + 5; ++x) {
            auto px = [&](const Pixmap& p) { return test_support::PixelAt(p, x, y); };
            if (!(px(scene) == px(no_red)) && px(scene) == px(red_on_floor)) ++over_block;
        }
    EXPECT_GT(over_block, 40);
}

TEST_F(Painter, RedIsDrawnOverBlueInASharedCell) {
    for (level_tag& cell : w.level) cell.tile = TILE_FLOOR;
    for (int i = 0; i < 2; ++i) {
        w.player[i].x = 300;
        w.player[i].y = 200;
        w.player[i].pos = cell_index(300, 200);
        w.player[i].scale = 0.5f;
        w.player[i].alt = 0;
    }
    Pixmap both = render();
    w.player[0].pos = -1;
    Pixmap red_only = render();
    w.player[0].pos = w.player[1].pos;
    w.player[1].pos = -1;
    Pixmap blue_only = render();
    int differs_from_blue = 0;
    for (int y = 190; y <= 210; ++y)
        for (int x = 296; x <= 304; ++x) {
            ASSERT_EQ(test_support::PixelAt(both, x, y), test_support::PixelAt(red_only, x, y)) << x << "," << y;
            differs_from_blue += !(test_support::PixelAt(both, x, y) == test_support::PixelAt(blue_only, x, y));
        }
    EXPECT_GT(differs_from_blue, 20);
}

TEST_F(Painter, HelicopterShadowAndBodyLandOnWholePixels) {
    // Landed at (100.7, 200.2): shadow and body both centred on (100, 200).
    for (level_tag& cell : w.level) cell.tile = TILE_VOID;
    w.player[1].pos = -1;
    w.player[0].x = 100.7f;
    w.player[0].y = 200.2f;
    w.player[0].pos = cell_index(100.7, 200.2);
    Pixmap a = render();
    w.player[0].x = 100.0f;
    w.player[0].y = 200.0f;
    Pixmap b = render();
    EXPECT_EQ(a.pixels, b.pixels);
    // In flight the body stands alt pixels higher than its shadow.
    lift(0, 51);
    Pixmap flying = render();
    int lit_above = 0;
    for (int x = 90; x < 110; ++x) lit_above += test_support::PixelAt(flying, x, 149).g > 20;
    EXPECT_GT(lit_above, 0);
}

}  // namespace
