// Placing frames in the shared texture: released room is used again before the texture
// grows, and no two frames in use ever share a texel.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/atlas.h"

namespace {

bool overlap(const AtlasSlot& a, const AtlasSlot& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

int bottom(const std::vector<AtlasSlot>& slots) {
    int rows = 0;
    for (const AtlasSlot& s : slots) rows = std::max(rows, s.y + s.h);
    return rows;
}

// The game's start: a sheet read once and cut into frames, then let go; the frames cut
// from it and the pictures after fit where it was.
TEST(AtlasPacker, APictureLetGoLeavesRoomForSmallerOnes) {
    AtlasPacker packer(2048, 2048);
    AtlasSlot sheet, back, logo, hud, pointer;
    ASSERT_TRUE(packer.Place(640, 278, &sheet));
    ASSERT_TRUE(packer.Place(640, 480, &back));
    int rows = std::max(sheet.y + sheet.h, back.y + back.h);
    packer.Release(sheet);
    ASSERT_TRUE(packer.Place(378, 145, &logo));
    ASSERT_TRUE(packer.Place(18, 18, &pointer));
    ASSERT_TRUE(packer.Place(640, 32, &hud));
    std::vector<AtlasSlot> live = {back, logo, pointer, hud};
    EXPECT_EQ(bottom(live), rows) << "the texture grew although the sheet's room was free";
    for (size_t i = 0; i < live.size(); ++i)
        for (size_t j = i + 1; j < live.size(); ++j) EXPECT_FALSE(overlap(live[i], live[j])) << i << " " << j;
}

TEST(AtlasPacker, AGrabbedFrameMadeAgainTakesItsOldPlace) {
    AtlasPacker packer(2048, 2048);
    AtlasSlot a, b, again;
    ASSERT_TRUE(packer.Place(640, 480, &a));
    ASSERT_TRUE(packer.Place(100, 50, &b));
    packer.Release(a);
    ASSERT_TRUE(packer.Place(640, 480, &again));
    EXPECT_EQ(again.x, a.x);
    EXPECT_EQ(again.y, a.y);
}

// Thousands of frames of every size made and let go at random: the frames in use never
// overlap and stay inside the texture.
TEST(AtlasPacker, FramesInUseNeverOverlap) {
    AtlasPacker packer(1024, 1024);
    std::mt19937 random(7);
    std::vector<AtlasSlot> live;
    int placed = 0;
    for (int step = 0; step < 4000; ++step) {
        if (!live.empty() && random() % 3 == 0) {
            size_t i = random() % live.size();
            packer.Release(live[i]);
            live.erase(live.begin() + long(i));
            continue;
        }
        int w = 1 + int(random() % 200), h = 1 + int(random() % 120);
        AtlasSlot s;
        if (!packer.Place(w, h, &s)) continue;
        ++placed;
        ASSERT_EQ(s.w, w);
        ASSERT_EQ(s.h, h);
        ASSERT_TRUE(s.x >= 0 && s.y >= 0 && s.x + s.w <= 1024 && s.y + s.h <= 1024);
        for (const AtlasSlot& other : live) ASSERT_FALSE(overlap(s, other)) << "step " << step;
        live.push_back(s);
    }
    EXPECT_GT(placed, 1000) << "the texture refused most frames";
}

}  // namespace
