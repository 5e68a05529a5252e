// Who flies: pilots by name, the defaults for the pads found, which pad port each
// helicopter reads, and how many pads the rules count.
#include "session/pilots.h"

#include <gtest/gtest.h>

namespace {

TEST(Pilots, NamesReadAndWriteBack) {
    for (const char* name : {"pad", "pad1", "pad2", "pad16", "keys", "computer:easy", "computer:normal", "computer:hard"}) {
        PilotChoice p;
        ASSERT_TRUE(parse_pilot(name, &p)) << name;
        EXPECT_EQ(pilot_text(p), name);
    }
    PilotChoice p;
    ASSERT_TRUE(parse_pilot("Computer", &p));
    EXPECT_EQ(p.skill, PilotSkill::normal);
    for (const char* bad : {"", "pad0", "pad17", "pad1x", "computer:", "computer:expert", "keyboard", "computerhard"})
        EXPECT_FALSE(parse_pilot(bad, &p)) << bad;
    EXPECT_EQ(pilot_label(PilotChoice{PilotKind::computer, -1, PilotSkill::hard}, -1), "Computer \u00b7 hard");
    EXPECT_EQ(pilot_label(PilotChoice{PilotKind::pad}, 1), "Pad 2");
}

TEST(Pilots, WithoutEnoughPadsAHelicopterFliesOnItsKeyboardHalf) {
    Pilots two = Pilots::defaults(2), one = Pilots::defaults(1), none = Pilots::defaults(0);
    EXPECT_EQ(two.choice[0].kind, PilotKind::pad);
    EXPECT_EQ(two.choice[1].kind, PilotKind::pad);
    EXPECT_EQ(two.pad_port(0), 0);
    EXPECT_EQ(two.pad_port(1), 1);
    EXPECT_EQ(one.choice[1].kind, PilotKind::keys);
    EXPECT_EQ(none.choice[0].kind, PilotKind::keys);
    // The rules read Red once two pads are counted: a keyboard half counts as one.
    EXPECT_EQ(two.pads_for_rules(2), 2);
    EXPECT_EQ(one.pads_for_rules(1), 2);
    EXPECT_EQ(none.pads_for_rules(0), 2);
    EXPECT_EQ(two.pads_for_rules(3), 3);  // as many as are found, as before
}

TEST(Pilots, APadPilotTakesThePadTheOtherSideLeaves) {
    Pilots p = Pilots::defaults(2);
    p.choice[0] = PilotChoice{PilotKind::pad, 0};
    p.choice[1] = PilotChoice{PilotKind::pad};
    EXPECT_EQ(p.pad_port(1), 1);
    p.choice[0] = PilotChoice{PilotKind::pad, 1};
    EXPECT_EQ(p.pad_port(1), 0);
    p.choice[0] = PilotChoice{PilotKind::keys};
    EXPECT_EQ(p.pad_port(1), 0);  // the only pad now
    EXPECT_EQ(p.pad_port(0), -1);
    p.choice[1] = PilotChoice{PilotKind::pad, 3};
    EXPECT_EQ(p.pad_port(1), 3);
}

TEST(Pilots, TheTwoKeyboardHalvesShareNoKey) {
    KeyLayout a = default_layout(0), b = default_layout(1);
    for (const auto& action_a : a)
        for (int ka : action_a)
            for (const auto& action_b : b)
                for (int kb : action_b) EXPECT_TRUE(ka == 0 || ka != kb) << ka;
    for (const KeyLayout& k : {a, b})
        for (const auto& action : k) EXPECT_NE(action[0], 0);
}

}  // namespace
