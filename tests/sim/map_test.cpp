// The arena generator and its invariants.
#include <array>

#include "sim/random.h"
#include "world_fixture.h"

namespace {

using Map = WorldTest;

// The generator worked out independently: 64-bit Park-Miller steps and the draws in
// the order the game makes them.
struct ReferenceMap {
    long long state;
    explicit ReferenceMap(int seed) : state(seed) {}
    long long step() { return state = state * 48271 % 2147483647; }
    double draw() {
        double a = double(step() & 0x1ffffffc);
        double b = double(step() & 0x1ffffff8);
        return (a + b / 134217728.0) / 536870912.0;
    }
    int below(int n) { return int(draw() * n); }
    int between(int a, int b) { return a + int(draw() * (b - a)); }
    int cell() {
        int col = below(20);
        int row = below(13);
        return row * 20 + col;
    }
    std::array<int, 260> tiles{};
    int blue_start = -1, red_start = -1;

    void generate() {
        tiles.fill(1);
        for (int n = between(20, 60); n > 0; --n) tiles[cell()] = 3;
        for (int n = between(40, 180); n > 0; --n) tiles[cell()] = 0;
        for (int t : {7, 6}) {
            for (int k = 0; k < 5; ++k) {
                int c;
                do c = cell();
                while (tiles[c] == 6 || tiles[c] == 7);
                tiles[c] = t;
            }
        }
        do blue_start = below(259);
        while (tiles[blue_start] == 6 || tiles[blue_start] == 7);
        tiles[blue_start] = 5;
        do red_start = below(259);
        while (tiles[red_start] >= 5 && tiles[red_start] <= 7);
        tiles[red_start] = 4;
    }
};

TEST_F(Map, OneSeedGivesTheMapWorkedOutFromTheGenerator) {
    w.rng.SeedRnd(20261208);
    level_tag::new_map(w);
    ReferenceMap ref(20261208);
    ref.generate();
    for (int i = 0; i < 260; ++i) ASSERT_EQ(w.level[i].tile, ref.tiles[i]) << "cell " << i;
    EXPECT_EQ(w.player[0].stx, w.level[ref.blue_start].x);
    EXPECT_EQ(w.player[1].sty, w.level[ref.red_start].y);
    // And the generator has drawn exactly as many numbers as the reference.
    EXPECT_EQ(w.rng.state, int(ref.state));
}

TEST_F(Map, EveryMapHoldsFivePadsOfEachColourAndTwoStartPads) {
    int cell259_kinds[8] = {};
    for (int seed = 1; seed <= 2000; ++seed) {
        w.rng.SeedRnd(seed);
        level_tag::new_map(w);
        int count[8] = {};
        for (const level_tag& cell : w.level) count[cell.tile]++;
        ASSERT_EQ(count[7], 5) << seed;
        ASSERT_EQ(count[6], 5) << seed;
        ASSERT_EQ(count[5], 1) << seed;
        ASSERT_EQ(count[4], 1) << seed;
        ASSERT_EQ(count[2], 0) << seed;
        ASSERT_LE(count[3], 59) << seed;
        cell259_kinds[w.level[259].tile]++;
        for (int i = 0; i < 2; ++i) {
            const player_tag& p = w.player[i];
            int start = i == 0 ? TILE_BLUE_START : TILE_RED_START;
            int c = cell_index(p.x, p.y);
            ASSERT_EQ(w.level[c].tile, start) << seed;
            ASSERT_EQ(p.x, float(w.level[c].x));
            ASSERT_EQ(p.stx, w.level[c].x);
            ASSERT_EQ(p.sty, w.level[c].y);
        }
    }
    // The last cell is never a start pad but can be anything else.
    EXPECT_EQ(cell259_kinds[4] + cell259_kinds[5], 0);
    EXPECT_GT(cell259_kinds[0], 0);
    EXPECT_GT(cell259_kinds[1], 0);
    EXPECT_GT(cell259_kinds[3], 0);
    EXPECT_GT(cell259_kinds[6] + cell259_kinds[7], 0);
}

TEST_F(Map, CellsAreLaidOutInRowsOfTwenty) {
    EXPECT_EQ(w.level[0].x, 16);
    EXPECT_EQ(w.level[0].y, 48);
    EXPECT_EQ(w.level[21].x, 48);
    EXPECT_EQ(w.level[21].y, 80);
    EXPECT_EQ(w.level[259].x, 624);
    EXPECT_EQ(w.level[259].y, 432);
    EXPECT_EQ(cell_index(0, 32), 0);
    EXPECT_EQ(cell_index(639.9, 447.9), 259);
    EXPECT_EQ(cell_index(31.9, 63.9), 0);
    EXPECT_EQ(cell_index(10, 31), 0);  // truncation toward zero, not down
}

}  // namespace
