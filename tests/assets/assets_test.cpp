// The committed pictures and sounds as the game loads them: every file decodes through
// the engine's own loaders, with the size, format and length the game relies on. The
// thorough checks of their content live next to their generators (tools/art,
// tools/sound) and run whenever the files are made again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/pixmap.h"
#include "platform/sound_load.h"

namespace {

std::vector<uint8_t> read_file(const std::string& relative) {
    std::ifstream f(std::string(WHIRLBAT_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(Pictures, EveryPictureDecodesAtTheSizeTheGameCutsItBy) {
    struct Want {
        const char* file;
        int w, h;
    };
    for (const Want& p : {Want{"whirlbat_01.png", 640, 278}, Want{"whirlbat_02.png", 640, 480},
                          Want{"dmpointer.png", 18, 18}, Want{"owlogo.png", 420, 236}}) {
        Pixmap px = DecodePNG(read_file(std::string("assets/") + p.file));
        ASSERT_FALSE(px.empty()) << p.file;
        EXPECT_EQ(px.width, p.w) << p.file;
        EXPECT_EQ(px.height, p.h) << p.file;
        // Black is the mask colour: no alpha channel of their own.
        EXPECT_EQ(px.channels, 3) << p.file;
    }
}

TEST(Pictures, TheSheetHasSomethingInEveryFrameTheGameCuts) {
    Pixmap sheet = DecodePNG(read_file("assets/whirlbat_01.png"));
    ASSERT_FALSE(sheet.empty());
    auto lit = [&](int x0, int y0, int w, int h) {
        int n = 0;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x) n += sheet.at(x, y)[0] || sheet.at(x, y)[1] || sheet.at(x, y)[2];
        return n;
    };
    for (int i = 0; i < 8; ++i) EXPECT_GT(lit(1 + 19 * i, 1, 18, 49), 100) << "helicopter " << i;
    for (int i = 0; i < 2; ++i) EXPECT_GT(lit(155 + 57 * i, 1, 56, 4), 50) << "blade " << i;
    for (int i = 0; i < 4; ++i) EXPECT_GT(lit(155 + 19 * i, 8, 18, 8), 10) << "rocket " << i;
    for (int i = 1; i < 10; ++i) EXPECT_GT(lit(1 + 33 * i, 53, 32, 32), 100) << "tile " << i;
    EXPECT_GT(lit(0, 87, 378, 145), 5000) << "logo";
    EXPECT_GT(lit(0, 240, 640, 32), 15000) << "HUD bar";
}

TEST(Sounds, EverySoundDecodesAt44100HzWithoutClipping) {
    const char* names[] = {"start",  "explode", "brocket", "rrocket", "land",     "death",  "blulead",   "redlead",
                           "bluwin", "redwin",  "tied",    "detectgb", "newmap", "titletrack", "playtrack"};
    for (const char* name : names) {
        auto s = DecodeSound(read_file(std::string("data/") + name + ".ogg"));
        ASSERT_TRUE(s) << name;
        EXPECT_EQ(s->rate, 44100) << name;
        EXPECT_TRUE(s->channels == 1 || s->channels == 2) << name;
        bool music = std::string(name).find("track") != std::string::npos;
        double seconds = double(s->frames) / s->rate;
        EXPECT_GT(seconds, music ? 30.0 : 0.2) << name;
        EXPECT_LT(seconds, music ? 120.0 : 3.0) << name;
        int peak = 0;
        for (int16_t v : s->s16) peak = std::max(peak, std::abs(int(v)));
        EXPECT_LT(peak, 32767) << name << " reaches full scale";
        EXPECT_GT(peak, 1000) << name << " is silent";
    }
}

}  // namespace
