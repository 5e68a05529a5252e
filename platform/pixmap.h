#pragma once
// Pixel buffers: decoding and encoding PNG, and the mask conversion that makes the
// mask colour transparent.
#include <cstdint>
#include <string>
#include <vector>

struct Pixmap {
    int width = 0;
    int height = 0;
    int channels = 0;          // 1 (coverage), 3 (RGB) or 4 (RGBA)
    std::vector<uint8_t> pixels;  // rows top to bottom, no padding

    bool empty() const { return width <= 0 || height <= 0; }
    uint8_t* at(int x, int y) { return &pixels[(size_t(y) * width + x) * channels]; }
    const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * channels]; }
};

Pixmap MakePixmap(int width, int height, int channels);

// Decodes a PNG into 8-bit RGB or RGBA (palette, grey and 16-bit images are expanded;
// a transparency chunk gives RGBA). Empty on anything that is not a readable PNG.
Pixmap DecodePNG(const std::vector<uint8_t>& bytes);

// Loads a PNG from a url ("incbin::name" or a path).
Pixmap LoadPixmap(const std::string& url);

// Writes an RGB or RGBA pixmap as a PNG file. False if it cannot be written.
bool SavePNG(const std::string& path, const Pixmap& pixmap);

// RGBA copy of an RGB pixmap in which pixels of exactly the mask colour get alpha 0 and,
// as colour, the integer average of the unmasked pixels in their 3 x 3 neighbourhood
// (so filtered sampling at a sprite's edge does not bleed black); other pixels get
// alpha 255.
Pixmap MaskPixmap(const Pixmap& rgb, int mask_r, int mask_g, int mask_b);

// RGBA copy of any pixmap: RGB gets alpha 255, coverage becomes white with that alpha.
Pixmap ToRGBA(const Pixmap& pixmap);
