#include "platform/atlas.h"

bool AtlasPacker::Place(int w, int h, AtlasSlot* slot) {
    if (w <= 0 || h <= 0 || w > width_ || h > height_) return false;
    auto it = free_.find({w, h});
    if (it != free_.end() && !it->second.empty()) {
        auto [x, y] = it->second.back();
        it->second.pop_back();
        *slot = AtlasSlot{x, y, w, h};
        return true;
    }
    // The lowest shelf that is tall enough without wasting more than half of it.
    Shelf* best = nullptr;
    for (Shelf& s : shelves_) {
        if (s.h >= h && s.h <= h * 2 && width_ - s.used >= w && (!best || s.h < best->h)) best = &s;
    }
    if (!best) {
        if (bottom_ + h > height_) return false;
        shelves_.push_back(Shelf{bottom_, h, 0});
        bottom_ += h;
        best = &shelves_.back();
    }
    *slot = AtlasSlot{best->used, best->y, w, h};
    best->used += w;
    return true;
}

void AtlasPacker::Release(const AtlasSlot& slot) {
    if (slot.w > 0 && slot.h > 0) free_[{slot.w, slot.h}].push_back({slot.x, slot.y});
}
