#include "tiles.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "glyphs.h"

namespace {

constexpr float kPi = 3.14159265f;

// Light from the upper left: a pixel on the top or left edge of a slab is lit, one on
// the bottom or right edge is in shade. Returns the brightness change.
float Bevel(int x, int y, int x0, int y0, int x1, int y1, float amount) {
  if (x == x0 || y == y0) return amount;
  if (x == x1 || y == y1) return -amount;
  return 0.0f;
}

Picture Floor() {
  Canvas cv(32, 32);
  const float tone[4] = {1.0f, 0.93f, 0.95f, 1.04f};
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int sx = x / 16, sy = y / 16;
      const int lx = x % 16, ly = y % 16;
      if (lx == 0 || ly == 0) {
        // The joint runs along the top and left of each slab, so tiles side by side
        // join with the same one-pixel line as the slabs within a tile.
        cv.Set(x, y, Hex(0x3e4147));
        continue;
      }
      const float mottle = (Fractal(x * 0.21f, y * 0.21f, 11u, 3) - 0.5f) * 26.0f;
      const float grain = (Hash01(x, y, 12u) - 0.5f) * 10.0f;
      float v = 158.0f * tone[sy * 2 + sx] + mottle + grain + Bevel(lx, ly, 1, 1, 15, 15, 26.0f);
      if (Hash01(x, y, 13u) > 0.975f) v -= 28.0f;  // small pits in the stone
      cv.Set(x, y, Rgb{v * 1.02f, v, v * 0.96f});
    }
  return Opaque(cv);
}

Picture Gradient() {
  Canvas cv(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const float t = (x + y) / 62.0f;
      cv.Set(x, y, Mix(Hex(0x4a5264), Hex(0x101318), t));
    }
  return Opaque(cv);
}

// The void is never drawn in play; its frame shows a dark pit so the sheet says what
// the value means.
Picture Void() {
  Canvas cv(32, 32);
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 16.0f, 16.0f, 15.0f, 15.0f, 4.0f); },
      [](float x, float y) {
        const float d = std::hypot(x - 16.0f, y - 16.0f) / 21.0f;
        return Mix(Hex(0x0c0e14), Hex(0x3a3026), std::clamp(d, 0.0f, 1.0f));
      });
  return Crisp(cv);
}

// A steel crate lid: a bevelled rim, a band of yellow and black hazard stripes and a
// braced centre plate. Its right and bottom edges become the block's sides when stacked.
Picture Crate() {
  Canvas cv(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const int edge = std::min(std::min(x, y), std::min(31 - x, 31 - y));
      Rgb c;
      if (edge < 2) {
        const bool lit = (x < 2 && y < 31 - x) || (y < 2 && x < 31 - y);
        c = lit ? Hex(0xd9dde2) : Hex(0x9ba1a9);
        if (edge == 1) c = Shade(c, 0.9f);
      } else if (edge < 7) {
        const bool yellow = ((x + y) / 4) % 2 == 0;
        c = yellow ? Hex(0xf2c230) : Hex(0x1c1c1e);
        if (edge == 2) c = Shade(c, 0.75f);
        if (edge == 6) c = Shade(c, yellow ? 0.82f : 1.0f);
      } else {
        const float lx = x - 7.0f, ly = y - 7.0f;  // 0..17 inside the plate
        const float grain = (Hash01(x, y, 31u) - 0.5f) * 8.0f;
        float v = 146.0f + grain - (lx + ly) * 0.6f;
        if (edge == 7) v = (x == 7 || y == 7) ? 92.0f : 196.0f;  // plate sits a step lower
        // Diagonal braces from corner to corner.
        const float d1 = std::fabs(lx - ly), d2 = std::fabs(lx + ly - 17.0f);
        if (edge > 7 && std::min(d1, d2) < 1.3f)
          v = 182.0f;
        else if (edge > 7 && std::min(d1, d2) < 2.1f)
          v = 112.0f;
        c = Rgb{v * 0.98f, v, v * 1.03f};
      }
      cv.Set(x, y, c);
    }
  // Rivets in the plate corners.
  for (int ry : {9, 22})
    for (int rx : {9, 22}) {
      cv.Set(rx, ry, Hex(0xe6e9ec));
      cv.Set(rx + 1, ry + 1, Hex(0x50555c));
      cv.Set(rx + 1, ry, Hex(0xa8adb3));
      cv.Set(rx, ry + 1, Hex(0xa8adb3));
    }
  return Opaque(cv);
}

Rgb TeamColour(bool red, float t) {
  return red ? Mix(Hex(0xf0503c), Hex(0x8e1a14), t) : Mix(Hex(0x4a8cff), Hex(0x15348c), t);
}

// A landing pad: a light concrete slab with a team-coloured disc and a bold letter.
// Start pads (H) carry a coloured ring round a light centre and corner arrows; the pads
// to collect a full disc.
Picture Pad(bool red, char letter, bool start) {
  Canvas cv(32, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (x == 0 || y == 0 || x == 31 || y == 31) {
        cv.Set(x, y, Hex(0x44474d));
        continue;
      }
      const float grain = (Hash01(x, y, 41u) - 0.5f) * 8.0f;
      const float v = 176.0f + grain + Bevel(x, y, 1, 1, 30, 30, 32.0f);
      cv.Set(x, y, Rgb{v, v, v * 0.97f});
    }
  const Rgb white = Hex(0xf4f6f8);
  if (start) {
    // A home pad stays light in the middle, so the helicopter standing on it shows.
    for (int k = 0; k < 4; ++k) {
      const float ax = (k & 1) ? 27.0f : 5.0f, ay = (k & 2) ? 27.0f : 5.0f;
      const float dx = (k & 1) ? -1.0f : 1.0f, dy = (k & 2) ? -1.0f : 1.0f;
      const std::vector<float> tri = {ax - dx * 1.5f, ay - dy * 1.5f, ax + dx * 4.0f,
                                      ay - dy * 1.5f, ax - dx * 1.5f, ay + dy * 4.0f};
      FillShape(
          cv, [&](float x, float y) { return SdPolygon(x, y, tri); }, Solid(TeamColour(red, 0.3f)));
    }
    FillShape(
        cv, [](float x, float y) { return SdCircle(x, y, 16.0f, 16.0f, 13.2f); },
        Solid(Hex(0x33363c)));
    FillShape(
        cv, [&](float x, float y) { return SdCircle(x, y, 16.0f, 16.0f, 12.2f); },
        [&](float, float y) { return TeamColour(red, (y - 4.0f) / 26.0f); });
    FillShape(
        cv, [](float x, float y) { return SdCircle(x, y, 16.0f, 16.0f, 9.6f); },
        Solid(Hex(0x33363c)));
    FillShape(
        cv, [](float x, float y) { return SdCircle(x, y, 16.0f, 16.0f, 8.7f); },
        [](float x, float y) {
          const float v = 214.0f + (Hash01(int(x), int(y), 42u) - 0.5f) * 8.0f;
          return Rgb{v, v, v * 0.97f};
        });
  } else {
    FillShape(
        cv, [](float x, float y) { return SdCircle(x, y, 16.0f, 16.0f, 13.2f); },
        Solid(Hex(0x33363c)));
    FillShape(
        cv, [&](float x, float y) { return SdCircle(x, y, 16.0f, 16.0f, 12.2f); },
        [&](float x, float y) {
          Rgb c = TeamColour(red, (y - 4.0f) / 26.0f);
          const float rim = std::hypot(x - 16.0f, y - 16.0f);
          if (rim > 10.0f) c = Shade(c, 0.78f);
          return c;
        });
  }
  // The letter, outlined so it stands off the disc: white on a collecting pad, the
  // team colour on a home pad.
  const Mask glyph = RenderText(std::string(1, letter), start ? 14 : 19, 0, 2);
  const Mask rim = Grow(glyph, start ? 0.8f : 1.2f);
  const int ox = 16 - glyph.w / 2, oy = 16 - glyph.h / 2;
  const Rgb face = start ? TeamColour(red, 0.35f) : white;
  for (int y = 0; y < glyph.h; ++y)
    for (int x = 0; x < glyph.w; ++x) {
      cv.Paint(ox + x, oy + y, Hex(0x1a1c22), rim.At(x, y) * (start ? 0.6f : 0.85f));
      cv.Paint(ox + x, oy + y, face, glyph.At(x, y));
    }
  return Opaque(cv);
}

// A dust cloud: a lumpy grey ball, lit from the upper left, solid to its crisp edge.
Picture Dust() {
  Canvas cv(32, 32);
  struct Lump {
    float x, y, r;
  };
  std::vector<Lump> lumps = {{16, 16, 9.5f}};
  for (int k = 0; k < 7; ++k) {
    const float ang = k * 2.0f * kPi / 7.0f + 0.4f;
    const float dist = 7.0f + Hash01(k, 0, 51u) * 1.5f;
    lumps.push_back(
        {16 + std::cos(ang) * dist, 16 + std::sin(ang) * dist, 5.2f + Hash01(k, 1, 51u) * 1.6f});
  }
  auto shape = [&](float x, float y) {
    float d = 1e9f;
    for (const Lump& l : lumps) d = std::min(d, SdCircle(x, y, l.x, l.y, l.r));
    return d + (Noise(x * 0.45f, y * 0.45f, 52u) - 0.5f) * 2.0f;
  };
  FillShape(cv, shape, [&](float x, float y) {
    // Each lump shades like a ball; the nearest lump's light wins.
    float light = 0.0f;
    for (const Lump& l : lumps) {
      const float nx = (x - l.x) / l.r, ny = (y - l.y) / l.r;
      const float q = nx * nx + ny * ny;
      if (q < 1.0f) light = std::max(light, (1.0f - q) * 0.6f + (-nx - ny) * 0.25f + 0.25f);
    }
    const float grain = (Fractal(x * 0.5f, y * 0.5f, 53u, 2) - 0.5f) * 0.2f;
    const float v = 118.0f + 96.0f * std::clamp(light + grain, 0.0f, 1.0f);
    return Rgb{v * 1.02f, v, v * 0.95f};
  });
  return Crisp(cv);
}

// A fireball for additive drawing: white-hot core, yellow, orange, dark red rim.
Picture Fireball() {
  Canvas cv(32, 32);
  auto radius = [](float x, float y) {
    const float ang = std::atan2(y - 16.0f, x - 16.0f);
    const float cx = std::cos(ang) + 5.0f, cy = std::sin(ang) + 5.0f;
    return 13.2f + (Fractal(cx * 2.6f, cy * 2.6f, 61u, 2) - 0.5f) * 5.0f;
  };
  FillShape(
      cv, [&](float x, float y) { return std::hypot(x - 16.0f, y - 16.0f) - radius(x, y); },
      [&](float x, float y) {
        float d = std::hypot(x - 16.0f, y - 16.0f) / radius(x, y);
        d += (Fractal(x * 0.3f, y * 0.3f, 62u, 3) - 0.5f) * 0.3f;
        d = std::clamp(d, 0.0f, 1.0f);
        const Rgb stops[5] = {Hex(0xffffff), Hex(0xfff0a0), Hex(0xffb030), Hex(0xe0501a),
                              Hex(0x701408)};
        const float f = d * 4.0f;
        const int i = std::min(int(f), 3);
        return Mix(stops[i], stops[i + 1], f - i);
      });
  return Crisp(cv);
}

}  // namespace

Picture TileFrame(int frame) {
  switch (frame) {
    case 1:
      return Floor();
    case 2:
      return Gradient();
    case 3:
      return Crate();
    case 4:
      return Pad(true, 'H', true);
    case 5:
      return Pad(false, 'H', true);
    case 6:
      return Pad(true, 'R', false);
    case 7:
      return Pad(false, 'B', false);
    case 8:
      return Dust();
    case 9:
      return Fireball();
    default:
      return Void();
  }
}
