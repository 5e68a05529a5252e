// Presenting the picture into windows of other sizes: whole multiples pixel for pixel,
// other sizes in one pass that keeps every texel's inside sharp. The pictures are
// written to the test output (present-*.png) to be looked at.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/draw.h"
#include "engine/font.h"
#include "engine/renderer.h"
#include "engine/window.h"
#include "support.h"

namespace {

using test_support::OpenHeadlessGraphics;
using test_support::OutputPath;
using test_support::PixelAt;
using test_support::Rgb;

// The game's arena background with a line of text over it.
Pixmap draw_picture() {
    OpenHeadlessGraphics();
    SetClsColor(0, 0, 0);
    Cls();
    Image back = LoadImage(test_support::SourcePath("assets/whirlbat_02.png"), 0);
    EXPECT_TRUE(back);
    SetBlend(SOLIDBLEND);
    SetColor(255, 255, 255);
    SetAlpha(1);
    SetTransform(0, 1, 1);
    DrawImage(back, 0, 0);
    SetBlend(ALPHABLEND);
    SetColor(255, 80, 40);
    DrawText("Sharp at any size", 200, 220);
    SetBlend(MASKBLEND);
    return ReadPicture();
}

struct Compared {
    int largest = 0;
    double mean = 0;
};

Compared compare(const Pixmap& a, const Pixmap& b) {
    Compared c;
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        int d = std::abs(int(a.pixels[i]) - int(b.pixels[i]));
        c.largest = std::max(c.largest, d);
        sum += d;
    }
    c.mean = sum / double(a.pixels.size());
    return c;
}

TEST(Present, WholeMultiplesArePixelForPixel) {
    Pixmap picture = draw_picture();
    Pixmap one = RendererPresentedPicture(1280, 960, false);
    Pixmap two = RendererPresentedPicture(1280, 960, true);
    SavePNG(OutputPath("present-2x.png"), one);
    EXPECT_EQ(one.pixels, two.pixels);
    for (int y = 0; y < 960; y += 7)
        for (int x = 0; x < 1280; x += 5) ASSERT_EQ(PixelAt(one, x, y), PixelAt(picture, x / 2, y / 2)) << x << "," << y;
}

// Inside each texel, away from the seam with the next, the window shows the texel's
// own colour exactly; only the one window pixel across a seam is blended.
void expect_sharp(const Pixmap& picture, const Pixmap& shown, int w, int h) {
    int x0, y0, fw, fh;
    RendererFitRect(w, h, &x0, &y0, &fw, &fh);
    double sx = double(fw) / 640, sy = double(fh) / 480;
    int inside = 0, blended = 0;
    for (int y = 0; y < fh; ++y) {
        for (int x = 0; x < fw; ++x) {
            // The window pixel's extent in texels.
            double left = x / sx, right = (x + 1) / sx, top = y / sy, bottom = (y + 1) / sy;
            bool one_texel = std::floor(left) == std::floor(right - 1e-9) && std::floor(top) == std::floor(bottom - 1e-9);
            Rgb got = PixelAt(shown, x0 + x, y0 + y);
            if (one_texel) {
                Rgb want = PixelAt(picture, int(left), int(top));
                ASSERT_NEAR(got.r, want.r, 1) << x << "," << y;
                ASSERT_NEAR(got.g, want.g, 1) << x << "," << y;
                ASSERT_NEAR(got.b, want.b, 1) << x << "," << y;
                ++inside;
            } else {
                ++blended;
            }
        }
    }
    EXPECT_GT(inside, (inside + blended) / 10);
    // Black bars around the picture.
    if (x0 > 0) {
        EXPECT_EQ(PixelAt(shown, x0 - 1, h / 2), (Rgb{0, 0, 0}));
    }
    if (y0 > 0) {
        EXPECT_EQ(PixelAt(shown, w / 2, y0 - 1), (Rgb{0, 0, 0}));
    }
}

TEST(Present, OtherSizesAreSharpInOnePassAndCloseToTheTwoPassPicture) {
    OpenHeadlessGraphics();
    if (!RendererBatchesShared()) GTEST_SKIP() << "the driver runs no shaders";
    Pixmap picture = draw_picture();
    struct Size {
        int w, h;
        const char* name;
    };
    for (Size s : {Size{1920, 1080, "2.25x"}, Size{1024, 768, "1.6x"}, Size{1366, 768, "1.6x-wide"}}) {
        SCOPED_TRACE(s.name);
        Pixmap one = RendererPresentedPicture(s.w, s.h, false);
        Pixmap two = RendererPresentedPicture(s.w, s.h, true);
        SavePNG(OutputPath(std::string("present-") + s.name + "-one-pass.png"), one);
        SavePNG(OutputPath(std::string("present-") + s.name + "-two-pass.png"), two);
        expect_sharp(picture, one, s.w, s.h);
        Compared c = compare(one, two);
        std::printf("%s: one pass against two passes: largest difference %d, mean %.3f\n", s.name, c.largest, c.mean);
        EXPECT_LT(c.mean, 3.0);
    }
}

}  // namespace
