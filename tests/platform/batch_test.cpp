// Frames drawn from the shared texture look exactly as frames drawn from textures of
// their own, in far fewer draw calls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "platform/draw.h"
#include "platform/font.h"
#include "platform/options.h"
#include "platform/renderer.h"
#include "platform/window.h"
#include "platform/engine.h"
#include "support.h"

namespace {

using test_support::OpenHeadlessGraphics;
using test_support::PixelAt;
using test_support::Rgb;

// Sprites of odd sizes with masked holes and hard edges, so that edge clamping, the
// copied last column and row, and the mask all show in the picture.
Image sprite(int w, int h, int seed, int flags) {
    Pixmap p = MakePixmap(w, h, 3);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* q = p.at(x, y);
            bool hole = (x * 7 + y * 3 + seed) % 5 == 0;
            for (int c = 0; c < 3; ++c) q[c] = hole ? 0 : uint8_t(rng() % 255 + 1);
        }
    Image img = CreateImage(w, h, 1, flags);
    SetImagePixels(img, 0, p);
    return img;
}

// Hundreds of quads turned, scaled and placed between pixels, in every blend mode the
// game uses, with smoothed text at fractional places and scales.
Pixmap draw_scene(const ImageFont& font) {
    SetClsColor(20, 30, 40);
    Cls();
    std::vector<Image> images;
    for (int i = 0; i < 12; ++i) images.push_back(sprite(5 + i * 3, 3 + i * 4, i, MASKEDIMAGE | DYNAMICIMAGE));
    images.push_back(sprite(32, 32, 99, MASKEDIMAGE | DYNAMICIMAGE));
    std::mt19937 rng(7);
    auto uniform = [&](float a, float b) { return a + (b - a) * float(rng() % 10000) / 10000.0f; };
    const int blends[] = {MASKBLEND, ALPHABLEND, LIGHTBLEND, SOLIDBLEND, SHADEBLEND};
    for (int i = 0; i < 400; ++i) {
        const Image& img = images[rng() % images.size()];
        MidHandleImage(img);
        SetBlend(blends[rng() % 5]);
        SetColor(int(rng() % 256), int(rng() % 256), int(rng() % 256));
        SetAlpha(uniform(0, 1));
        SetTransform(uniform(-180, 180), uniform(0.3f, 4), uniform(0.3f, 4));
        DrawImage(img, uniform(0, 640), uniform(0, 480));
    }
    SetImageFont(font);
    SetBlend(ALPHABLEND);
    for (int i = 0; i < 30; ++i) {
        SetColor(int(rng() % 256), 200, 255);
        SetAlpha(uniform(0.5f, 1));
        float s = uniform(1, 2.5f);
        SetTransform(0, s, s);
        DrawText("Round: 07 Bat", uniform(0, 500), uniform(0, 460));
    }
    SetTransform(0, 1, 1);
    SetAlpha(1);
    SetBlend(MASKBLEND);
    return ReadPicture();
}

void reopen(bool fixed_function) {
    if (fixed_function) setenv("WHIRLBAT_FIXED_FUNCTION", "1", 1);
    else unsetenv("WHIRLBAT_FIXED_FUNCTION");
    engine_options.headless = true;
    ASSERT_TRUE(Graphics(640, 480, 32, 60)) << GraphicsError();
}

TEST(Batching, SharedTextureGivesTheSamePixelsAsOwnTextures) {
    // Opening the window again with the other pipeline leaves the driver's memory of
    // the first behind for good.
    test_support::DriverAllocations driver;
    OpenHeadlessGraphics();
    if (!RendererBatchesShared()) GTEST_SKIP() << "the driver runs no shaders";
    ImageFont font = LoadImageFont("incbin::armalite.ttf", 24, SMOOTHFONT);
    if (!font) font = LoadImageFont(test_support::SourcePath("assets/armalite.ttf"), 24, SMOOTHFONT);
    ASSERT_TRUE(font);
    RendererTakeStats();
    Pixmap shared = draw_scene(font);
    int shared_calls = RendererTakeStats().draw_calls;
    reopen(true);
    ASSERT_FALSE(RendererBatchesShared());
    Pixmap own = draw_scene(font);
    int own_calls = RendererTakeStats().draw_calls;
    reopen(false);
    ASSERT_TRUE(RendererBatchesShared());
    int differ = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) differ += !(PixelAt(shared, x, y) == PixelAt(own, x, y));
    EXPECT_EQ(differ, 0);
    // Blend changes alone break the shared batches.
    EXPECT_LT(shared_calls, own_calls);
    SetImageFont(nullptr);
}

TEST(Batching, ImagesAndTextShareOneDrawCallPerBlendMode) {
    OpenHeadlessGraphics();
    if (!RendererBatchesShared()) GTEST_SKIP() << "the driver runs no shaders";
    Cls();
    ReadPicture(0, 0, 1, 1);
    RendererTakeStats();
    SetBlend(ALPHABLEND);
    SetAlpha(0.7f);
    SetTransform(0, 1, 1);
    for (int i = 0; i < 20; ++i) DrawImage(sprite(4 + i, 6, i, 0), float(i * 30), 10);
    DrawText("Text and rectangles join", 10, 100);
    DrawRect(10, 200, 50, 20);
    SetBlend(LIGHTBLEND);
    for (int i = 0; i < 5; ++i) DrawImage(sprite(8, 8, i, 0), float(i * 30), 300);
    ReadPicture(0, 0, 1, 1);
    RendererStats s = RendererTakeStats();
    EXPECT_EQ(s.draw_calls, 2);
    EXPECT_GT(s.quads, 40);
    SetBlend(MASKBLEND);
    SetAlpha(1);
}

TEST(Batching, AFrameGrabbedAgainKeepsItsOldPixelsForQuadsDrawnBefore) {
    OpenHeadlessGraphics();
    SetClsColor(0, 0, 0);
    Cls();
    SetBlend(SOLIDBLEND);
    SetAlpha(1);
    SetTransform(0, 1, 1);
    SetColor(200, 0, 0);
    DrawRect(0, 0, 8, 8);
    Image grabbed = CreateImage(8, 8, 1, 0);
    GrabImage(grabbed, 0, 0);  // red
    SetColor(255, 255, 255);
    DrawImage(grabbed, 100, 100);  // recorded, not drawn yet
    Pixmap green = MakePixmap(8, 8, 3);
    for (int i = 0; i < 64; ++i) green.pixels[i * 3 + 1] = 180;
    SetImagePixels(grabbed, 0, green);
    DrawImage(grabbed, 200, 100);
    EXPECT_EQ(PixelAt(ReadPicture(100, 100, 1, 1), 0, 0), (Rgb{200, 0, 0}));
    EXPECT_EQ(PixelAt(ReadPicture(200, 100, 1, 1), 0, 0), (Rgb{0, 180, 0}));
    // A freed frame's place goes to the next frame of its size, and the first one's
    // quads still show what it held.
    Cls();
    Image first = CreateImage(8, 8, 1, 0);
    SetImagePixels(first, 0, green);
    DrawImage(first, 10, 10);
    first.reset();
    Image second = CreateImage(8, 8, 1, 0);
    Pixmap blue = MakePixmap(8, 8, 3);
    for (int i = 0; i < 64; ++i) blue.pixels[i * 3 + 2] = 190;
    SetImagePixels(second, 0, blue);
    DrawImage(second, 30, 10);
    EXPECT_EQ(PixelAt(ReadPicture(10, 10, 1, 1), 0, 0), (Rgb{0, 180, 0}));
    EXPECT_EQ(PixelAt(ReadPicture(30, 10, 1, 1), 0, 0), (Rgb{0, 0, 190}));
    SetBlend(MASKBLEND);
}

// A frame that begins as the last one did starts from a copy of the picture kept after
// that shared start. Whether the shared start grows or shrinks, an early quad changes
// for good, a sprite's pixels are replaced under the same quads, or the clear colour
// changes, every picture comes out as drawing all its quads gives.
TEST(KeptPicture, StartingFromTheKeptPictureGivesTheWholeDrawnPicture) {
    OpenHeadlessGraphics();
    if (!RendererBatchesShared()) GTEST_SKIP() << "the driver runs no shaders";
    std::vector<Image> tiles;
    for (int i = 0; i < 6; ++i) tiles.push_back(sprite(32, 32, 40 + i, MASKEDIMAGE | DYNAMICIMAGE));
    Image mover = sprite(24, 20, 77, MASKEDIMAGE | DYNAMICIMAGE);
    Pixmap repainted = MakePixmap(32, 32, 3);
    for (int i = 0; i < 32 * 32; ++i) repainted.pixels[size_t(i) * 3] = uint8_t(i % 251 + 1);
    // 300 background quads, the moving sprite among them at a place that changes from
    // frame to frame, then 40 more quads.
    auto frame = [&](int f) {
        SetClsColor(f == 8 ? 60 : 20, 30, 40);
        Cls();
        if (f == 6) SetImagePixels(tiles[2], 0, repainted);
        std::mt19937 rng(11);
        int mover_at = (f % 3 == 0) ? 250 : (f % 3 == 1) ? 120 : 290;
        SetTransform(0, 1, 1);
        for (int i = 0; i < 340; ++i) {
            if (i == mover_at) {
                SetBlend(MASKBLEND);
                SetColor(255, 255, 255);
                SetTransform(float(f * 17), 1.5f, 1.5f);
                DrawImage(mover, float(100 + f * 13), float(200 + f * 5));
                SetTransform(0, 1, 1);
            }
            SetBlend(i % 7 == 0 ? ALPHABLEND : MASKBLEND);
            SetAlpha(i % 7 == 0 ? 0.5f : 1.0f);
            int blue = int(rng() % 256);
            // From frame 9 on one early quad changes for good, as an arena cell does.
            SetColor(255, i == 10 && f >= 9 ? 0 : 255, blue);
            DrawImage(tiles[rng() % tiles.size()], float(rng() % 620), float(rng() % 460));
        }
        SetAlpha(1);
        // Sparks all over the picture that move every frame: too many places changed to
        // draw only those, so every frame is drawn from its start.
        SetBlend(SOLIDBLEND);
        SetColor(255, 255, 0);
        for (int i = 0; i < 40; ++i) DrawRect(float((i * 97 + f * 7) % 630), float((i * 61 + f * 5) % 470), 3, 3);
        SetBlend(MASKBLEND);
        return ReadPicture();
    };
    RendererKeepPictures(true);
    RendererTakeStats();
    std::vector<Pixmap> kept;
    for (int f = 0; f < 12; ++f) kept.push_back(frame(f));
    RendererStats keeping = RendererTakeStats();
    int reused = keeping.reused;
    EXPECT_EQ(keeping.patched, 0);
    RendererKeepPictures(false);
    SetImagePixels(tiles[2], 0, MakePixmap(32, 32, 3));  // as before frame 6 again
    tiles[2] = sprite(32, 32, 42, MASKEDIMAGE | DYNAMICIMAGE);
    for (int f = 0; f < 12; ++f) {
        Pixmap whole = frame(f);
        ASSERT_EQ(kept[size_t(f)].pixels, whole.pixels) << "frame " << f;
    }
    EXPECT_EQ(RendererTakeStats().reused, 0);
    RendererKeepPictures(true);
    // Frames 1, 2, 4, 5, 10 and 11 begin as a frame before them did, further than the
    // kept start (9, with its new clear colour, and 7 after the repainting do not).
    EXPECT_GE(reused, 4);
    SetBlend(MASKBLEND);
}

// A frame that differs from the picture's in a few places is drawn again only there.
// Sprites that move, turn, move to another place in the drawing order, come and go, text
// that changes inside a viewport that moves: every picture is exactly what drawing the
// whole frame gives. So are the frames after a new clear colour, new pixels under the
// same quads, and drawing over the picture without a clear, which are drawn whole.
TEST(ChangedPlaces, DrawingOnlyWhereAFrameChangedGivesTheWholeDrawnPicture) {
    OpenHeadlessGraphics();
    if (!RendererBatchesShared()) GTEST_SKIP() << "the driver runs no shaders";
    std::vector<Image> tiles;
    for (int i = 0; i < 6; ++i) tiles.push_back(sprite(32, 32, 40 + i, MASKEDIMAGE | DYNAMICIMAGE));
    Image mover = sprite(24, 20, 77, MASKEDIMAGE | DYNAMICIMAGE);
    Image rocket = sprite(9, 5, 78, MASKEDIMAGE | DYNAMICIMAGE);
    MidHandleImage(mover);
    auto frame = [&](int f) {
        SetClsColor(f == 14 ? 60 : 20, 30, 40);
        Cls();
        if (f == 17) SetImagePixels(tiles[4], 0, MakePixmap(32, 32, 3));
        std::mt19937 rng(11);
        SetTransform(0, 1, 1);
        // 300 cells with the mover among them; from frame 8 on it is drawn later and later.
        int mover_at = f < 8 ? 150 : 150 + (f - 7) * 9;
        for (int i = 0; i < 300; ++i) {
            if (i == mover_at) {
                SetBlend(MASKBLEND);
                SetColor(255, 255, 255);
                SetTransform(float(f * 17), 1.5f, 1.5f);
                DrawImage(mover, 100.0f + float(f) * 9.5f, 200.0f + float(f) * 4.25f);
                SetTransform(0, 1, 1);
            }
            SetBlend(i % 7 == 0 ? ALPHABLEND : MASKBLEND);
            SetAlpha(i % 7 == 0 ? 0.5f : 1.0f);
            SetColor(255, 255, int(rng() % 256));
            DrawImage(tiles[rng() % tiles.size()], float(rng() % 620), float(rng() % 460));
        }
        SetAlpha(1);
        // Rockets, one more each frame up to three, then none.
        SetBlend(LIGHTBLEND);
        for (int r = 0; r < f % 4; ++r) DrawImage(rocket, 300.0f + float(r * 20) + float(f) * 3.5f, 100.0f + float(f));
        // A score in a viewport that moves down at frame 11; at the edge of the picture.
        SetBlend(ALPHABLEND);
        SetViewport(0, f < 11 ? 0 : 8, 640, 40);
        SetColor(200, 220, 255);
        DrawText("Blue: 0" + std::to_string(f / 5), 4, f < 11 ? 2 : 10);
        SetViewport(0, 0, 640, 480);
        // At frame 20 the picture is drawn over after the frame.
        Pixmap picture = ReadPicture();
        if (f == 20) {
            SetBlend(SOLIDBLEND);
            SetColor(255, 0, 0);
            DrawRect(0, 0, 640, 480);
            ReadPicture(0, 0, 1, 1);
        }
        SetBlend(MASKBLEND);
        return picture;
    };
    // Every glyph and sprite made before the first frame, as a game's are.
    DrawText("Blue: 0123456789", 0, 0);
    DrawImage(rocket, 0, 0);
    ReadPicture(0, 0, 1, 1);
    RendererKeepPictures(true);
    RendererTakeStats();
    constexpr int kFrames = 24;
    std::vector<Pixmap> drawn;
    for (int f = 0; f < kFrames; ++f) drawn.push_back(frame(f));
    RendererStats patching = RendererTakeStats();

    RendererKeepPictures(false);
    tiles[4] = sprite(32, 32, 44, MASKEDIMAGE | DYNAMICIMAGE);  // as before frame 17
    for (int f = 0; f < kFrames; ++f) {
        Pixmap whole = frame(f);
        ASSERT_EQ(drawn[size_t(f)].pixels, whole.pixels) << "frame " << f;
    }
    EXPECT_EQ(RendererTakeStats().patched, 0);
    RendererKeepPictures(true);
    // Drawn whole: the first frame, 14 and 15 (clear colour), 17 (new pixels), 21 (after
    // drawing over the picture); the rest only where they changed.
    EXPECT_EQ(patching.patched, kFrames - 5);
}

}  // namespace

namespace {

// A frame as a screen at rest draws it: a clear, tiles, a sprite, text.
Pixmap resting_frame(const std::vector<Image>& tiles, const Image& sprite_image, int sprite_x) {
    SetClsColor(10, 20, 30);
    Cls();
    SetBlend(MASKBLEND);
    SetColor(255, 255, 255);
    SetTransform(0, 1, 1);
    for (int i = 0; i < 200; ++i) DrawImage(tiles[size_t(i) % tiles.size()], float(i * 37 % 600), float(i * 53 % 440));
    DrawImage(sprite_image, float(sprite_x), 200);
    DrawText("Start Game", 250, 240);
    return ReadPicture();
}

}  // namespace

// A frame drawn quad for quad as the one the picture already shows is not drawn again,
// and the picture stays exactly what drawing it would give: after a frame that differs,
// after a sprite's pixels change under the same quads, after drawing over the picture.
TEST(RestingPicture, AFrameThatRepeatsThePictureIsNotDrawnAgain) {
    OpenHeadlessGraphics();
    if (!RendererBatchesShared()) GTEST_SKIP() << "the driver runs no shaders";
    std::vector<Image> tiles;
    for (int i = 0; i < 4; ++i) tiles.push_back(sprite(32, 32, 60 + i, MASKEDIMAGE | DYNAMICIMAGE));
    Image mover = sprite(24, 20, 70, MASKEDIMAGE | DYNAMICIMAGE);
    RendererTakeStats();
    Pixmap first = resting_frame(tiles, mover, 100);
    uint64_t serial = RendererPictureSerial();
    EXPECT_EQ(RendererTakeStats().repeated, 0);

    Pixmap again = resting_frame(tiles, mover, 100);
    RendererStats s = RendererTakeStats();
    EXPECT_EQ(s.repeated, 1);
    EXPECT_EQ(s.draw_calls, 0);
    EXPECT_EQ(RendererPictureSerial(), serial);
    EXPECT_EQ(again.pixels, first.pixels);

    // The sprite moves: drawn, a new picture; then back, drawn again.
    Pixmap moved = resting_frame(tiles, mover, 300);
    EXPECT_NE(RendererPictureSerial(), serial);
    EXPECT_NE(moved.pixels, first.pixels);
    serial = RendererPictureSerial();
    Pixmap back = resting_frame(tiles, mover, 100);
    EXPECT_NE(RendererPictureSerial(), serial);
    EXPECT_EQ(back.pixels, first.pixels);
    EXPECT_EQ(RendererTakeStats().repeated, 0);

    // New pixels for the sprite under the same quads: drawn.
    SetImagePixels(mover, 0, MakePixmap(24, 20, 3));
    serial = RendererPictureSerial();
    Pixmap dark = resting_frame(tiles, mover, 100);
    EXPECT_NE(RendererPictureSerial(), serial);
    EXPECT_NE(dark.pixels, first.pixels);
    EXPECT_EQ(RendererTakeStats().repeated, 0);

    // Drawn over without a clear, the picture is no longer the frame's: the same frame
    // after it is drawn whole.
    SetColor(255, 0, 0);
    SetBlend(SOLIDBLEND);
    DrawRect(0, 0, 640, 480);
    ReadPicture(0, 0, 1, 1);
    Pixmap redrawn = resting_frame(tiles, mover, 100);
    EXPECT_EQ(redrawn.pixels, dark.pixels);
    EXPECT_EQ(RendererTakeStats().repeated, 0);
    // And then it rests again.
    resting_frame(tiles, mover, 100);
    EXPECT_EQ(RendererTakeStats().repeated, 1);
    SetBlend(MASKBLEND);
}
