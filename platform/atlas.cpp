#include "platform/atlas.h"

#include <algorithm>
#include <cstddef>

bool AtlasPacker::Place(int w, int h, AtlasSlot* slot) {
    if (w <= 0 || h <= 0 || w > width_ || h > height_) return false;
    auto it = free_.find({w, h});
    if (it != free_.end() && !it->second.empty()) {
        auto [x, y] = it->second.back();
        it->second.pop_back();
        *slot = AtlasSlot{x, y, w, h};
        return true;
    }
    if (take_spare(w, h, slot)) return true;
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

// A released or left-over rectangle that holds w x h; its corner is used, and
// the rest is kept as two rectangles (to the right of it, and below it across the whole
// width).
bool AtlasPacker::take_spare(int w, int h, AtlasSlot* slot) {
    for (auto it = free_.begin(); it != free_.end();) {
        for (auto [x, y] : it->second) spare_.push_back(AtlasSlot{x, y, it->first.first, it->first.second});
        it = free_.erase(it);
    }
    // The one whose longer leftover side is the shortest: a long strip is kept for a
    // long frame rather than nibbled at by small ones.
    int best = -1, best_long = 0, best_short = 0;
    for (int i = 0; i < int(spare_.size()); ++i) {
        const AtlasSlot& s = spare_[std::size_t(i)];
        if (s.w < w || s.h < h) continue;
        int long_side = std::max(s.w - w, s.h - h), short_side = std::min(s.w - w, s.h - h);
        if (best < 0 || long_side < best_long || (long_side == best_long && short_side < best_short)) {
            best = i;
            best_long = long_side;
            best_short = short_side;
        }
    }
    if (best < 0) return false;
    AtlasSlot s = spare_[std::size_t(best)];
    spare_.erase(spare_.begin() + best);
    if (s.w > w) spare_.push_back(AtlasSlot{s.x + w, s.y, s.w - w, h});
    if (s.h > h) spare_.push_back(AtlasSlot{s.x, s.y + h, s.w, s.h - h});
    *slot = AtlasSlot{s.x, s.y, w, h};
    return true;
}
