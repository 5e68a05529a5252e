#include "platform/builtin_font.h"

#include <array>
#include <cstdint>

#include "platform/font.h"

namespace {

const uint8_t kRows[96][7] = {
#include "platform/builtin_font_data.inc"
};

struct BuiltinFont {
    std::array<TImageGlyph, 96> glyphs;
};

BuiltinFont bf;

void make_glyph(int index, TImageGlyph& glyph) {
    glyph.loaded = true;
    glyph._advance = 6;
    glyph._x = 0;
    glyph._y = 0;
    glyph._w = 5;
    glyph._h = 7;
    Pixmap cov = MakePixmap(5, 7, 1);
    bool ink = false;
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 5; ++x) {
            bool on = kRows[index][y] & (0x10 >> x);
            *cov.at(x, y) = on ? 255 : 0;
            ink = ink || on;
        }
    }
    if (!ink) return;
    auto image = std::make_shared<TImage>();
    image->width = 5;
    image->height = 7;
    image->pixmaps.resize(1);
    image->frames.resize(1);
    SetImagePixels(image, 0, cov);
    glyph._image = image;
}

}  // namespace

TImageGlyph* BuiltinGlyph(int character) {
    if (character < 32 || character > 127) return nullptr;
    TImageGlyph& glyph = bf.glyphs[character - 32];
    if (!glyph.loaded) make_glyph(character - 32, glyph);
    return &glyph;
}

int BuiltinFontHeight() { return 8; }
