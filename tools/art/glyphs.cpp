#include "glyphs.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

float Mask::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= w || y >= h) return 0.0f;
  return v[size_t(y) * w + x];
}

const char* FontPath() { return "/usr/share/fonts/truetype/play/Play-Bold.ttf"; }

namespace {

struct Glyph {
  int left, top, w, h;
  std::vector<unsigned char> bits;
  int pen;  // pen x where the glyph starts
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "art: %s (%s)\n", what, FontPath());
  std::exit(1);
}

}  // namespace

Mask RenderText(const std::string& text, int size, int tracking, int margin, float width,
                float slant) {
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib)) Fail("cannot start FreeType");
  if (FT_New_Face(lib, FontPath(), 0, &face)) Fail("cannot open the font");
  FT_Set_Pixel_Sizes(face, 0, FT_UInt(size));
  FT_Matrix shape = {FT_Fixed(width * 65536.0f), FT_Fixed(slant * 65536.0f), 0, 0x10000};
  FT_Set_Transform(face, &shape, nullptr);

  std::vector<Glyph> glyphs;
  int pen = 0;
  FT_UInt prev = 0;
  int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
  for (unsigned char ch : text) {
    const FT_UInt idx = FT_Get_Char_Index(face, ch);
    if (prev && idx) {
      FT_Vector kern;
      if (!FT_Get_Kerning(face, prev, idx, FT_KERNING_DEFAULT, &kern))
        pen += int(float(kern.x >> 6) * width);
    }
    if (FT_Load_Glyph(face, idx, FT_LOAD_DEFAULT) ||
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL))
      Fail("cannot render a glyph");
    const FT_GlyphSlot g = face->glyph;
    Glyph gl{g->bitmap_left, g->bitmap_top, int(g->bitmap.width), int(g->bitmap.rows), {}, pen};
    for (int r = 0; r < gl.h; ++r)
      for (int c = 0; c < gl.w; ++c) gl.bits.push_back(g->bitmap.buffer[r * g->bitmap.pitch + c]);
    if (gl.w > 0 && gl.h > 0) {
      x0 = std::min(x0, pen + gl.left);
      x1 = std::max(x1, pen + gl.left + gl.w);
      y0 = std::min(y0, -gl.top);
      y1 = std::max(y1, -gl.top + gl.h);
    }
    glyphs.push_back(std::move(gl));
    pen += int(g->advance.x >> 6) + tracking;
    prev = idx;
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  if (x0 > x1) return Mask(2 * margin, 2 * margin);

  Mask m(x1 - x0 + 2 * margin, y1 - y0 + 2 * margin);
  for (const Glyph& gl : glyphs)
    for (int r = 0; r < gl.h; ++r)
      for (int c = 0; c < gl.w; ++c) {
        const int x = gl.pen + gl.left + c - x0 + margin;
        const int y = -gl.top + r - y0 + margin;
        float& dst = m.v[size_t(y) * m.w + x];
        dst = std::max(dst, gl.bits[size_t(r) * gl.w + c] / 255.0f);
      }
  return m;
}

Mask Grow(const Mask& m, float r) {
  Mask out(m.w, m.h);
  const int R = int(std::ceil(r)) + 1;
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      float best = 0.0f;
      for (int dy = -R; dy <= R && best < 1.0f; ++dy)
        for (int dx = -R; dx <= R; ++dx) {
          const float c = m.At(x + dx, y + dy);
          if (c <= 0.0f) continue;
          // The source pixel's coverage stands for how far its edge reaches into it.
          const float d = std::hypot(float(dx), float(dy)) - (c - 0.5f);
          best = std::max(best, std::clamp(r + 0.5f - d, 0.0f, 1.0f) * std::min(1.0f, c * 2.0f));
        }
      out.v[size_t(y) * m.w + x] = best;
    }
  return out;
}

Mask Shift(const Mask& m, int dx, int dy) {
  Mask out(m.w, m.h);
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) out.v[size_t(y) * m.w + x] = m.At(x - dx, y - dy);
  return out;
}

void PaintMask(Canvas& cv, const Mask& m, int ox, int oy, const Ink& ink, float opacity) {
  for (int y = 0; y < m.h; ++y)
    for (int x = 0; x < m.w; ++x) {
      const float c = m.v[size_t(y) * m.w + x];
      if (c > 0.0f) cv.Paint(ox + x, oy + y, ink(ox + x + 0.5f, oy + y + 0.5f), c * opacity);
    }
}
