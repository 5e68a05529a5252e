#include "platform/draw.h"

#include <gtest/gtest.h>

#include "platform/draw_state.h"
#include "platform/resources.h"
#include "support.h"

namespace {

using test_support::OpenHeadlessGraphics;
using test_support::PixelAt;
using test_support::Rgb;

Pixmap solid(int w, int h, Rgb c) {
    Pixmap p = MakePixmap(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* q = p.at(x, y);
            q[0] = uint8_t(c.r), q[1] = uint8_t(c.g), q[2] = uint8_t(c.b);
        }
    return p;
}

Image image_of(const Pixmap& pix, int flags) {
    Image img = CreateImage(pix.width, pix.height, 1, flags);
    SetImagePixels(img, 0, pix);
    return img;
}

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        OpenHeadlessGraphics();
        SetClsColor(0, 0, 0);
        Cls();
        SetColor(255, 255, 255);
        SetAlpha(1);
        SetBlend(SOLIDBLEND);
        SetTransform(0, 1, 1);
        SetOrigin(0, 0);
        SetHandle(0, 0);
        SetMaskColor(0, 0, 0);
    }
    Rgb at(int x, int y) { return PixelAt(ReadPicture(x, y, 1, 1), 0, 0); }
};

TEST_F(Drawing, MatrixScalesThenRotatesClockwise) {
    SetTransform(90, 2, 3);
    const TSpriteGraphics& g = DrawState();
    EXPECT_NEAR(g.tform_ix, 0, 1e-6);
    EXPECT_FLOAT_EQ(g.tform_iy, -3);
    EXPECT_FLOAT_EQ(g.tform_jx, 2);
    EXPECT_NEAR(g.tform_jy, 0, 1e-6);
    SetRotation(0);
    SetScale(1, 1);
    EXPECT_FLOAT_EQ(DrawState().tform_ix, 1);
    EXPECT_FLOAT_EQ(DrawState().tform_jy, 1);
}

TEST_F(Drawing, RotatedImageCoversTheTurnedRectangle) {
    // A 10 x 2 image turned 90 degrees at (100, 100): its x axis points down the screen.
    Image img = image_of(solid(10, 2, {200, 10, 10}), 0);
    SetRotation(90);
    DrawImage(img, 100, 100);
    Pixmap pic = ReadPicture();
    for (int y = 95; y < 115; ++y)
        for (int x = 94; x < 104; ++x) {
            bool inside = x >= 98 && x < 100 && y >= 100 && y < 110;
            Rgb want = inside ? Rgb{200, 10, 10} : Rgb{0, 0, 0};
            ASSERT_EQ(PixelAt(pic, x, y), want) << x << "," << y;
        }
}

TEST_F(Drawing, MaskColourIsInvisibleAndNearBlackIsDrawn) {
    Pixmap pix = solid(4, 1, {0, 0, 0});
    pix.at(1, 0)[0] = 1;  // (1, 0, 0) is not the mask colour
    pix.at(2, 0)[1] = 90;
    Image img = image_of(pix, MASKEDIMAGE);
    SetClsColor(30, 40, 50);
    Cls();
    SetBlend(MASKBLEND);
    DrawImage(img, 10, 10);
    EXPECT_EQ(at(10, 10), (Rgb{30, 40, 50}));
    EXPECT_EQ(at(11, 10), (Rgb{1, 0, 0}));
    EXPECT_EQ(at(12, 10), (Rgb{0, 90, 0}));
    EXPECT_EQ(at(13, 10), (Rgb{30, 40, 50}));
}

TEST_F(Drawing, MaskedPixelsTakeTheAverageOfTheirNeighbours) {
    Pixmap pix = solid(3, 3, {0, 0, 0});
    auto set = [&](int x, int y, Rgb c) {
        uint8_t* q = pix.at(x, y);
        q[0] = uint8_t(c.r), q[1] = uint8_t(c.g), q[2] = uint8_t(c.b);
    };
    set(0, 0, {100, 0, 30});
    set(2, 0, {51, 200, 0});
    Pixmap m = MaskPixmap(pix, 0, 0, 0);
    ASSERT_EQ(m.channels, 4);
    EXPECT_EQ(m.at(0, 0)[3], 255);
    // The centre sees two unmasked neighbours: the integer average of each channel.
    const uint8_t* c = m.at(1, 1);
    EXPECT_EQ((Rgb{c[0], c[1], c[2]}), (Rgb{75, 100, 15}));
    EXPECT_EQ(c[3], 0);
    // A corner with no unmasked neighbour is black.
    const uint8_t* far = m.at(2, 2);
    EXPECT_EQ(far[0] + far[1] + far[2] + far[3], 0);
    // Mask colour other than black.
    Pixmap red = MaskPixmap(solid(1, 1, {255, 0, 0}), 255, 0, 0);
    EXPECT_EQ(red.at(0, 0)[3], 0);
}

TEST_F(Drawing, EveryBlendModeMixesAsItSays) {
    Image img = image_of(solid(4, 4, {200, 100, 50}), 0);
    auto draw_over = [&](int mode, float alpha, Rgb under) {
        SetClsColor(under.r, under.g, under.b);
        Cls();
        SetBlend(mode);
        SetAlpha(alpha);
        DrawImage(img, 20, 20);
        return at(21, 21);
    };
    EXPECT_EQ(draw_over(SOLIDBLEND, 0.5f, {10, 20, 30}), (Rgb{200, 100, 50}));
    EXPECT_EQ(draw_over(MASKBLEND, 1.0f, {10, 20, 30}), (Rgb{200, 100, 50}));
    // Mask drops fragments less than half opaque.
    EXPECT_EQ(draw_over(MASKBLEND, 0.4f, {10, 20, 30}), (Rgb{10, 20, 30}));
    Rgb a = draw_over(ALPHABLEND, 0.5f, {0, 200, 100});
    EXPECT_NEAR(a.r, 100, 1);
    EXPECT_NEAR(a.g, 150, 1);
    EXPECT_NEAR(a.b, 75, 1);
    Rgb l = draw_over(LIGHTBLEND, 0.5f, {100, 100, 100});
    EXPECT_NEAR(l.r, 200, 1);
    EXPECT_NEAR(l.g, 150, 1);
    EXPECT_NEAR(l.b, 125, 1);
    Rgb s = draw_over(SHADEBLEND, 1.0f, {128, 255, 100});
    EXPECT_NEAR(s.r, 100, 1);
    EXPECT_NEAR(s.g, 100, 1);
    EXPECT_NEAR(s.b, 20, 1);
}

TEST_F(Drawing, AlphaAndColourAreClamped) {
    SetAlpha(1.5f);
    EXPECT_EQ(GetAlpha(), 1.0f);
    EXPECT_EQ(DrawStateRGBA() >> 24, 255u);
    SetAlpha(-0.2f);
    EXPECT_EQ(GetAlpha(), 0.0f);
    SetAlpha(0.5f);
    EXPECT_EQ(DrawStateRGBA() >> 24, 127u);  // truncated, not rounded
    SetAlpha(1);
    SetColor(300, -5, 128);
    DrawRect(50, 60, 3, 3);
    EXPECT_EQ(at(51, 61), (Rgb{255, 0, 128}));
}

TEST_F(Drawing, RectanglesUseTheGlobalHandle) {
    SetColor(0, 255, 0);
    SetHandle(2, 1);
    DrawRect(100, 100, 4, 2);
    EXPECT_EQ(at(98, 99), (Rgb{0, 255, 0}));
    EXPECT_EQ(at(101, 100), (Rgb{0, 255, 0}));
    EXPECT_EQ(at(102, 101), (Rgb{0, 0, 0}));
}

TEST_F(Drawing, MidHandleCentresTheImage) {
    Image img = image_of(solid(10, 6, {9, 99, 199}), 0);
    MidHandleImage(img);
    DrawImage(img, 50, 50);
    EXPECT_EQ(at(45, 47), (Rgb{9, 99, 199}));
    EXPECT_EQ(at(54, 52), (Rgb{9, 99, 199}));
    EXPECT_EQ(at(44, 47), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(55, 53), (Rgb{0, 0, 0}));
}

TEST_F(Drawing, GrabImageRoundTripsThePicture) {
    SetColor(10, 200, 30);
    DrawRect(300, 200, 8, 8);
    SetColor(250, 250, 0);
    DrawRect(304, 204, 4, 4);
    Image grabbed = CreateImage(8, 8, 1, MASKEDIMAGE);
    GrabImage(grabbed, 300, 200);
    Pixmap before = ReadPicture(300, 200, 8, 8);
    Cls();
    SetColor(255, 255, 255);
    SetBlend(MASKBLEND);
    DrawImage(grabbed, 20, 30);
    EXPECT_EQ(ReadPicture(20, 30, 8, 8).pixels, before.pixels);
    // Grabbed black is masked: drawing over a colour leaves it showing.
    Image hole = CreateImage(4, 4, 1, MASKEDIMAGE);
    GrabImage(hole, 600, 400);  // untouched black
    SetColor(255, 255, 255);
    SetBlend(SOLIDBLEND);
    DrawRect(600, 0, 4, 4);
    SetBlend(MASKBLEND);
    DrawImage(hole, 600, 0);
    EXPECT_EQ(at(601, 1), (Rgb{255, 255, 255}));
}

TEST_F(Drawing, FilteredImagesDoNotBleedAtTheirEdges) {
    // A 3 x 3 image lives in a 4 x 4 texture; the copied edge keeps the last texel's
    // colour when linear sampling reaches past it.
    Image img = image_of(solid(3, 3, {240, 120, 60}), FILTEREDIMAGE);
    SetScale(8, 8);
    DrawImage(img, 200, 200);
    for (int x = 200; x < 224; ++x) {
        Rgb c = at(x, 223);
        ASSERT_NEAR(c.r, 240, 2) << x;
        ASSERT_NEAR(c.g, 120, 2) << x;
    }
}

TEST_F(Drawing, ImagesLoadFromPngUrls) {
    Pixmap pix = solid(5, 7, {12, 34, 56});
    std::string path = test_support::OutputPath("draw-load.png");
    ASSERT_TRUE(SavePNG(path, pix));
    Image img = LoadImage(path, 0);
    ASSERT_TRUE(img);
    EXPECT_EQ(ImageWidth(img), 5);
    EXPECT_EQ(ImageHeight(img), 7);
    EXPECT_FALSE(LoadImage(test_support::OutputPath("no-such.png"), 0));
    EXPECT_FALSE(LoadImage(test_support::SourcePath("CMakeLists.txt"), 0));
    // Drawing none does nothing.
    DrawImage(nullptr, 0, 0);
}

}  // namespace

// An image loaded from an embedded picture keeps no copy of its pixels once drawn (the
// picture is read again for a new window); one loaded from a file keeps them. Both
// look the same in every window.
TEST(DrawImage, AnEmbeddedPictureIsNotKeptOnceDrawnAndStillShowsInANewWindow) {
    OpenHeadlessGraphics();
    static std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadUrl(test_support::SourcePath("assets/dmpointer.png"), bytes));
    IncbinAdd("draw_test_pointer.png", bytes.data(), bytes.size());
    Image embedded = LoadImage("incbin::draw_test_pointer.png", 0);
    Image file = LoadImage(test_support::SourcePath("assets/dmpointer.png"), 0);
    ASSERT_TRUE(embedded && file);
    auto draw_both = [&] {
        SetClsColor(0, 0, 0);
        Cls();
        SetBlend(SOLIDBLEND);
        SetColor(255, 255, 255);
        SetAlpha(1);
        SetTransform(0, 1, 1);
        DrawImage(embedded, 100, 100);
        DrawImage(file, 300, 100);
        return std::make_pair(ReadPicture(100, 100, 18, 18), ReadPicture(300, 100, 18, 18));
    };
    auto [a, b] = draw_both();
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_NE(a.pixels, MakePixmap(18, 18, 3).pixels);
    EXPECT_TRUE(embedded->pixmaps[0].empty());
    EXPECT_FALSE(file->pixmaps[0].empty());
    test_support::ReopenHeadlessGraphics();
    auto [c, d] = draw_both();
    EXPECT_EQ(c.pixels, a.pixels);
    EXPECT_EQ(d.pixels, a.pixels);
    // New pixels are the image's own from then on, and kept.
    SetImagePixels(embedded, 0, MakePixmap(18, 18, 3));
    EXPECT_FALSE(embedded->pixmaps[0].empty());
    auto [e, f] = draw_both();
    EXPECT_EQ(e.pixels, MakePixmap(18, 18, 3).pixels);
    EXPECT_FALSE(embedded->pixmaps[0].empty());
    SetBlend(MASKBLEND);
}
