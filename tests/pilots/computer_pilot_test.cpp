// The computer pilot flying the game's own rules frame by frame: collecting and landing,
// where it sets down, when it fires, getting out of a rocket's way, keeping still
// outside a round, doing the same thing twice, and how the skills differ.
#include <array>
#include <string>
#include <vector>

#include "pilots/computer_pilot.h"
#include "game_fixture.h"

namespace {

constexpr PilotSkill kSkills[3] = {PilotSkill::easy, PilotSkill::normal, PilotSkill::hard};

const char* name(PilotSkill s) {
    return s == PilotSkill::easy ? "easy" : s == PilotSkill::normal ? "normal" : "hard";
}

bool idle(const PortInput& p) {
    for (float a : p.axis) {
        if (a != 0) return false;
    }
    return p.buttons == 0;
}

bool safe_to_set_down(int tile, int index) {
    int own_pad = index == 0 ? TILE_BLUE_PAD : TILE_RED_PAD;
    int own_start = index == 0 ? TILE_BLUE_START : TILE_RED_START;
    return tile == own_pad || tile == own_start || tile == TILE_FLOOR;
}

class PilotTest : public GameTest {
protected:
    ComputerPilot* pilot[2] = {nullptr, nullptr};

    // One frame with the pilots on their ports; a port without one is left as it is.
    void fly() {
        if (g.after != AfterPresent::round_start) {
            for (int i = 0; i < 2; ++i) {
                if (pilot[i]) in.port[i] = pilot[i]->next(w, g);
            }
        }
        frames();
    }

    // A hand-made arena for the running round, 13 rows of 20: '.' void, 'f' floor,
    // '#' block, 'b' / 'r' the start pads (each helicopter is put down on its own),
    // 'B' / 'R' the pads.
    void arena(const std::array<const char*, MAP_ROWS>& rows) {
        int pads[2] = {0, 0};
        for (int r = 0; r < MAP_ROWS; ++r) {
            ASSERT_EQ(std::string(rows[r]).size(), size_t(MAP_COLS)) << "row " << r;
            for (int c = 0; c < MAP_COLS; ++c) {
                int cell = r * MAP_COLS + c;
                int tile = TILE_FLOOR;
                switch (rows[r][c]) {
                    case '.': tile = TILE_VOID; break;
                    case '#': tile = TILE_BLOCK; break;
                    case 'b': tile = TILE_BLUE_START, put_down(0, cell); break;
                    case 'r': tile = TILE_RED_START, put_down(1, cell); break;
                    case 'B': tile = TILE_BLUE_PAD, ++pads[0]; break;
                    case 'R': tile = TILE_RED_PAD, ++pads[1]; break;
                    default: break;
                }
                w.level[cell].tile = tile;
            }
        }
        for (int i = 0; i < 2; ++i) w.player[i].pads = pads[i];
        w.rocket_list.clear();
    }

    void put_down(int index, int cell) {
        player_tag& p = w.player[index];
        p.x = p.stx = w.level[cell].x;
        p.y = p.sty = w.level[cell].y;
        p.pos = cell;
        p.alt = 0;
        p.scale = GROUND_SCALE;
        p.rotation = p.rstp = p.elv = p.ail = p.rotspd = 0;
        p.rocket_ctr = 0;
    }

    // In the air at a point and height, heading `rotation`, at rest.
    void put_up(int index, float x, float y, int alt, float rotation = 0) {
        player_tag& p = w.player[index];
        p.x = x;
        p.y = y;
        p.pos = cell_index(x, y);
        p.alt = alt;
        p.scale = GROUND_SCALE;
        for (int i = 0; i < alt; ++i) p.scale = float(double(p.scale) + CLIMB_SCALE_STEP);
        p.rotation = rotation;
        p.rstp = p.elv = p.ail = 0;
        p.rotspd = ROTOR_SPIN;
        p.rocket_ctr = 0;
    }
};

// All floor, Blue in the top-left corner, its pads scattered, Red far off.
const std::array<const char*, MAP_ROWS> kOpenField = {
    "ffffffffffffffffffff",  //
    "fbffffffffffffffBfff",  //
    "ffffffffffffffffffff",  //
    "ffffffffffffffffffff",  //
    "ffffffBfffffffffffff",  //
    "ffffffffffffffffffff",  //
    "ffffffffffffBfffffff",  //
    "ffffffffffffffffffff",  //
    "ffBfffffffffffffffff",  //
    "ffffffffffffffffffff",  //
    "fffffffffffffffffBff",  //
    "ffffffffffffffffffff",  //
    "ffffffffffffffffffRr",  //
};

TEST_F(PilotTest, TakesOffAndLandsOnEachOfItsPadsInTurn) {
    for (PilotSkill skill : kSkills) {
        SCOPED_TRACE(name(skill));
        start(5, 2);
        start_from_title();
        arena(kOpenField);
        ComputerPilot blue(0, skill, 11);
        pilot[0] = &blue;
        int collected = 0, highest = 0;
        for (int f = 0; f < 4000 && g.play_phase == PlayPhase::running; ++f) {
            World before = w;
            fly();
            highest = std::max(highest, w.player[0].alt);
            if (w.player[0].pads < before.player[0].pads) {
                ++collected;
                // It had set down on its own pad, which is floor now.
                const player_tag& was = before.player[0];
                EXPECT_EQ(was.alt, 0);
                EXPECT_EQ(before.level[cell_index(was.x, was.y)].tile, TILE_BLUE_PAD);
                EXPECT_EQ(w.level[cell_index(was.x, was.y)].tile, TILE_FLOOR);
            }
        }
        EXPECT_EQ(collected, 5);
        EXPECT_GE(highest, 1);
        EXPECT_EQ(w.player[0].battery, BATTERIES);
        EXPECT_EQ(g.play_phase, PlayPhase::closing);  // its fifth pad ended the round
    }
}

// Watches a round for touchdowns: each must be on a cell where setting down is safe.
struct Touchdowns {
    int seen = 0, unsafe = 0;
    void check(const World& before, const World& after, int index) {
        const player_tag &was = before.player[index], &now = after.player[index];
        if (was.alt < 1 || now.alt != 0 || now.battery != was.battery) return;
        ++seen;
        int tile = after.level[cell_index(now.x, now.y)].tile;
        if (!safe_to_set_down(tile, index)) ++unsafe;
    }
};

TEST_F(PilotTest, SetsDownOnlyOnItsOwnPadsFloorOrItsStartAmongVoidsAndTheOtherColour) {
    // Every Blue pad sits among voids and Red's cells, Red itself beside one of them.
    const std::array<const char*, MAP_ROWS> minefield = {
        "ffffffffffffffffffff",  //
        "fbfff.R.ffff.R.fffff",  //
        "fffff.B.ffff.B.fffff",  //
        "fffff...ffffR.Rfffff",  //
        "ffffffffffffffffffff",  //
        "ff.......ffffff.Rfff",  //
        "ff.RBR...fffff.rBfff",  //
        "ff.......ffffff.Rfff",  //
        "ffffffffffffffffffff",  //
        "fffffffff...ffffffff",  //
        "fffffffff.B.ffffffff",  //
        "fffffffff...ffffffff",  //
        "ffffffffffffffffffff",  //
    };
    for (PilotSkill skill : kSkills) {
        SCOPED_TRACE(name(skill));
        start(5, 2);
        start_from_title();
        arena(minefield);
        ComputerPilot blue(0, skill, 3);
        pilot[0] = &blue;
        Touchdowns t;
        for (int f = 0; f < 6000 && g.play_phase == PlayPhase::running; ++f) {
            World before = w;
            fly();
            t.check(before, w, 0);
        }
        EXPECT_EQ(t.unsafe, 0);
        EXPECT_GE(t.seen, 5);
        EXPECT_EQ(w.player[0].battery, BATTERIES);
        EXPECT_EQ(w.player[0].pads, 0);
    }
}

TEST_F(PilotTest, SetsDownOnlyWhereItIsSafeInTheGamesOwnArenas) {
    for (int seed = 1; seed <= 6; ++seed) {
        for (PilotSkill skill : kSkills) {
            for (int index = 0; index < 2; ++index) {
                SCOPED_TRACE(std::string(name(skill)) + " seed " + std::to_string(seed) + " side " +
                             std::to_string(index));
                start(seed, 2);
                start_from_title();
                ComputerPilot p(index, skill, uint32_t(seed));
                pilot[0] = pilot[1] = nullptr;
                pilot[index] = &p;
                Touchdowns t;
                for (int f = 0; f < 6000 && g.play_phase == PlayPhase::running; ++f) {
                    World before = w;
                    fly();
                    t.check(before, w, index);
                }
                EXPECT_EQ(t.unsafe, 0);
                EXPECT_GE(t.seen, 5);
                EXPECT_EQ(w.player[index].battery, BATTERIES);
                EXPECT_EQ(w.player[index].pads, 0);
            }
        }
    }
}

// One decision in a bare arena: Blue in the air at (320, 336), nose up, its pads to the
// south so its way leads away from the other helicopter.
class FireTest : public PilotTest {
protected:
    void SetUp() override {
        PilotTest::SetUp();
        start_from_title();
        arena({
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "fbffffffBBBBBfffffff",  //
            "fffffffffffffffffRfr",  //
        });
        put_up(0, 320, 336, 20);
    }

    bool fires(PilotSkill skill) {
        ComputerPilot blue(0, skill, 1);
        PortInput p = blue.next(w, g);
        return p.buttons & (1u << 0 | 1u << 6 | 1u << 7);
    }
};

TEST_F(FireTest, FiresAtTheOtherHelicopterStraightAheadAtItsHeight) {
    for (int dalt : {0, -2, 2}) {
        put_up(1, 320, 240, 20 + dalt);
        for (PilotSkill skill : kSkills) EXPECT_TRUE(fires(skill)) << name(skill) << " height " << dalt;
    }
}

TEST_F(FireTest, HoldsFireOutOfAltitudeRange) {
    for (int dalt : {5, -5, 12, 30}) {
        put_up(1, 320, 240, 20 + dalt);
        for (PilotSkill skill : kSkills) EXPECT_FALSE(fires(skill)) << name(skill) << " height " << dalt;
    }
}

TEST_F(FireTest, HoldsFireWhenNotLinedUp) {
    for (float heading : {90.0f, 180.0f, -45.0f, 25.0f}) {
        put_up(1, 320, 240, 20);
        w.player[0].rotation = heading;
        for (PilotSkill skill : kSkills) EXPECT_FALSE(fires(skill)) << name(skill) << " heading " << heading;
    }
}

TEST_F(FireTest, HoldsFireAtAHelicopterOnTheGroundOrBehindABlock) {
    put_down(1, cell_index(320, 240));
    for (PilotSkill skill : kSkills) EXPECT_FALSE(fires(skill)) << name(skill) << " landed";
    put_up(1, 320, 176, 20);
    w.level[cell_index(320, 272)].tile = TILE_BLOCK;
    for (PilotSkill skill : kSkills) EXPECT_FALSE(fires(skill)) << name(skill) << " block";
}

TEST_F(FireTest, HoldsFireDuringTheCoolDownAndPressesOnlyOnce) {
    put_up(1, 320, 240, 20);
    w.player[0].rocket_ctr = 30;
    for (PilotSkill skill : kSkills) EXPECT_FALSE(fires(skill)) << name(skill);
    w.player[0].rocket_ctr = 0;
    ComputerPilot blue(0, PilotSkill::hard, 1);
    EXPECT_TRUE(blue.next(w, g).buttons);
    EXPECT_EQ(blue.next(w, g).buttons, 0u);  // let go before the next press
}

TEST_F(FireTest, SparesTheOtherSidesLastBatteryUnlessAhead) {
    put_up(1, 320, 240, 20);
    w.player[1].battery = 1;
    w.player[0].score = w.player[1].score = 7;
    for (PilotSkill skill : kSkills) EXPECT_FALSE(fires(skill)) << name(skill) << " level";
    w.player[0].score = 8;
    for (PilotSkill skill : kSkills) EXPECT_TRUE(fires(skill)) << name(skill) << " ahead";
}

// Blue takes off and flies up its column to its pad; once it flies level, a rocket of
// Red's comes down the column at Blue's height.
class DodgeTest : public PilotTest {
protected:
    // Batteries Blue loses; with `hold_height` its height stick is held still.
    int run(PilotSkill skill, bool hold_height, int* closest_gap = nullptr) {
        start(5, 2);
        start_from_title();
        arena({
            "ffffffffffBfffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffffffffffff",  //
            "ffffffffffbffffffffr",  //
            "fffffffffffffffffRff",  //
        });
        ComputerPilot blue(0, skill, 5);
        pilot[0] = &blue;
        int level = 0;
        for (int f = 0; f < 600 && level < 10; ++f) {
            int alt = w.player[0].alt;
            fly();
            level = w.player[0].alt == alt && alt > 0 ? level + 1 : 0;
        }
        const player_tag& p = w.player[0];
        EXPECT_EQ(level, 10);
        EXPECT_GT(p.y, 280);  // still far from the pad
        rocket_tag r;
        r.x = p.x;
        r.y = p.y - 220;
        r.id = 1;
        r.scale = p.scale;
        r.dir = 180;
        r.alt = p.alt;
        w.rocket_list.push_back(r);
        int battery = p.battery, gap = 99;
        for (int f = 0; f < 120; ++f) {
            if (hold_height) {
                in.port[0] = blue.next(w, g);
                in.port[0].axis[AXIS_Y] = 0;
                frames();
            } else {
                fly();
            }
            EXPECT_EQ(g.play_phase, PlayPhase::running);
            for (const rocket_tag& rocket : w.rocket_list) {
                if (rocket.id == 1 && cell_index(rocket.x, rocket.y) == p.pos) gap = std::min(gap, std::abs(rocket.alt - p.alt));
            }
        }
        EXPECT_TRUE(w.rocket_list.empty());  // gone past or hit, not still on its way
        if (closest_gap) *closest_gap = gap;
        return battery - p.battery;
    }
};

TEST_F(DodgeTest, AHelicopterThatKeepsItsHeightIsHit) {
    for (PilotSkill skill : kSkills) EXPECT_EQ(run(skill, true), 1) << name(skill);
}

TEST_F(DodgeTest, ThePilotGetsOutOfTheRocketsHeight) {
    for (PilotSkill skill : kSkills) {
        int gap = 0;
        EXPECT_EQ(run(skill, false, &gap), 0) << name(skill);
        EXPECT_GT(gap, HIT_WINDOW) << name(skill);
    }
}

TEST_F(PilotTest, HoldsNothingOutsideARunningRound) {
    ComputerPilot blue(0, PilotSkill::hard, 1), red(1, PilotSkill::normal, 2);
    pilot[0] = &blue;
    pilot[1] = &red;
    auto check_idle = [&](const char* where) {
        EXPECT_TRUE(idle(blue.next(w, g))) << where;
        EXPECT_TRUE(idle(red.next(w, g))) << where;
    };
    check_idle("title");
    click_at(320, 245);
    frames();
    ASSERT_EQ(g.play_phase, PlayPhase::opening);
    check_idle("opening");
    while (g.play_phase == PlayPhase::opening) frames();
    bool moved = false;
    for (int f = 0; f < 30; ++f) {
        fly();
        moved |= w.player[0].alt > 0 && w.player[1].alt > 0;
    }
    EXPECT_TRUE(moved);  // in the round they fly
    esc();
    fly();
    ASSERT_EQ(g.game_state, GameState::pause);
    check_idle("pause");
    space();
    frames();
    ASSERT_EQ(g.game_state, GameState::play);
    w.player[1].pads = 0;
    fly();
    ASSERT_EQ(g.play_phase, PlayPhase::closing);
    check_idle("closing");
    while (g.play_phase != PlayPhase::running) frames();
    w.player[0].battery = 0;
    fly();
    ASSERT_EQ(g.game_state, GameState::over);
    check_idle("game over");
}

TEST_F(PilotTest, TheSameStatesGiveTheSameInputs) {
    auto record = [&](std::vector<PortInput>& inputs) {
        start(9, 2);
        start_from_title();
        ComputerPilot blue(0, PilotSkill::hard, 77), red(1, PilotSkill::easy, 78);
        pilot[0] = &blue;
        pilot[1] = &red;
        for (int f = 0; f < 3000; ++f) {
            if (f == 1500) {
                // A copy of a pilot decides as the pilot does.
                ComputerPilot copy = blue;
                PortInput a = copy.next(w, g), b = ComputerPilot(blue).next(w, g);
                EXPECT_EQ(std::vector<float>(a.axis, a.axis + 4), std::vector<float>(b.axis, b.axis + 4));
                EXPECT_EQ(a.buttons, b.buttons);
            }
            fly();
            inputs.push_back(in.port[0]);
            inputs.push_back(in.port[1]);
        }
    };
    std::vector<PortInput> first, second;
    record(first);
    record(second);
    ASSERT_EQ(first.size(), second.size());
    int differ = 0, active = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        differ += std::vector<float>(first[i].axis, first[i].axis + 4) !=
                      std::vector<float>(second[i].axis, second[i].axis + 4) ||
                  first[i].buttons != second[i].buttons;
        active += !idle(first[i]);
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(active, 1000);
}

TEST_F(PilotTest, HardCollectsItsPadsFasterThanEasyOnTheSameArenas) {
    auto frames_for_round = [&](int seed, PilotSkill skill) {
        start(seed, 2);
        start_from_title();
        ComputerPilot blue(0, skill, 1);
        pilot[0] = &blue;
        pilot[1] = nullptr;
        int f = 0;
        while (g.play_phase == PlayPhase::running && f < 6000) fly(), ++f;
        EXPECT_EQ(w.player[0].pads, 0) << name(skill) << " seed " << seed;
        return f;
    };
    int easy = 0, hard = 0, hard_faster = 0;
    for (int seed = 21; seed <= 28; ++seed) {
        int e = frames_for_round(seed, PilotSkill::easy), h = frames_for_round(seed, PilotSkill::hard);
        easy += e;
        hard += h;
        hard_faster += h < e;
    }
    EXPECT_LT(hard, easy * 9 / 10);
    EXPECT_GE(hard_faster, 6);
}

}  // namespace
