#include "platform/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include "platform/builtin_font.h"
#include "platform/draw_state.h"
#include "platform/resources.h"

struct TImageFont {
    FT_Face _src_font = nullptr;          // none for the built-in font
    std::vector<uint8_t> memory;          // the face's bytes when opened from memory
    std::vector<TImageGlyph> _glyphs;
    int _imageFlags = 0;
    int height = 0, ascender = 0, descender = 0;
    ~TImageFont() {
        if (_src_font) FT_Done_Face(_src_font);
    }
};

namespace {

struct FontModule {
    FT_Library library = nullptr;
    ImageFont builtin;
};

FontModule fm;

FT_Library library() {
    if (!fm.library && FT_Init_FreeType(&fm.library) != 0) fm.library = nullptr;
    return fm.library;
}

Image glyph_image(const Pixmap& coverage, int flags) {
    auto image = std::make_shared<TImage>();
    image->width = coverage.width;
    image->height = coverage.height;
    image->flags = flags;
    image->pixmaps.resize(1);
    image->frames.resize(1);
    SetImagePixels(image, 0, coverage);
    return image;
}

void load_glyph(TImageFont& font, int index, TImageGlyph& glyph) {
    glyph.loaded = true;
    FT_Face face = font._src_font;
    if (FT_Load_Glyph(face, FT_UInt(index + 1), FT_LOAD_RENDER) != 0) return;
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    glyph._advance = float(slot->advance.x >> 6);
    glyph._x = slot->bitmap_left;
    glyph._y = font.ascender - slot->bitmap_top;
    glyph._w = int(bm.width);
    glyph._h = int(bm.rows);
    if (glyph._w <= 0 || glyph._h <= 0) return;
    bool smooth = font._imageFlags != 0;
    int border = smooth ? 1 : 0;
    Pixmap cov = MakePixmap(glyph._w + 2 * border, glyph._h + 2 * border, 1);
    for (int y = 0; y < glyph._h; ++y) {
        const uint8_t* row = bm.buffer + y * bm.pitch;
        for (int x = 0; x < glyph._w; ++x) {
            uint8_t v;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            } else {
                v = row[x];
            }
            *cov.at(x + border, y + border) = v;
        }
    }
    // A clear border keeps filtered sampling from smearing the glyph's edge.
    glyph._x -= border;
    glyph._y -= border;
    glyph._w += 2 * border;
    glyph._h += 2 * border;
    glyph._image = glyph_image(cov, font._imageFlags);
}

// The glyph slot of a character, loaded on first use; nullptr if the font has none.
TImageGlyph* find_glyph(TImageFont& font, int character) {
    if (!font._src_font) return BuiltinGlyph(character);
    int index = int(FT_Get_Char_Index(font._src_font, FT_ULong(character))) - 1;
    if (index < 0 || index >= int(font._glyphs.size())) return nullptr;
    TImageGlyph& glyph = font._glyphs[index];
    if (!glyph.loaded) load_glyph(font, index, glyph);
    return &glyph;
}

// UTF-8 to code points; a broken sequence gives the replacement character.
template <typename F>
void for_each_char(const std::string& text, F f) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int cp = c, extra = 0;
        if (c >= 0xF0) cp = c & 0x07, extra = 3;
        else if (c >= 0xE0) cp = c & 0x0F, extra = 2;
        else if (c >= 0xC0) cp = c & 0x1F, extra = 1;
        else if (c >= 0x80) cp = 0xFFFD;
        ++i;
        for (int k = 0; k < extra; ++k, ++i) {
            if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                cp = 0xFFFD;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        f(cp);
    }
}

TImageFont& current_font() {
    TSpriteGraphics& g = DrawState();
    if (g.image_font) return *g.image_font;
    if (!fm.builtin) {
        fm.builtin = std::make_shared<TImageFont>();
        fm.builtin->height = BuiltinFontHeight();
        fm.builtin->ascender = BuiltinFontHeight();
    }
    return *fm.builtin;
}

}  // namespace

ImageFont LoadImageFont(const std::string& url, int size, int style) {
    FT_Library lib = library();
    if (!lib || size < 1) return nullptr;
    auto font = std::make_shared<TImageFont>();
    std::string proto, rest;
    SplitUrl(url, proto, rest);
    FT_Error err;
    if (url.find("::") != std::string::npos) {
        if (!ReadUrl(url, font->memory) || font->memory.empty()) return nullptr;
        err = FT_New_Memory_Face(lib, font->memory.data(), FT_Long(font->memory.size()), 0, &font->_src_font);
    } else {
        err = FT_New_Face(lib, url.c_str(), 0, &font->_src_font);
    }
    if (err != 0) {
        font->_src_font = nullptr;
        return nullptr;
    }
    // A face that refuses the size is tried one pixel smaller, down to 1.
    while (size >= 1 && FT_Set_Pixel_Sizes(font->_src_font, 0, FT_UInt(size)) != 0) --size;
    if (size < 1) return nullptr;
    const FT_Size_Metrics& m = font->_src_font->size->metrics;
    font->height = int(m.height >> 6);
    font->ascender = int(m.ascender >> 6);
    font->descender = int(m.descender >> 6);
    font->_glyphs.resize(size_t(font->_src_font->num_glyphs));
    font->_imageFlags = (style & SMOOTHFONT) ? (FILTEREDIMAGE | MIPMAPPEDIMAGE) : 0;
    return font;
}

void SetImageFont(const ImageFont& font) { DrawState().image_font = font; }

ImageFont GetImageFont() { return DrawState().image_font; }

void DrawText(const std::string& text, float x, float y) {
    TSpriteGraphics& g = DrawState();
    TImageFont& font = current_font();
    double px = x + g.origin_x + g.handle_x * g.tform_ix + g.handle_y * g.tform_iy;
    double py = y + g.origin_y + g.handle_x * g.tform_jx + g.handle_y * g.tform_jy;
    for_each_char(text, [&](int ch) {
        TImageGlyph* glyph = find_glyph(font, ch);
        if (!glyph) return;
        if (glyph->_image) {
            float tx = float(px + glyph->_x * g.tform_ix + glyph->_y * g.tform_iy);
            float ty = float(py + glyph->_x * g.tform_jx + glyph->_y * g.tform_jy);
            DrawImageFrame(glyph->_image, 0, 0, 0, float(glyph->_image->width), float(glyph->_image->height), tx, ty);
        }
        px += glyph->_advance * g.tform_ix;
        py += glyph->_advance * g.tform_jx;
    });
}

int TextWidth(const std::string& text) {
    TImageFont& font = current_font();
    int width = 0;
    for_each_char(text, [&](int ch) {
        if (TImageGlyph* glyph = find_glyph(font, ch)) width = int(width + glyph->_advance);
    });
    return width;
}

int TextHeight(const std::string&) { return current_font().height; }

const TImageGlyph* FontGlyph(const ImageFont& font, int character) {
    if (!font) return nullptr;
    return find_glyph(*font, character);
}
