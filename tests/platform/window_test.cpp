#include "platform/window.h"
#include "platform/clock.h"
#include "platform/pacer.h"

#include <gtest/gtest.h>

#include "support.h"

namespace {

using test_support::OpenHeadlessGraphics;

// A window of the picture's shape: the largest whole multiple that fits, or where only
// 1x would, the largest 4:3 size that does.
TEST(Window, AWindowIsTheLargestMultipleOrFourByThreeThatFits) {
    int w = 0, h = 0;
    FitWindowSize(640, 480, 1920, 1080, &w, &h);
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 960);
    FitWindowSize(640, 480, 2560, 1440, &w, &h);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1440);
    FitWindowSize(640, 480, 1280, 800, &w, &h);  // a handheld's screen
    EXPECT_EQ(w, 1066);
    EXPECT_EQ(h, 800);
    FitWindowSize(640, 480, 1280, 960, &w, &h);  // exactly twice
    EXPECT_EQ(w, 1280);
    EXPECT_EQ(h, 960);
    FitWindowSize(640, 480, 1000, 1000, &w, &h);  // narrow: the width decides
    EXPECT_EQ(w, 1000);
    EXPECT_EQ(h, 750);
    FitWindowSize(640, 480, 600, 400, &w, &h);  // smaller than the picture
    EXPECT_EQ(w, 533);
    EXPECT_EQ(h, 400);
}

TEST(Window, HeadlessGraphicsOpensThePicture) {
    OpenHeadlessGraphics();
    EXPECT_EQ(GraphicsWidth(), 640);
    EXPECT_EQ(GraphicsHeight(), 480);
    EXPECT_TRUE(SoftSyncActive());
}

TEST(Window, SoftSyncPacesSixtyFramesASecond) {
    test_support::ReopenHeadlessGraphics();
    int start = MilliSecs();
    std::vector<int> due;
    for (int i = 0; i < 60; ++i) {
        Flip(-1);
        due.push_back(MilliSecs() - start);
    }
    // Intervals of 16, 17, 17: the schedule stands at 16, 33, 50, 66, 83, 100 ...
    EXPECT_EQ(std::vector<int>(due.begin(), due.begin() + 6), (std::vector<int>{16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(due[2], 50);
    EXPECT_EQ(due[59], 1000);
}

TEST(Window, ALateFrameMovesTheScheduleInsteadOfCatchingUp) {
    test_support::ReopenHeadlessGraphics();
    Flip(-1);
    int t0 = MilliSecs();
    Delay(30);  // this frame took 30 ms
    Flip(-1);
    EXPECT_EQ(MilliSecs(), t0 + 30);  // presented at once
    Flip(-1);
    int next = MilliSecs() - (t0 + 30);
    EXPECT_GE(next, 16);  // one period later, not earlier
    EXPECT_LE(next, 17);
}

TEST(Window, FlipWithSyncIsNotPacedAndCountsFlips) {
    OpenHeadlessGraphics();
    int flips = FlipCount(), t = MilliSecs();
    Flip(1);
    Flip(0);
    EXPECT_EQ(MilliSecs(), t);
    EXPECT_EQ(FlipCount(), flips + 2);
}

TEST(Window, DelayMovesTheVirtualClock) {
    OpenHeadlessGraphics();
    int t = MilliSecs();
    Delay(500);
    Delay(-20);
    Delay(0);
    EXPECT_EQ(MilliSecs(), t + 500);
}

TEST(Window, FlipHooksSeeEveryPresentedFrame) {
    OpenHeadlessGraphics();
    static std::vector<int> seen;  // the hook outlives the test
    AddFlipHook([] { seen.push_back(FlipCount()); });
    int first = FlipCount() + 1;
    Flip(-1);
    Flip(-1);
    EXPECT_EQ(seen, (std::vector<int>{first, first + 1}));
}

TEST(Window, PointerPositionsRoundTripThroughTheWindow) {
    OpenHeadlessGraphics();
    for (int x : {0, 1, 319, 320, 639}) {
        int wx, wy, px, py;
        PictureToWindow(x, x % 480, &wx, &wy);
        WindowToPicture(wx, wy, &px, &py);
        EXPECT_EQ(px, x);
        EXPECT_EQ(py, x % 480);
    }
}

}  // namespace
