// The picture must not change by a single pixel when the drawing underneath changes:
// one scripted game is played headless and its screenshots are compared with the ones
// in tests/golden/screens, taken from the same run before the renderer was reworked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/pixmap.h"
#include "support.h"

namespace {

using test_support::OutputPath;
using test_support::RunGame;
using test_support::SourcePath;

struct Golden {
    int frame;
    const char* name;
};

// Frames of tests/scripts/whole_game.txt (seed 11) worth looking at.
const Golden kScreens[] = {
    {120, "logo_grow"},         {250, "logo_fade"},       {330, "title"},
    {350, "opening"},           {1809, "busy_explosions"}, {1832, "busy_trails"},
    {2540, "closing"},          {2610, "opening_round2"}, {3630, "pause"},
    {6800, "game_over"},
};

std::string file_name(const Golden& g) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%05d_%s.png", g.frame, g.name);
    return buf;
}

struct Difference {
    int pixels = 0;    // pixels with any channel different
    int largest = 0;   // largest channel difference
};

Difference compare(const Pixmap& want, const Pixmap& got, Pixmap* marked) {
    Difference d;
    *marked = MakePixmap(want.width, want.height, 3);
    for (int y = 0; y < want.height; ++y) {
        for (int x = 0; x < want.width; ++x) {
            const uint8_t* a = want.at(x, y);
            const uint8_t* b = got.at(x, y);
            int most = 0;
            for (int c = 0; c < 3; ++c) most = std::max(most, std::abs(int(a[c]) - int(b[c])));
            uint8_t* m = marked->at(x, y);
            m[0] = m[1] = m[2] = uint8_t(a[0] / 4);
            if (most == 0) continue;
            ++d.pixels;
            d.largest = std::max(d.largest, most);
            m[0] = 255;
            m[1] = m[2] = 0;
        }
    }
    return d;
}

TEST(GoldenScreens, AWholeGameLooksExactlyAsRecorded) {
    std::vector<std::string> args = {"--headless", "--seed", "11", "--script",
                                     SourcePath("tests/scripts/whole_game.txt"), "--frames", "6800"};
    for (const Golden& g : kScreens) {
        args.push_back("--shot");
        args.push_back(std::to_string(g.frame) + ":" + OutputPath("now_" + file_name(g)));
    }
    std::string err;
    ASSERT_EQ(RunGame(args, &err), 0) << err;
    for (const Golden& g : kScreens) {
        SCOPED_TRACE(file_name(g));
        Pixmap want = LoadPixmap(SourcePath("tests/golden/screens/" + file_name(g)));
        Pixmap got = LoadPixmap(OutputPath("now_" + file_name(g)));
        ASSERT_FALSE(want.empty());
        ASSERT_FALSE(got.empty());
        ASSERT_EQ(got.width, want.width);
        ASSERT_EQ(got.height, want.height);
        ASSERT_EQ(got.channels, 3);
        Pixmap marked;
        Difference d = compare(want, got, &marked);
        if (d.pixels) SavePNG(OutputPath("diff_" + file_name(g)), marked);
        EXPECT_EQ(d.pixels, 0) << "largest channel difference " << d.largest << "; differing pixels in red: "
                               << OutputPath("diff_" + file_name(g));
    }
}

}  // namespace
