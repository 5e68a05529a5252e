#include "scenery.h"

#include <algorithm>
#include <cmath>

#include "glyphs.h"

namespace {

constexpr float kPi = 3.14159265f;

// A muted grass colour with broad patches and a fine grain.
Rgb Grass(float x, float y) {
  const float broad = Fractal(x * 0.008f, y * 0.008f, 101u, 4) - 0.5f;
  const float fine = Fractal(x * 0.15f, y * 0.15f, 102u, 2) - 0.5f;
  const float grain = Hash01(int(x), int(y), 103u) - 0.5f;
  Rgb c = Mix(Hex(0x66824a), Hex(0x7a8f50), broad + 0.5f);
  return Shade(c, 1.0f + broad * 0.18f + fine * 0.08f + grain * 0.05f);
}

// The farm fields north of the airfield, each a tilted quadrilateral with its own crop.
struct Field {
  std::vector<float> pts;
  Rgb colour;
  float rows;   // spacing of crop rows in pixels, 0 for none
  float angle;  // direction of the rows
};

std::vector<Field> Fields() {
  return {
      {{-10, -10, 150, -10, 138, 96, -10, 104}, Hex(0xa89a62), 4.0f, 0.1f},
      {{158, -10, 318, -10, 308, 88, 146, 96}, Hex(0x6e7c46), 5.0f, 1.5f},
      {{326, -10, 470, -10, 462, 80, 316, 88}, Hex(0x8a7458), 3.5f, 0.05f},
      {{-10, 112, 136, 104, 128, 196, -10, 204}, Hex(0x5e7a44), 0.0f, 0.0f},
      {{144, 104, 306, 96, 300, 188, 136, 196}, Hex(0xb3a46c), 4.5f, 1.45f},
      {{314, 96, 412, 90, 408, 180, 308, 188}, Hex(0x7d6a50), 3.0f, 1.52f},
  };
}

Rgb FieldInk(const Field& f, float x, float y) {
  Rgb c = f.colour;
  const float mottle = Fractal(x * 0.03f, y * 0.03f, 111u, 3) - 0.5f;
  c = Shade(c, 1.0f + mottle * 0.16f + (Hash01(int(x), int(y), 112u) - 0.5f) * 0.06f);
  if (f.rows > 0.0f) {
    const float along = x * std::sin(f.angle) - y * std::cos(f.angle);
    const float wave = 0.5f + 0.5f * std::cos(along * 2.0f * kPi / f.rows);
    c = Shade(c, 0.94f + wave * 0.08f);
  }
  return c;
}

void Tree(Canvas& cv, float x, float y, float r, uint32_t seed) {
  FillShape(
      cv, int(x - r), int(y - r), int(x + r + 8), int(y + r + 8),
      [&](float px, float py) { return SdCircle(px, py, x + r * 0.45f, y + r * 0.5f, r); },
      Solid(Hex(0x2a3a22)), 0.45f);
  FillShape(
      cv, int(x - r - 2), int(y - r - 2), int(x + r + 3), int(y + r + 3),
      [&](float px, float py) {
        const float ang = std::atan2(py - y, px - x);
        const float wob =
            (Noise(std::cos(ang) * 1.5f + seed, std::sin(ang) * 1.5f, 121u) - 0.5f) * r * 0.35f;
        return SdCircle(px, py, x, y, r + wob);
      },
      [&](float px, float py) {
        const float lit = std::clamp(((x - px) + (y - py)) / (2.2f * r) + 0.45f, 0.0f, 1.0f);
        const float leaf = Hash01(int(px), int(py), 122u + seed) * 0.12f;
        return Shade(Mix(Hex(0x2e4a26), Hex(0x6d8c46), lit), 0.94f + leaf);
      });
}

void Runway(Canvas& cv) {
  const float top = 318.0f, bottom = 362.0f, left = 38.0f, right = 602.0f;
  const float mid = (top + bottom) / 2.0f;
  const Rgb paint = Hex(0xd8d8d2);
  FillShape(
      cv,
      [&](float x, float y) {
        return SdBox(x, y, (left + right) / 2, mid, (right - left) / 2, (bottom - top) / 2);
      },
      [&](float x, float y) {
        const float wear = Fractal(x * 0.05f, y * 0.2f, 131u, 3) - 0.5f;
        const float grain = Hash01(int(x), int(y), 132u) - 0.5f;
        // Darker tyre marks down the middle, where wheels touch.
        const float tyres = std::fabs(y - mid) < 8.0f ? -6.0f : 0.0f;
        const float v = 88.0f + wear * 14.0f + grain * 8.0f + tyres;
        return Rgb{v, v + 1.0f, v + 4.0f};
      });
  for (float ey : {top + 2.5f, bottom - 2.5f})
    FillShape(
        cv,
        [&](float x, float y) {
          return SdBox(x, y, (left + right) / 2, ey, (right - left) / 2 - 3, 0.8f);
        },
        Solid(paint), 0.85f);
  for (float x0 = left + 46.0f; x0 < right - 60.0f; x0 += 34.0f)
    FillShape(
        cv, [&](float x, float y) { return SdBox(x, y, x0 + 10.0f, mid, 10.0f, 1.0f); },
        Solid(paint), 0.85f);
  // Threshold bars at both ends.
  for (int end = 0; end < 2; ++end) {
    const float bx = end == 0 ? left + 12.0f : right - 12.0f;
    for (int k = 0; k < 4; ++k) {
      const float off = 6.0f + k * 4.5f;
      for (float sy : {mid - off, mid + off})
        FillShape(
            cv, [&](float x, float y) { return SdBox(x, y, bx, sy, 8.0f, 1.2f); }, Solid(paint),
            0.85f);
    }
  }
}

void Taxiways(Canvas& cv) {
  auto taxi = [](float x, float y) {
    float d = SdBox(x, y, 340.0f, 258.0f, 216.0f, 8.0f, 4.0f);
    d = std::min(d, SdBox(x, y, 140.0f, 290.0f, 8.0f, 34.0f));
    d = std::min(d, SdBox(x, y, 540.0f, 290.0f, 8.0f, 34.0f));
    d = std::min(d, SdBox(x, y, 500.0f, 225.0f, 8.0f, 34.0f));
    return d;
  };
  FillShape(
      cv, [&](float x, float y) { return taxi(x, y) - 1.5f; }, Solid(Hex(0x5c6a40)), 0.6f);
  FillShape(cv, taxi, [](float x, float y) {
    const float v = 98.0f + (Fractal(x * 0.06f, y * 0.06f, 141u, 2) - 0.5f) * 12.0f +
                    (Hash01(int(x), int(y), 142u) - 0.5f) * 7.0f;
    return Rgb{v, v + 1.0f, v + 3.0f};
  });
  const Rgb line = Hex(0xc8a848);
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 340.0f, 258.0f, 200.0f, 0.6f); }, Solid(line),
      0.8f);
  for (float tx : {140.0f, 540.0f})
    FillShape(
        cv, [&](float x, float y) { return SdBox(x, y, tx, 288.0f, 0.6f, 29.0f); }, Solid(line),
        0.8f);
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 500.0f, 222.0f, 0.6f, 30.0f); }, Solid(line),
      0.8f);
}

void Apron(Canvas& cv) {
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 520.0f, 150.0f, 96.0f, 44.0f); },
      [](float x, float y) {
        const int jx = int(x) % 24, jy = int(y) % 24;
        float v = 138.0f + (Fractal(x * 0.05f, y * 0.05f, 151u, 2) - 0.5f) * 10.0f;
        if (jx == 0 || jy == 0) v -= 14.0f;
        return Rgb{v * 1.01f, v, v * 0.96f};
      });
  // Two hangars with corrugated roofs and their shadows, and a small tower.
  for (float hx : {462.0f, 534.0f}) {
    FillShape(
        cv, [&](float x, float y) { return SdBox(x, y, hx + 6.0f, 138.0f + 6.0f, 30.0f, 24.0f); },
        Solid(Hex(0x2c3030)), 0.5f);
    FillShape(
        cv, [&](float x, float y) { return SdBox(x, y, hx, 138.0f, 30.0f, 24.0f); },
        [&](float x, float y) {
          const float rib = (int(x) % 4 < 2) ? 1.0f : 0.9f;
          const float ridge = y < 138.0f ? 1.08f : 0.92f;
          return Shade(Hex(0x8c939c), rib * ridge);
        });
  }
  FillShape(
      cv, [](float x, float y) { return SdCircle(x, y, 606.0f, 120.0f, 10.0f); },
      Solid(Hex(0x2c3030)), 0.5f);
  FillShape(
      cv, [](float x, float y) { return SdCircle(x, y, 601.0f, 115.0f, 9.0f); },
      [](float x, float y) {
        return Mix(Hex(0xb8c8d0), Hex(0x5a6870),
                   std::clamp((x + y - 706.0f) / 20.0f + 0.5f, 0.0f, 1.0f));
      });
  // A parked light aircraft in front of the hangars.
  auto plane = [](float x, float y, float ox, float oy) {
    float d = SdBox(x, y, 498.0f + ox, 184.0f + oy, 2.0f, 11.0f, 1.5f);
    d = std::min(d, SdBox(x, y, 498.0f + ox, 180.0f + oy, 14.0f, 2.2f, 1.0f));
    d = std::min(d, SdBox(x, y, 498.0f + ox, 193.0f + oy, 5.0f, 1.4f, 0.8f));
    return d;
  };
  FillShape(
      cv, [&](float x, float y) { return plane(x, y, 3.0f, 3.0f); }, Solid(Hex(0x303434)), 0.45f);
  FillShape(
      cv, [&](float x, float y) { return plane(x, y, 0.0f, 0.0f); }, Solid(Hex(0xe2e4e0)));
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 498.0f, 180.0f, 14.0f, 0.5f); },
      Solid(Hex(0xb84a3a)));
}

}  // namespace

Picture Airfield() {
  Canvas cv(640, 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      Rgb c = Grass(x + 0.5f, y + 0.5f);
      // Mown stripes along the runway strip.
      if (y > 214 && y < 420) c = Shade(c, (y / 22) % 2 ? 1.04f : 0.97f);
      cv.Set(x, y, c);
    }
  for (const Field& f : Fields()) {
    FillShape(
        cv, [&](float x, float y) { return SdPolygon(x, y, f.pts) - 1.5f; }, Solid(Hex(0x44582e)),
        0.7f);
    FillShape(
        cv, [&](float x, float y) { return SdPolygon(x, y, f.pts) + 1.5f; },
        [&](float x, float y) { return FieldInk(f, x, y); });
  }
  // A farm track along the field edge, and a pond.
  FillShape(
      cv,
      [](float x, float y) {
        const float cy = 204.0f + std::sin(x * 0.02f) * 3.0f - x * 0.04f;
        return std::fabs(y - cy) - 2.6f;
      },
      [](float x, float y) {
        return Shade(Hex(0x9c8c66), 0.95f + Hash01(int(x), int(y), 161u) * 0.1f);
      },
      0.9f);
  FillShape(
      cv, [](float x, float y) { return SdEllipse(x, y, 78.0f, 432.0f, 34.0f, 18.0f); },
      Solid(Hex(0x4e6238)));
  FillShape(
      cv, [](float x, float y) { return SdEllipse(x, y, 78.0f, 432.0f, 31.0f, 15.5f); },
      [](float x, float y) {
        const float t = std::clamp((y - 418.0f) / 30.0f, 0.0f, 1.0f);
        Rgb c = Mix(Hex(0x3f5a6a), Hex(0x5d7a86), t);
        return Shade(c, 0.97f + Noise(x * 0.2f, y * 0.5f, 162u) * 0.06f);
      });

  Taxiways(cv);
  Runway(cv);
  Apron(cv);

  // Tree lines on the hedges and scattered copses.
  uint32_t seed = 0;
  for (float x = 8.0f; x < 416.0f; x += 11.0f + Hash01(int(x), 1, 171u) * 10.0f)
    if (Hash01(int(x), 2, 171u) > 0.35f)
      Tree(cv, x, 206.0f - x * 0.04f - 6.0f, 4.5f + Hash01(int(x), 3, 171u) * 2.5f, seed++);
  const float copses[][3] = {{600, 430, 9}, {618, 448, 7}, {584, 452, 8}, {30, 250, 8},
                             {16, 270, 6},  {262, 440, 7}, {280, 452, 6}, {430, 30, 7},
                             {445, 44, 6},  {610, 20, 8},  {150, 452, 5}, {628, 296, 6},
                             {22, 40, 6},   {388, 466, 7}, {420, 470, 5}};
  for (const auto& t : copses) Tree(cv, t[0], t[1], t[2], seed++);
  return Opaque(cv);
}

Picture Pointer() {
  Canvas cv(18, 18);
  const std::vector<float> arrow = {1.0f,  1.0f,  1.0f,  14.5f, 4.6f,  11.2f, 7.6f,
                                    16.6f, 10.0f, 15.3f, 7.2f,  10.2f, 12.0f, 10.2f};
  FillShape(
      cv, [&](float x, float y) { return SdPolygon(x, y, arrow) - 1.1f; }, Solid(Hex(0x14181e)));
  FillShape(
      cv, [&](float x, float y) { return SdPolygon(x, y, arrow) + 0.2f; },
      [](float x, float y) {
        const float t = std::clamp((x + y) / 22.0f, 0.0f, 1.0f);
        return Mix(Hex(0xffffff), Hex(0xffc23a), t);
      });
  cv.Set(0, 0, Hex(0x14181e));  // the hot spot is always a drawn pixel
  return Crisp(cv);
}

Picture StudioLogo() {
  Canvas cv(420, 236);
  const float cx = 210.0f, cy = 84.0f;
  const Rgb gold = Hex(0xe8b048), goldDeep = Hex(0x9a6a20);

  // Wings: three swept feathers on each side of the badge.
  for (int side : {-1, 1}) {
    for (int k = 0; k < 3; ++k) {
      const float len = 92.0f - k * 18.0f, ang = (12.0f + k * 16.0f) * kPi / 180.0f;
      const float x0 = cx + side * 50.0f, y0 = cy - 6.0f + k * 13.0f;
      const float x1 = x0 + side * len * std::cos(ang),
                  y1 = y0 - len * std::sin(ang) * 0.5f + k * 12.0f;
      FillShape(
          cv,
          [&](float x, float y) {
            const float t = std::clamp(((x - x0) * (x1 - x0) + (y - y0) * (y1 - y0)) /
                                           ((x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0)),
                                       0.0f, 1.0f);
            return SdSegment(x, y, x0, y0, x1, y1, 0.0f) - (8.0f - 6.5f * t);
          },
          [&](float x, float) {
            const float t = std::fabs(x - cx) / 140.0f;
            return Mix(gold, goldDeep, std::clamp(t + k * 0.15f, 0.0f, 1.0f));
          });
    }
  }
  // Badge: a gold ring around a slate disc.
  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, cy, 60.0f); },
      [&](float, float y) {
        return Mix(Hex(0xffd880), goldDeep, std::clamp((y - cy + 60.0f) / 120.0f, 0.0f, 1.0f));
      });
  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, cy, 53.0f); },
      [&](float, float y) {
        return Mix(Hex(0x34425c), Hex(0x161c2a), std::clamp((y - cy + 53.0f) / 106.0f, 0.0f, 1.0f));
      });
  // The owl: a rounded head with ear tufts, two big eyes and a beak.
  const std::vector<float> head = {cx - 34, cy - 30, cx - 20, cy - 20, cx + 20, cy - 20,
                                   cx + 34, cy - 30, cx + 32, cy + 8,  cx + 18, cy + 34,
                                   cx,      cy + 42, cx - 18, cy + 34, cx - 32, cy + 8};
  FillShape(
      cv, [&](float x, float y) { return SdPolygon(x, y, head) - 2.0f; },
      [&](float, float y) {
        return Mix(Hex(0xc8d2e0), Hex(0x7c889c), std::clamp((y - cy + 30.0f) / 72.0f, 0.0f, 1.0f));
      });
  for (int side : {-1, 1}) {
    const float ex = cx + side * 15.0f, ey = cy - 4.0f;
    FillShape(
        cv, [&](float x, float y) { return SdCircle(x, y, ex, ey, 14.0f); }, Solid(Hex(0x1a2030)));
    FillShape(
        cv, [&](float x, float y) { return SdCircle(x, y, ex, ey, 11.5f); },
        [&](float x, float y) {
          return Mix(Hex(0xffd45a), Hex(0xe07a18),
                     std::clamp(std::hypot(x - ex, y - ey) / 11.5f, 0.0f, 1.0f));
        });
    FillShape(
        cv, [&](float x, float y) { return SdCircle(x, y, ex + side * 1.0f, ey + 1.0f, 5.5f); },
        Solid(Hex(0x10131c)));
    FillShape(
        cv, [&](float x, float y) { return SdCircle(x, y, ex - 2.5f, ey - 3.0f, 2.0f); },
        Solid(Hex(0xffffff)));
  }
  const std::vector<float> beak = {cx - 5, cy + 10, cx + 5, cy + 10, cx, cy + 22};
  FillShape(
      cv, [&](float x, float y) { return SdPolygon(x, y, beak); }, Solid(gold));
  // Chest feathers: small chevrons.
  for (int k = 0; k < 3; ++k) {
    const float fx = cx + (k - 1) * 9.0f, fy = cy + 30.0f - std::abs(k - 1) * 4.0f;
    FillShape(
        cv,
        [&](float x, float y) {
          return std::min(SdSegment(x, y, fx - 3.5f, fy - 2.5f, fx, fy, 1.0f),
                          SdSegment(x, y, fx, fy, fx + 3.5f, fy - 2.5f, 1.0f));
        },
        Solid(Hex(0x5a667a)));
  }

  // The name, then "GAMES" spaced wide between two rules.
  const Mask name = RenderText("OWLWING", 44, 3, 4);
  const int nx = int(cx) - name.w / 2, ny = 152;
  PaintMask(cv, name, nx, ny, [&](float, float y) {
    const float t = std::clamp((y - ny - 4.0f) / float(name.h - 8), 0.0f, 1.0f);
    return t < 0.5f ? Mix(Hex(0xffffff), Hex(0xdfe5ee), t * 2.0f)
                    : Mix(Hex(0xa9b4c4), Hex(0xe4e9f0), (t - 0.5f) * 2.0f);
  });
  const Mask games = RenderText("GAMES", 20, 12, 2);
  const int gx = int(cx) - games.w / 2, gy = ny + name.h + 6;
  PaintMask(cv, games, gx, gy, Solid(gold));
  for (int side : {-1, 1}) {
    const float inner = side < 0 ? gx - 10.0f : gx + games.w + 10.0f;
    const float outer = inner + side * 70.0f;
    const float ly = gy + games.h / 2.0f;
    FillShape(
        cv, [&](float x, float y) { return SdSegment(x, y, inner, ly, outer, ly, 0.8f); },
        Solid(goldDeep));
  }
  return OnBlack(cv);
}
