#include "present/owdraw.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/font.h"
#include "support.h"

namespace {

using test_support::OpenHeadlessGraphics;
using test_support::PixelAt;
using test_support::Rgb;

Image block(int w, int h, Rgb c) {
    Pixmap p = MakePixmap(w, h, 3);
    for (size_t i = 0; i < p.pixels.size(); i += 3) {
        p.pixels[i] = uint8_t(c.r), p.pixels[i + 1] = uint8_t(c.g), p.pixels[i + 2] = uint8_t(c.b);
    }
    Image img = CreateImage(w, h, 1, MASKEDIMAGE);
    SetImagePixels(img, 0, p);
    return img;
}

// Bounding box of the lit pixels of the picture.
struct Box {
    int x0 = 9999, y0 = 9999, x1 = -1, y1 = -1;
};
Box lit_box() {
    Pixmap pic = ReadPicture();
    Box b;
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            const uint8_t* p = pic.at(x, y);
            if (p[0] + p[1] + p[2] > 60) {
                b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x), b.y1 = std::max(b.y1, y);
            }
        }
    return b;
}

class Stereo : public ::testing::Test {
protected:
    void SetUp() override {
        OpenHeadlessGraphics();
        draw = owdraw_tag{};
        font = LoadImageFont(test_support::SourcePath("assets/armalite.ttf"), 24, SMOOTHFONT);
        SetImageFont(font);
        SetClsColor(0, 0, 0);
        Cls();
        SetColor(255, 255, 255);
        SetAlpha(1);
        SetTransform(0, 1, 1);
    }
    owdraw_tag draw;
    ImageFont font;
};

TEST_F(Stereo, SipSetsTheStateAndRemembersTheTextScale) {
    EXPECT_EQ(draw.txt_xs, 0.0f);
    draw.sip(ALPHABLEND, 0.6f, 30, 2, 3);
    EXPECT_EQ(GetBlend(), ALPHABLEND);
    EXPECT_EQ(GetAlpha(), 0.6f);
    EXPECT_EQ(GetRotation(), 30.0f);
    float sx, sy;
    GetScale(&sx, &sy);
    EXPECT_EQ(sx, 2.0f);
    EXPECT_EQ(sy, 3.0f);
    EXPECT_EQ(draw.txt_xs, 2.0f);
    EXPECT_EQ(draw.txt_ys, 3.0f);
}

TEST_F(Stereo, CentringBeforeAnySipCentresNothing) {
    SetBlend(ALPHABLEND);
    draw.t3d("Blue", 300, 200, 2, 1, 2);
    Box b = lit_box();
    EXPECT_GE(b.x0, 300);
    EXPECT_LE(b.x0, 303);
    EXPECT_GE(b.y0, 200);
}

TEST_F(Stereo, CentringUsesTheScaleSipStored) {
    draw.sip(ALPHABLEND, 1, 0, 2, 2);
    SetScale(1, 1);  // changed directly: the centring still uses the sip scale
    int w = TextWidth("Game Over"), h = TextHeight("Game Over");
    draw.t3d("Game Over", 320, 180, 0, 1, 1);
    Box b = lit_box();
    // Moved left by the unscaled width and up by the unscaled height.
    EXPECT_GE(b.x0, 320 - w);
    EXPECT_LE(b.x0, 320 - w + 4);
    EXPECT_LE(b.x1, 320);
    EXPECT_GE(b.y0, 180 - h);
    EXPECT_LE(b.y1, 180);
}

TEST_F(Stereo, TwistLeavesTheRotationTruncated) {
    Image img = block(4, 4, {200, 200, 200});
    SetRotation(30.7f);
    draw.i3d(img, 100, 100, 0, 4, 0, 2);
    EXPECT_EQ(GetRotation(), 30.7f);
    draw.i3d(img, 100, 100, 0, 4, 1.5f, 2);
    EXPECT_EQ(GetRotation(), 30.0f);
    SetRotation(-30.7f);
    draw.i3d(img, 100, 100, 0, 4, 1.5f, 2);
    EXPECT_EQ(GetRotation(), -30.0f);
}

TEST_F(Stereo, PlainModeDrawsOnceWherever) {
    Image img = block(4, 4, {200, 50, 20});
    SetBlend(MASKBLEND);
    draw.i3d(img, 100, 100, 0, 10, 0, 2);  // eye offset and passes do nothing
    Box b = lit_box();
    EXPECT_EQ(b.x0, 100);
    EXPECT_EQ(b.x1, 103);
    EXPECT_EQ(PixelAt(ReadPicture(), 101, 101), (Rgb{200, 50, 20}));
}

TEST_F(Stereo, EyeColoursAreStoredUnclamped) {
    draw.slc(300, -5, 128, 1, 2, 3);
    EXPECT_EQ(draw.leye_r, 300);
    EXPECT_EQ(draw.leye_g, -5);
    EXPECT_EQ(draw.reye_b, 3);
}

TEST_F(Stereo, AnaglyphDrawsTwoEyesApartInTheirColours) {
    draw.ana_mode = 1;
    draw.apply_mode_colours();
    EXPECT_EQ(draw.leye_r, 140);
    EXPECT_EQ(draw.reye_g, 100);
    Image img = block(4, 4, {255, 255, 255});
    SetBlend(MASKBLEND);
    draw.i3d(img, 100, 100, 0, 10, 0, 1);
    Pixmap pic = ReadPicture();
    EXPECT_EQ(PixelAt(pic, 91, 101), (Rgb{140, 4, 40}));  // left eye, shifted left
    EXPECT_EQ(PixelAt(pic, 111, 101), (Rgb{4, 100, 20}));  // right eye, shifted right
    EXPECT_EQ(PixelAt(pic, 101, 101), (Rgb{0, 0, 0}));
    EXPECT_EQ(GetBlend(), LIGHTBLEND);
    // Two passes add up.
    Cls();
    draw.i3d(img, 100, 100, 0, 10, 0, 2);
    EXPECT_EQ(PixelAt(ReadPicture(), 91, 101), (Rgb{255, 8, 80}));
    // Text takes the same two paths.
    Cls();
    draw.sip(ALPHABLEND, 1, 0, 1, 1);
    draw.t3d("I", 300, 100, 20, 0, 1);
    Box b = lit_box();
    EXPECT_LT(b.x0, 300);
    EXPECT_GT(b.x1, 310);
}

// Only modes 0 to 4 exist: any other number is no stereo at all.
TEST_F(Stereo, SettingAModeOutsideTheRangeTurnsStereoOff) {
    set_stereo_mode(draw, 3);
    EXPECT_EQ(draw.ana_mode, 3);
    EXPECT_EQ(draw.leye_r, 4);
    EXPECT_EQ(draw.leye_g, 80);
    for (int mode : {5, -1, 1000}) {
        set_stereo_mode(draw, mode);
        EXPECT_EQ(draw.ana_mode, 0) << mode;
    }
    set_stereo_mode(draw, 4);
    EXPECT_EQ(draw.ana_mode, 4);
    EXPECT_EQ(draw.leye_b, 140);
}

}  // namespace
