#pragma once
// The arena as the computer pilot knows it: the tiles it last saw, the costs of the way
// from every cell to each of its own pads (around blocks, or through one at the price
// of stopping to shoot it out), the order to collect the pads in, and the room left
// around blocks.
#include <array>
#include <cstdint>

#include "sim/world.h"

class PilotArena {
public:
    using Field = std::array<uint16_t, MAP_CELLS>;  // costs of the way to one cell
    static constexpr int kBlockCost = 6;            // a block in the way: stop, turn, shoot

    explicit PilotArena(int index);

    // Takes in the tiles as they stand. The costs are worked out again only when the
    // blocks or the set of pads change; a collected pad just drops out.
    void update(const World& w);
    // The pad to fly to next from cell `here`: the first of the order of the pads left
    // that costs least, kept unless another order is clearly shorter. The pad under
    // `standing_on` is collected by the coming flight step and left out; one under
    // `their_cell` waits till later. -1 when none is left.
    int next_pad(int here, int standing_on, int their_cell);
    const Field& field_to_pad() const { return fields_[target_]; }

    // The costs of the way to any cell.
    void build_field(Field& field, int to) const;
    // Up to `max` cells downhill along `field` from `from` (the first) to `to`; the count.
    int path(const Field& field, int from, int to, int* cells, int max) const;

    int tile(int cell) const { return tiles_[cell]; }
    // Its own pads, floor and its own start pad: where setting down is safe.
    bool landing_cell(int cell) const;
    // How far a point is from the nearest block cell (or the cell kept out of), up to
    // a cell's width.
    float clearance(float x, float y) const;
    // A box of half-size `half` moved along the line keeps clear.
    bool line_free(float x0, float y0, float x1, float y1, float half) const;

    int avoid_cell = -1;  // a cell kept out of like a block; -1 none

private:
    int own_pad_, own_start_;
    std::array<int, MAP_CELLS> tiles_;
    std::array<int, PADS_PER_SIDE> pad_cells_{};
    std::array<Field, PADS_PER_SIDE> fields_{};
    int pad_count_ = 0;
    int target_ = -1;  // the slot of the pad it flies to
};
