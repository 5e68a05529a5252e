#include "platform/present_cpu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The present shader's arithmetic along one axis, in the same single precision: where
// the window pixel's centre samples, as two texels and a weight.
std::vector<SoftScaler::Tap> taps(int texels, int pixels) {
    std::vector<SoftScaler::Tap> out(size_t(std::max(pixels, 0)));
    float scale = float(pixels) / float(texels);
    float band = 0.5f - 0.5f / scale;
    for (int i = 0; i < pixels; ++i) {
        float texel = (float(i) + 0.5f) / float(pixels) * float(texels);
        float from_centre = (texel - std::floor(texel)) - 0.5f;
        float f = (from_centre - std::clamp(from_centre, -band, band)) * scale + 0.5f;
        // Linear filtering between the texels whose centres are around floor(texel) + f.
        float at = std::floor(texel) + f - 0.5f;
        float first = std::floor(at);
        int a = int(first);
        uint32_t weight = uint32_t(std::lround((at - first) * 256.0f));
        if (weight == 256) {
            ++a;
            weight = 0;
        }
        int b = a + 1;
        a = std::clamp(a, 0, texels - 1);
        b = std::clamp(b, 0, texels - 1);
        if (a == b) weight = 0;
        out[size_t(i)] = SoftScaler::Tap{a, b, weight};
    }
    return out;
}

// Two pixels mixed channel by channel, weight out of 256 for the second. Red and blue
// are mixed together in one word, 16 bits apart, so nothing carries between them.
inline uint32_t mix(uint32_t p, uint32_t q, uint32_t weight) {
    uint32_t keep = 256 - weight;
    uint32_t rb = ((p & 0xff00ffu) * keep + (q & 0xff00ffu) * weight + 0x800080u) >> 8;
    uint32_t g = ((p & 0x00ff00u) * keep + (q & 0x00ff00u) * weight + 0x008000u) >> 8;
    return (rb & 0xff00ffu) | (g & 0x00ff00u);
}

// The same mix over a run of pixels, byte by byte (which the compiler turns into wide
// 16-bit arithmetic); the unused top byte is mixed too and never looked at.
void mix_run(const uint32_t* upper, const uint32_t* lower, uint32_t weight, uint32_t* out, int count) {
    const uint8_t* u = reinterpret_cast<const uint8_t*>(upper);
    const uint8_t* l = reinterpret_cast<const uint8_t*>(lower);
    uint8_t* o = reinterpret_cast<uint8_t*>(out);
    uint16_t keep = uint16_t(256 - weight), take = uint16_t(weight);
    for (int n = 0; n < count * 4; ++n) o[n] = uint8_t((u[n] * keep + l[n] * take + 128) >> 8);
}

// Window columns first..last of a picture row enlarged across.
void enlarge_across(const SoftScaler& s, const uint32_t* row, uint32_t* out, int first, int last) {
    for (int i = first; i <= last; ++i) {
        const SoftScaler::Tap& t = s.cols[size_t(i)];
        out[i] = mix(row[t.a], row[t.b], t.weight);
    }
}

// Finds the columns where a picture row differs from what was shown, and takes it.
void take_row(SoftScaler& s, const uint32_t* row, int r, bool everything) {
    uint32_t* mine = &s.shown[size_t(r) * size_t(s.picture_w)];
    int low = 0, high = s.picture_w - 1;
    if (!everything) {
        while (low <= high && mine[low] == row[low]) ++low;
        while (high >= low && mine[high] == row[high]) --high;
    }
    if (low <= high) std::memcpy(mine + low, row + low, size_t(high - low + 1) * sizeof(uint32_t));
    s.changed_low[size_t(r)] = low;
    s.changed_high[size_t(r)] = high;
}

}  // namespace

void SoftScalerSetup(SoftScaler& s, int picture_w, int picture_h, int x, int y, int w, int h) {
    s.picture_w = picture_w;
    s.picture_h = picture_h;
    s.x = x;
    s.y = y;
    s.w = w;
    s.h = h;
    s.cols = taps(picture_w, w);
    s.rows = taps(picture_h, h);
    s.col_low.resize(s.cols.size());
    s.col_high.resize(s.cols.size());
    for (size_t i = 0; i < s.cols.size(); ++i) {
        s.col_low[i] = std::min(s.cols[i].a, s.cols[i].b);
        s.col_high[i] = std::max(s.cols[i].a, s.cols[i].b);
    }
    s.shown.clear();
    s.changed_low.assign(size_t(std::max(picture_h, 0)), 0);
    s.changed_high.assign(size_t(std::max(picture_h, 0)), -1);
    for (auto& line : s.across) line.assign(size_t(std::max(w, 0)), 0);
    s.across_row[0] = s.across_row[1] = -1;
}

WindowArea SoftScale(SoftScaler& s, const uint32_t* picture, long picture_pitch, uint32_t* window, long window_pitch) {
    if (s.w <= 0 || s.h <= 0 || s.picture_w <= 0 || s.picture_h <= 0) return WindowArea{};
    bool everything = s.shown.empty();
    s.shown.resize(size_t(s.picture_w) * size_t(s.picture_h));
    for (int r = 0; r < s.picture_h; ++r) take_row(s, picture + picture_pitch * r, r, everything);

    // The window columns that read picture columns low..high.
    auto window_columns = [&s](int low, int high, int* first, int* last) {
        *first = int(std::lower_bound(s.col_high.begin(), s.col_high.end(), low) - s.col_high.begin());
        *last = int(std::upper_bound(s.col_low.begin(), s.col_low.end(), high) - s.col_low.begin()) - 1;
    };
    // The changes of picture rows a and b together.
    auto changed = [&s](int a, int b, int* low, int* high) {
        *low = std::min(s.changed_low[size_t(a)], s.changed_low[size_t(b)]);
        *high = std::max(s.changed_high[size_t(a)], s.changed_high[size_t(b)]);
        // A row without changes has low past high; it must not widen the other's.
        if (s.changed_low[size_t(a)] > s.changed_high[size_t(a)]) {
            *low = s.changed_low[size_t(b)];
            *high = s.changed_high[size_t(b)];
        } else if (s.changed_low[size_t(b)] > s.changed_high[size_t(b)]) {
            *low = s.changed_low[size_t(a)];
            *high = s.changed_high[size_t(a)];
        }
    };
    // A picture row enlarged across wherever a window row may read it: the changes of
    // the row and of both neighbours, since window rows blend a row with the next.
    s.across_row[0] = s.across_row[1] = -1;
    auto line = [&](int row) -> const uint32_t* {
        for (int k = 0; k < 2; ++k) {
            if (s.across_row[k] == row) return s.across[k].data();
        }
        // Rows come in order: the older of the two lines is the one to reuse.
        int k = s.across_row[0] < s.across_row[1] ? 0 : 1;
        int low, high, first, last;
        changed(std::max(row - 1, 0), std::min(row + 1, s.picture_h - 1), &low, &high);
        int own_low = s.changed_low[size_t(row)], own_high = s.changed_high[size_t(row)];
        if (own_low <= own_high) {
            low = low <= high ? std::min(low, own_low) : own_low;
            high = std::max(high, own_high);
        }
        window_columns(low, high, &first, &last);
        enlarge_across(s, picture + picture_pitch * row, s.across[k].data(), first, last);
        s.across_row[k] = row;
        return s.across[k].data();
    };
    int top = s.h, bottom = -1, left = s.w, right = -1;
    for (int j = 0; j < s.h; ++j) {
        const SoftScaler::Tap& t = s.rows[size_t(j)];
        int low, high, first, last;
        changed(t.a, t.weight ? t.b : t.a, &low, &high);
        if (low > high) continue;
        window_columns(low, high, &first, &last);
        if (first > last) continue;
        top = std::min(top, j);
        bottom = j;
        left = std::min(left, first);
        right = std::max(right, last);
        uint32_t* out = window + window_pitch * (s.y + j) + s.x;
        const uint32_t* upper = line(t.a);
        if (!t.weight) {
            std::memcpy(out + first, upper + first, size_t(last - first + 1) * sizeof(uint32_t));
            continue;
        }
        const uint32_t* lower = line(t.b);
        mix_run(upper + first, lower + first, t.weight, out + first, last - first + 1);
    }
    if (bottom < 0) return WindowArea{};
    return WindowArea{s.x + left, s.y + top, right - left + 1, bottom - top + 1};
}
