#pragma once
// Image fonts: a TrueType face rendered through FreeType into one image per glyph,
// made on first use. Advances are whole pixels.
#include <memory>
#include <string>
#include <vector>

#include "platform/draw.h"

struct TImageGlyph {
    Image _image;          // none for blank glyphs
    float _advance = 0;    // pen advance in whole pixels
    int _x = 0, _y = 0;    // placement relative to the pen at the top of the line
    int _w = 0, _h = 0;
    bool loaded = false;
};

struct TImageFont;
using ImageFont = std::shared_ptr<TImageFont>;

enum : int { BOLDFONT = 1, ITALICFONT = 2, SMOOTHFONT = 4 };

// Loads a TrueType font (path or "incbin::name") at a pixel size; style 4 (smooth)
// makes filtered, mipmapped glyph images with a one-pixel clear border. None if the
// face cannot be opened at any size from the given one down to 1.
ImageFont LoadImageFont(const std::string& url, int size, int style);
// The font for DrawText, TextWidth and TextHeight; none selects the built-in font.
void SetImageFont(const ImageFont& font);
ImageFont GetImageFont();

// Draws a line of text with the pen starting at (x, y), the top of the line, through
// the global handle, matrix, colour, alpha and blend. Characters without a glyph are skipped.
void DrawText(const std::string& text, float x, float y);
// Sum of the advances, truncated after every character.
int TextWidth(const std::string& text);
// The font's height; the text itself is not looked at.
int TextHeight(const std::string& text);

// The placement of one character's glyph (loaded on demand), or nullptr if the font
// has none for it. For tests and tools.
const TImageGlyph* FontGlyph(const ImageFont& font, int character);
