#pragma once
// Engine-internal: places rectangles in one large texture so that every image frame can
// be drawn from the same texture. Shelves of rows; a released rectangle is handed out
// again to the next request of exactly its size (grabbed frames are re-made at the same
// size), or cut to a smaller one (a picture read once at start-up and let go leaves room
// for the frames cut from it), before the shelves grow the texture.
#include <map>
#include <utility>
#include <vector>

struct AtlasSlot {
    int x = 0, y = 0, w = 0, h = 0;
};

class AtlasPacker {
public:
    AtlasPacker(int width, int height) : width_(width), height_(height) {}
    // A free rectangle of w x h, or false when the texture is full.
    bool Place(int w, int h, AtlasSlot* slot);
    void Release(const AtlasSlot& slot);
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    struct Shelf {
        int y, h, used;
    };
    int width_, height_;
    int bottom_ = 0;
    std::vector<Shelf> shelves_;
    std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> free_;
    // Taken from free_ to be cut: what is left of each, right and below of what was cut.
    std::vector<AtlasSlot> spare_;
    bool take_spare(int w, int h, AtlasSlot* slot);
};
