#pragma once
// Lettering for the logos and pads, rendered with FreeType from the game's own font.
#include <string>
#include <vector>

#include "canvas.h"

// A coverage map (0..1 per pixel), tightly framed around the ink plus a margin.
struct Mask {
  int w = 0, h = 0;
  std::vector<float> v;

  Mask() = default;
  Mask(int width, int height) : w(width), h(height), v(size_t(width) * height, 0.0f) {}
  // Coverage at a pixel; 0 outside the map.
  float At(int x, int y) const;
};

// The bold face every picture's lettering uses.
const char* FontPath();

// Renders a line of text at a pixel size, with extra tracking (pixels between letters)
// and a margin of empty pixels on every side of the ink. width narrows or widens the
// letters, slant leans them right (x moves by slant per pixel of height). Exits with a
// message when the font cannot be read, since no picture can be made without it.
Mask RenderText(const std::string& text, int size, int tracking, int margin, float width = 1.0f,
                float slant = 0.0f);

// The mask grown by radius r pixels, with a soft one-pixel edge (outlines and glows).
Mask Grow(const Mask& m, float r);

// The mask shifted by (dx, dy) whole pixels, same size (drop shadows).
Mask Shift(const Mask& m, int dx, int dy);

// Blends ink into the canvas through the mask, whose top-left corner lands on (ox, oy).
// The ink is asked in canvas coordinates.
void PaintMask(Canvas& cv, const Mask& m, int ox, int oy, const Ink& ink, float opacity = 1.0f);
