#include "platform/font.h"

#include <gtest/gtest.h>

#include "platform/draw.h"
#include "platform/resources.h"
#include "support.h"

namespace {

using test_support::OpenHeadlessGraphics;
using test_support::SourcePath;

const std::string kFont = SourcePath("assets/armalite.ttf");

class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        OpenHeadlessGraphics();
        font = LoadImageFont(kFont, 24, SMOOTHFONT);
        ASSERT_TRUE(font);
        SetImageFont(font);
        SetTransform(0, 1, 1);
        SetHandle(0, 0);
        SetOrigin(0, 0);
        SetAlpha(1);
        SetBlend(ALPHABLEND);
        SetClsColor(0, 0, 0);
        Cls();
    }
    void TearDown() override { SetImageFont(nullptr); }
    ImageFont font;
};

TEST_F(Fonts, WidthIsTheSumOfWholePixelAdvances) {
    const std::string text = "Round: 10";
    int sum = 0;
    for (char c : text) {
        const TImageGlyph* g = FontGlyph(font, c);
        ASSERT_NE(g, nullptr) << c;
        EXPECT_EQ(g->_advance, float(int(g->_advance)));
        sum += int(g->_advance);
    }
    EXPECT_EQ(TextWidth(text), sum);
    EXPECT_GT(sum, 60);
    // A character the face lacks adds nothing and draws nothing.
    EXPECT_EQ(FontGlyph(font, 0x4E00), nullptr);
    EXPECT_EQ(TextWidth("Red\xE4\xB8\x80"), TextWidth("Red"));
}

TEST_F(Fonts, HeightIsTheFontsAndIgnoresTheText) {
    int h = TextHeight("Blue");
    EXPECT_GE(h, 24);
    EXPECT_LE(h, 36);
    EXPECT_EQ(TextHeight(""), h);
    EXPECT_EQ(TextHeight("gjpqy"), h);
}

TEST_F(Fonts, SmoothGlyphsCarryAClearBorder) {
    ImageFont sharp = LoadImageFont(kFont, 24, 0);
    ASSERT_TRUE(sharp);
    const TImageGlyph* s = FontGlyph(sharp, 'B');
    const TImageGlyph* g = FontGlyph(font, 'B');
    ASSERT_TRUE(s && g && s->_image && g->_image);
    EXPECT_EQ(g->_w, s->_w + 2);
    EXPECT_EQ(g->_h, s->_h + 2);
    EXPECT_EQ(g->_x, s->_x - 1);
    EXPECT_EQ(g->_y, s->_y - 1);
    EXPECT_EQ(g->_image->flags, FILTEREDIMAGE | MIPMAPPEDIMAGE);
    EXPECT_EQ(s->_image->flags, 0);
    // The border is clear on every side.
    const Pixmap& p = g->_image->pixmaps[0];
    for (int x = 0; x < p.width; ++x) {
        EXPECT_EQ(p.at(x, 0)[3], 0);
        EXPECT_EQ(p.at(x, p.height - 1)[3], 0);
    }
    // A space has an advance but no picture.
    const TImageGlyph* space = FontGlyph(font, ' ');
    ASSERT_NE(space, nullptr);
    EXPECT_FALSE(space->_image);
    EXPECT_GT(space->_advance, 0);
}

TEST_F(Fonts, TextIsDrawnInTheDrawingColourBelowThePen) {
    SetColor(255, 100, 50);
    DrawText("Red", 100, 50);
    Pixmap pic = ReadPicture(100, 50, TextWidth("Red"), TextHeight("Red"));
    int lit = 0;
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            test_support::Rgb c = test_support::PixelAt(pic, x, y);
            if (c.r > 200) {
                ++lit;
                EXPECT_NEAR(c.g * 255.0 / c.r, 100, 12);
            }
        }
    EXPECT_GT(lit, 40);
    // Nothing is drawn above the line or left of the pen.
    Pixmap above = ReadPicture(90, 30, 200, 20);
    for (uint8_t v : above.pixels) ASSERT_EQ(v, 0);
}

TEST_F(Fonts, LoadsFromEmbeddedResourcesWithAnyCaseOfPrefix) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadUrl(kFont, bytes));
    static std::vector<uint8_t> keep;  // embedded resources must outlive the program
    keep = bytes;
    IncbinAdd("testfont.ttf", keep.data(), keep.size());
    ImageFont a = LoadImageFont("incbin::testfont.ttf", 24, SMOOTHFONT);
    ImageFont b = LoadImageFont("Incbin::testfont.ttf", 24, SMOOTHFONT);
    ASSERT_TRUE(a && b);
    SetImageFont(a);
    int w = TextWidth("Game Over");
    SetImageFont(font);
    EXPECT_EQ(w, TextWidth("Game Over"));
    EXPECT_FALSE(LoadImageFont("incbin::nothing.ttf", 24, 0));
    EXPECT_FALSE(LoadImageFont(SourcePath("CMakeLists.txt"), 24, 0));
}

TEST_F(Fonts, BuiltInFontCoversPrintableAscii) {
    SetImageFont(nullptr);
    EXPECT_EQ(TextWidth("Hello, 42!"), 60);
    EXPECT_EQ(TextWidth("\xE2\x82\xAC"), 0);  // outside 32..127
    SetColor(255, 255, 255);
    DrawText("8", 10, 10);
    Pixmap pic = ReadPicture(10, 10, 5, 7);
    EXPECT_EQ(pic.at(0, 0)[0], 0);    // the corner of an 8 is clear
    EXPECT_GT(pic.at(1, 0)[0], 200);  // its top bar is not
}

}  // namespace
