#pragma once
// Sharp-bilinear enlargement on the CPU, for displays whose OpenGL draws in software
// anyway: there the rasteriser's textured drawing of a full-screen picture costs many
// times what a plain copy does. Same look as the present shader: inside a texel the
// picture is flat, only the band of one window pixel where two texels meet is blended.
// Pixels are 32-bit words 0x..RRGGBB, the layout of a 24-bit X visual.
//
// The window's pixels are kept from one frame to the next, so only what changed in the
// picture since the last call is enlarged again: in play that is the moving few rows.
#include <cstdint>
#include <vector>

struct SoftScaler {
    // For each window column (row) of the picture's rectangle: the two texels it blends
    // and the second's weight out of 256.
    struct Tap {
        int a, b;
        uint32_t weight;
    };
    int picture_w = 0, picture_h = 0;
    int x = 0, y = 0, w = 0, h = 0;  // the rectangle in the window
    std::vector<Tap> cols, rows;
    // For each window column: the first and last picture column it reads (both rise
    // with the window column).
    std::vector<int> col_low, col_high;
    // The picture as last enlarged (top row first); empty when the window's pixels do
    // not hold it, so that everything is enlarged.
    std::vector<uint32_t> shown;
    // Per picture row: the columns that changed in this call (low > high: none).
    std::vector<int> changed_low, changed_high;
    // Picture rows already enlarged across, for the window rows that blend them.
    std::vector<uint32_t> across[2];
    int across_row[2] = {-1, -1};
};

// Prepares the taps for a picture_w x picture_h picture shown at (x, y) with size w x h,
// in window pixels that do not hold any of it yet.
void SoftScalerSetup(SoftScaler& s, int picture_w, int picture_h, int x, int y, int w, int h);

// Window pixels [x, x + w) x [y, y + h); w == 0 when empty.
struct WindowArea {
    int x = 0, y = 0, w = 0, h = 0;
};

// Writes the enlarged picture into the window's rectangle where it differs from the
// last call. picture: its top row first, picture_pitch words from one row to the next
// (negative for bottom-up rows); window: its top-left pixel, window_pitch words a row.
// Nothing outside the rectangle is touched. Returns the area of window pixels written.
WindowArea SoftScale(SoftScaler& s, const uint32_t* picture, long picture_pitch, uint32_t* window, long window_pitch);
