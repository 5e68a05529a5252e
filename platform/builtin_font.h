#pragma once
// Engine-internal: the small bitmap font in force until the game sets its own.
// Characters 32 to 127 have glyphs (5 x 7 cells, advance 6); all others have none.

struct TImageGlyph;

TImageGlyph* BuiltinGlyph(int character);
int BuiltinFontHeight();
