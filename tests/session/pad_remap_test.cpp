// Fire and pause moved to other pad buttons: the rules read the chosen buttons as A and
// B, and no button is lost.
#include <gtest/gtest.h>

#include "session/pilots.h"

namespace {

uint32_t bit(int n) { return 1u << n; }

TEST(PadRemap, AAndBAsTheyAreChangeNothing) {
    for (uint32_t buttons : {0u, 1u, 2u, 0x1234u, 0xffffffffu}) EXPECT_EQ(remap_pad_buttons(buttons, 0, 1, true), buttons);
}

TEST(PadRemap, FireOnXReadsXAsAAndAAsX) {
    EXPECT_EQ(remap_pad_buttons(bit(2), 2, 1, true), bit(0));
    EXPECT_EQ(remap_pad_buttons(bit(0), 2, 1, true), bit(2));
    EXPECT_EQ(remap_pad_buttons(bit(1), 2, 1, true), bit(1)) << "pause stays on B";
    EXPECT_EQ(remap_pad_buttons(bit(6) | bit(7), 2, 1, true), bit(6) | bit(7)) << "the shoulders fire as before";
}

TEST(PadRemap, PauseOnYAndFireOnX) {
    EXPECT_EQ(remap_pad_buttons(bit(3), 2, 3, true), bit(1));
    EXPECT_EQ(remap_pad_buttons(bit(2), 2, 3, true), bit(0));
    EXPECT_EQ(remap_pad_buttons(bit(0) | bit(1), 2, 3, true), bit(2) | bit(3));
}

TEST(PadRemap, SwappedFireAndPause) {
    EXPECT_EQ(remap_pad_buttons(bit(1), 1, 0, true), bit(0));
    EXPECT_EQ(remap_pad_buttons(bit(0), 1, 0, true), bit(1));
}

TEST(PadRemap, InTheMenusAStillChoosesAndThePauseButtonAlsoGoesOn) {
    EXPECT_EQ(remap_pad_buttons(bit(0), 2, 3, false), bit(0));
    EXPECT_EQ(remap_pad_buttons(bit(1), 2, 3, false), bit(1));
    EXPECT_EQ(remap_pad_buttons(bit(3), 2, 3, false), bit(3) | bit(1));
    EXPECT_EQ(remap_pad_buttons(bit(0), 1, 0, false), bit(0)) << "pause on A: A only chooses in the menus";
}

}  // namespace
