#include "pilots/pilot_arena.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "sim/trig.h"

namespace {

constexpr int kSteps[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};

}  // namespace

PilotArena::PilotArena(int index)
    : own_pad_(index == 0 ? TILE_BLUE_PAD : TILE_RED_PAD), own_start_(index == 0 ? TILE_BLUE_START : TILE_RED_START) {
    tiles_.fill(-1);
}

void PilotArena::update(const World& w) {
    bool rebuild = false;
    for (int i = 0; i < MAP_CELLS; ++i) {
        int tile = w.level[i].tile;
        if (tiles_[i] == tile) continue;
        bool pad_gone = tiles_[i] == own_pad_ && tile == TILE_FLOOR;
        if (!pad_gone) rebuild = true;
        tiles_[i] = tile;
    }
    if (!rebuild) return;
    int keep = target_ >= 0 ? pad_cells_[target_] : -1;
    pad_count_ = 0;
    target_ = -1;
    for (int i = 0; i < MAP_CELLS && pad_count_ < PADS_PER_SIDE; ++i) {
        if (tiles_[i] != own_pad_) continue;
        if (i == keep) target_ = pad_count_;
        pad_cells_[pad_count_] = i;
        build_field(fields_[pad_count_++], i);
    }
}

int PilotArena::next_pad(int here, int standing_on, int their_cell) {
    int slots[PADS_PER_SIDE], n = 0;
    for (int s = 0; s < pad_count_; ++s) {
        if (tiles_[pad_cells_[s]] == own_pad_ && pad_cells_[s] != standing_on) slots[n++] = s;
    }
    if (n == 0) {
        target_ = -1;
        return -1;
    }
    int best_cost = INT_MAX, best_first = -1, keep_cost = INT_MAX;
    do {
        int cost = fields_[slots[0]][here] + (pad_cells_[slots[0]] == their_cell ? kBlockCost * 3 : 0);
        for (int i = 1; i < n; ++i) cost += fields_[slots[i]][pad_cells_[slots[i - 1]]];
        if (cost < best_cost) best_cost = cost, best_first = slots[0];
        if (slots[0] == target_) keep_cost = std::min(keep_cost, cost);
    } while (std::next_permutation(slots, slots + n));
    if (keep_cost > best_cost + 2) target_ = best_first;
    return pad_cells_[target_];
}

void PilotArena::build_field(Field& field, int to) const {
    // Cheapest first, by buckets of cost: a step costs 1, or kBlockCost into a block, so
    // kBlockCost + 1 buckets in a ring hold every cell still open.
    constexpr int kRing = kBlockCost + 1;
    field.fill(UINT16_MAX);
    std::array<std::array<int16_t, MAP_CELLS>, kRing> bucket;
    std::array<int, kRing> size{};
    field[to] = 0;
    bucket[0][size[0]++] = int16_t(to);
    int open = 1;
    for (int d = 0; open > 0; ++d) {
        auto& now = bucket[d % kRing];
        int& count = size[d % kRing];
        for (int k = 0; k < count; ++k) {
            int u = now[k];
            --open;
            if (field[u] != d) continue;  // reached more cheaply since
            int nd = d + (tiles_[u] == TILE_BLOCK ? kBlockCost : 1);
            int col = u % MAP_COLS, row = u / MAP_COLS;
            for (const auto& st : kSteps) {
                int c = col + st[0], r = row + st[1];
                if (c < 0 || c >= MAP_COLS || r < 0 || r >= MAP_ROWS) continue;
                int v = r * MAP_COLS + c;
                if (nd >= field[v]) continue;
                field[v] = uint16_t(nd);
                int b = nd % kRing;
                bucket[b][size[b]++] = int16_t(v);
                ++open;
            }
        }
        count = 0;
    }
}

int PilotArena::path(const Field& field, int from, int to, int* cells, int max) const {
    int len = 0;
    cells[len++] = from;
    while (len < max && cells[len - 1] != to) {
        int u = cells[len - 1], best = -1, best_cost = INT_MAX;
        int col = u % MAP_COLS, row = u / MAP_COLS;
        for (const auto& st : kSteps) {
            int c = col + st[0], r = row + st[1];
            if (c < 0 || c >= MAP_COLS || r < 0 || r >= MAP_ROWS) continue;
            int v = r * MAP_COLS + c;
            int cost = field[v] + (tiles_[v] == TILE_BLOCK ? kBlockCost : 1);
            if (cost < best_cost) best_cost = cost, best = v;
        }
        cells[len++] = best;
    }
    return len;
}

bool PilotArena::landing_cell(int cell) const {
    int tile = tiles_[cell];
    return tile == own_pad_ || tile == own_start_ || tile == TILE_FLOOR;
}

float PilotArena::clearance(float x, float y) const {
    float best = CELL_SIZE;
    int col = int(x) / CELL_SIZE, row = (int(y) - ARENA_TOP) / CELL_SIZE;
    for (int r = row - 1; r <= row + 1; ++r) {
        for (int c = col - 1; c <= col + 1; ++c) {
            if (c < 0 || c >= MAP_COLS || r < 0 || r >= MAP_ROWS) continue;
            int cell = r * MAP_COLS + c;
            if (tiles_[cell] != TILE_BLOCK && cell != avoid_cell) continue;
            float left = float(c * CELL_SIZE), top = float(ARENA_TOP + r * CELL_SIZE);
            float dx = std::max({0.0f, left - x, x - (left + CELL_SIZE)});
            float dy = std::max({0.0f, top - y, y - (top + CELL_SIZE)});
            best = std::min(best, std::max(dx, dy));
        }
    }
    return best;
}

bool PilotArena::line_free(float x0, float y0, float x1, float y1, float half) const {
    float len = hypot_of(x1 - x0, y1 - y0);
    int n = int(std::ceil(len / 6)) + 1;
    for (int i = 0; i <= n; ++i) {
        float k = float(i) / float(n);
        if (clearance(x0 + (x1 - x0) * k, y0 + (y1 - y0) * k) < half) return false;
    }
    return true;
}
