// Presenting the picture into windows of other sizes: whole multiples pixel for pixel,
// other sizes in one pass that keeps every texel's inside sharp. The pictures are
// written to the test output (present-*.png) to be looked at.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/draw.h"
#include "platform/font.h"
#include "platform/present_cpu.h"
#include "platform/renderer.h"
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

// The CPU present for software OpenGL: the picture as 0x00RRGGBB words, top row first.
std::vector<uint32_t> words_of(const Pixmap& rgb) {
    std::vector<uint32_t> words(size_t(rgb.width) * rgb.height);
    for (int y = 0; y < rgb.height; ++y) {
        for (int x = 0; x < rgb.width; ++x) {
            Rgb p = PixelAt(rgb, x, y);
            words[size_t(y) * rgb.width + x] = uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | uint32_t(p.b);
        }
    }
    return words;
}

// A window of w x h enlarged into by the CPU present, as RGB; the window starts out
// filled with `fill` so that a pixel it should not touch shows.
Pixmap cpu_present(const std::vector<uint32_t>& picture, int w, int h, uint32_t fill = 0) {
    int x, y, fw, fh;
    RendererFitRect(w, h, &x, &y, &fw, &fh);
    SoftScaler s;
    SoftScalerSetup(s, 640, 480, x, y, fw, fh);
    std::vector<uint32_t> window(size_t(w) * h, fill);
    SoftScale(s, picture.data(), 640, window.data(), w);
    Pixmap rgb = MakePixmap(w, h, 3);
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            uint32_t p = window[size_t(j) * w + i];
            uint8_t* out = rgb.at(i, j);
            out[0] = uint8_t(p >> 16);
            out[1] = uint8_t(p >> 8);
            out[2] = uint8_t(p);
        }
    }
    return rgb;
}

// The CPU present shows what the shader shows: pixel for pixel at whole multiples (and
// at every scale on a software renderer), elsewhere within the rounding of the texture
// unit's blend weights.
TEST(CpuPresent, ShowsWhatTheShaderShows) {
    OpenHeadlessGraphics();
    if (!RendererBatchesShared()) GTEST_SKIP() << "the driver runs no shaders";
    Pixmap picture = draw_picture();
    std::vector<uint32_t> words = words_of(picture);
    struct Size {
        int w, h;
        const char* name;
    };
    for (Size s : {Size{1280, 960, "2x"}, Size{1920, 1080, "2.25x"}, Size{1024, 768, "1.6x"},
                   Size{1366, 768, "1.6x-wide"}, Size{1600, 1200, "2.5x"}}) {
        SCOPED_TRACE(s.name);
        Pixmap shader = RendererPresentedPicture(s.w, s.h, false);
        Pixmap cpu = cpu_present(words, s.w, s.h);
        SavePNG(OutputPath(std::string("present-") + s.name + "-cpu.png"), cpu);
        expect_sharp(picture, cpu, s.w, s.h);
        Compared c = compare(shader, cpu);
        std::printf("%s: CPU against shader: largest difference %d, mean %.4f\n", s.name, c.largest, c.mean);
        // Mesa's software renderer blends with the same 8-bit weights: the same pixels.
        if (s.w == 1280 || RendererIsSoftware()) {
            EXPECT_EQ(c.largest, 0);
        } else {
            EXPECT_LE(c.largest, 2);
            EXPECT_LT(c.mean, 0.05);
        }
    }
}

// Only what changed is enlarged again: a window brought up to date picture by picture
// holds exactly what enlarging the last picture from scratch gives, whatever changed
// (single texels, whole rows, the edges and corners, nothing). The area it says it wrote
// holds every window pixel that changed, and is empty when nothing did.
TEST(CpuPresent, UpdatingOnlyTheChangesGivesTheWholePicture) {
    std::vector<uint32_t> picture(640 * 480);
    std::mt19937 generator(5);
    auto Rand = [&generator](int low, int high) { return std::uniform_int_distribution<int>(low, high)(generator); };
    for (uint32_t& p : picture) p = uint32_t(Rand(0, 0xffffff));
    struct Size {
        int w, h;
    };
    for (Size size : {Size{1440, 1080}, Size{1280, 960}, Size{1000, 700}, Size{640, 480}, Size{500, 300}}) {
        SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h));
        double scale = std::min(size.w / 640.0, size.h / 480.0);
        int fw = int(std::lround(640 * scale)), fh = int(std::lround(480 * scale));
        int x = (size.w - fw) / 2, y = (size.h - fh) / 2;
        SoftScaler kept;
        SoftScalerSetup(kept, 640, 480, x, y, fw, fh);
        std::vector<uint32_t> window(size_t(size.w) * size.h, 0x123456);
        std::vector<uint32_t> current = picture;
        for (int step = 0; step < 12; ++step) {
            // Changes: a few texels, a block, a row, a column, corners, or none.
            int changes = step == 3 ? 0 : Rand(1, 6);
            for (int c = 0; c < changes; ++c) {
                int kind = Rand(0, 3);
                int cx = kind == 3 ? (Rand(0, 1) ? 0 : 639) : Rand(0, 639);
                int cy = kind == 3 ? (Rand(0, 1) ? 0 : 479) : Rand(0, 479);
                int bw = kind == 1 ? Rand(1, 60) : kind == 2 ? 640 : 1;
                int bh = kind == 1 ? Rand(1, 40) : 1;
                for (int j = cy; j < std::min(cy + bh, 480); ++j) {
                    for (int i = (kind == 2 ? 0 : cx); i < std::min(cx + bw, 640); ++i) {
                        current[size_t(j) * 640 + i] = uint32_t(Rand(0, 0xffffff));
                    }
                }
            }
            std::vector<uint32_t> before = window;
            WindowArea area = SoftScale(kept, current.data(), 640, window.data(), size.w);
            int outside = 0;
            for (int j = 0; j < size.h; ++j) {
                for (int i = 0; i < size.w; ++i) {
                    bool in = i >= area.x && i < area.x + area.w && j >= area.y && j < area.y + area.h;
                    if (!in && window[size_t(j) * size.w + i] != before[size_t(j) * size.w + i]) ++outside;
                }
            }
            ASSERT_EQ(outside, 0) << "after step " << step;
            if (changes == 0) EXPECT_EQ(area.w, 0);
            else EXPECT_GT(area.w * area.h, 0);
            SoftScaler fresh;
            SoftScalerSetup(fresh, 640, 480, x, y, fw, fh);
            std::vector<uint32_t> whole(size_t(size.w) * size.h, 0x123456);
            SoftScale(fresh, current.data(), 640, whole.data(), size.w);
            ASSERT_EQ(window, whole) << "after step " << step;
            // The window shows the picture: at twice the size or more, the middle of texel
            // (320, 240) is that texel.
            int cx = x + int(320.5 * fw / 640), cy = y + int(240.5 * fh / 480);
            if (scale >= 2) {
                ASSERT_EQ(window[size_t(cy) * size.w + cx] & 0xffffff, current[240 * 640 + 320]);
            }
        }
        // The bars were never touched.
        if (x > 0) {
            EXPECT_EQ(window[size_t(size.h / 2) * size.w + x - 1], 0x123456u);
        }
        if (y > 0) {
            EXPECT_EQ(window[size_t(y - 1) * size.w + size.w / 2], 0x123456u);
        }
    }
}

// Rows given bottom-up (as GL reads them) with a negative pitch land the right way up.
TEST(CpuPresent, BottomUpRowsLandTheRightWayUp) {
    std::vector<uint32_t> top_down(640 * 480), bottom_up(640 * 480);
    for (int j = 0; j < 480; ++j) {
        for (int i = 0; i < 640; ++i) {
            uint32_t p = uint32_t(j) << 12 | uint32_t(i);
            top_down[size_t(j) * 640 + i] = p;
            bottom_up[size_t(479 - j) * 640 + i] = p;
        }
    }
    SoftScaler a, b;
    SoftScalerSetup(a, 640, 480, 0, 0, 1440, 1080);
    SoftScalerSetup(b, 640, 480, 0, 0, 1440, 1080);
    std::vector<uint32_t> wa(1440 * 1080), wb(1440 * 1080);
    SoftScale(a, top_down.data(), 640, wa.data(), 1440);
    SoftScale(b, bottom_up.data() + 479 * 640, -640, wb.data(), 1440);
    EXPECT_EQ(wa, wb);
    EXPECT_EQ(wa[0], top_down[0]);
    EXPECT_EQ(wa[size_t(1079) * 1440 + 1439], top_down[size_t(479) * 640 + 639]);
}

}  // namespace
