#include "preview.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "glyphs.h"

namespace {

struct Frame {
  int x, y, w, h;
};

Frame Heli(int i) { return {1 + 19 * i, 1, 18, 49}; }
Frame Blade(int i) { return {155 + 57 * i, 1, 56, 4}; }
Frame Rocket(int i) { return {155 + 19 * i, 8, 18, 8}; }
Frame Tile(int i) { return {1 + 33 * i, 53, 32, 32}; }

enum Blend { kMask = 1, kAlpha = 3, kLight = 4 };

struct Screen {
  std::vector<Rgb> px = std::vector<Rgb>(640 * 480);
  Rgb tint{255, 255, 255};
  int blend = kMask;
  float alpha = 1.0f, rot = 0.0f, sx = 1.0f, sy = 1.0f;

  void State(int b, float a, float r, float scx, float scy) {
    blend = b;
    alpha = a;
    rot = r;
    sx = scx;
    sy = scy;
  }

  // Draws a frame of src with its handle (hx, hy) on (x, y), nearest-pixel sampling,
  // black masked out.
  void Draw(const Picture& src, Frame f, float x, float y, bool centred = true) {
    const float hx = centred ? float(f.w / 2) : 0.0f, hy = centred ? float(f.h / 2) : 0.0f;
    const float c = std::cos(rot * 3.14159265f / 180.0f), s = std::sin(rot * 3.14159265f / 180.0f);
    const float reach = std::hypot(float(f.w), float(f.h)) * std::max(sx, sy) + 2.0f;
    for (int Y = std::max(0, int(y - reach)); Y < std::min(480, int(y + reach)); ++Y)
      for (int X = std::max(0, int(x - reach)); X < std::min(640, int(x + reach)); ++X) {
        const float dx = X + 0.5f - x, dy = Y + 0.5f - y;
        const float u = (dx * c + dy * s) / sx + hx, v = (-dx * s + dy * c) / sy + hy;
        if (u < 0 || v < 0 || u >= f.w || v >= f.h) continue;
        const uint8_t* p = src.At(f.x + int(u), f.y + int(v));
        if (p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
        const Rgb col{p[0] * tint.r / 255.0f, p[1] * tint.g / 255.0f, p[2] * tint.b / 255.0f};
        Rgb& d = px[Y * 640 + X];
        if (blend == kMask)
          d = col;
        else if (blend == kAlpha)
          d = Mix(d, col, alpha);
        else
          d = Shade(d + col * alpha, 1.0f);
      }
  }

  void Text(const std::string& text, float x, float y, Rgb colour, bool centred) {
    const Mask m = RenderText(text, 24, 0, 0);
    const int ox = int(centred ? x - m.w / 2 : x), oy = int(y) + 4;
    for (int j = 0; j < m.h; ++j)
      for (int i = 0; i < m.w; ++i) {
        if (ox + i < 0 || ox + i >= 640 || oy + j < 0 || oy + j >= 480) continue;
        Rgb& d = px[(oy + j) * 640 + ox + i];
        d = Mix(d, colour, m.At(i, j));
      }
  }

  Picture Out() const {
    Canvas cv(640, 480);
    for (int i = 0; i < 640 * 480; ++i) cv.rgb[i] = px[i], cv.a[i] = 1.0f;
    return Opaque(cv);
  }
};

void Backdrop(Screen& s, const Picture& back) {
  s.tint = {255, 255, 255};
  s.State(kAlpha, 0.6f, 0, 1, 1);
  s.Draw(back, {0, 0, 640, 480}, 0, 0, false);
}

void Hud(Screen& s, const Picture& sheet, bool title) {
  s.tint = {150, 150, 150};
  s.State(kAlpha, 0.8f, 0, 1, 1);
  s.Draw(sheet, {0, 240, 640, 32}, 0, 0, false);
  s.Draw(sheet, {0, 240, 640, 32}, 0, 450, false);
  s.Text("Blue: 03", 4, 2, {50, 100, 255}, false);
  s.Text("Round: 02", 320, 2, {255, 255, 255}, true);
  s.Text("Red: 01", 560, 2, {255, 100, 50}, false);
  if (title) {
    s.Text("v1.3 - our own little rotor battle", 320, 466 - 12, {255, 255, 255}, true);
    return;
  }
  s.Text("Bat", 5, 452, {50, 100, 255}, false);
  s.Text("Bat", 592, 452, {255, 100, 50}, false);
  for (int i = 0; i < 5; ++i)
    for (int y = 458; y < 474; ++y)
      for (int x = 0; x < 24; ++x) {
        s.px[y * 640 + 60 + 34 * i + x] = i < 4 ? Rgb{50, 100, 255} : Rgb{25, 50, 100};
        s.px[y * 640 + 556 - 34 * i + x] = i < 2 ? Rgb{255, 100, 50} : Rgb{100, 50, 25};
      }
}

void Helicopter(Screen& s, const Picture& sheet, int who, float x, float y, int alt, float scale,
                float rot, float blade, int phase) {
  const int f = who * 4 + phase;
  s.tint = {10, 10, 10};
  s.State(kAlpha, 1.0f, rot, 0.5f, 0.5f);
  s.Draw(sheet, Heli(f), x, y);
  s.State(kAlpha, 1.0f, blade, 0.5f, 0.5f);
  s.Draw(sheet, Blade(who), x, y);
  s.tint = {255, 255, 255};
  s.State(kMask, 1.0f, rot, scale, scale);
  s.Draw(sheet, Heli(f), x, y - alt);
  s.State(kMask, 1.0f, blade, scale, scale);
  s.Draw(sheet, Blade(who), x, y - alt);
}

}  // namespace

Picture Enlarge(const Picture& pic, int k) {
  Picture out(pic.w * k, pic.h * k);
  for (int y = 0; y < out.h; ++y)
    for (int x = 0; x < out.w; ++x) {
      const uint8_t* s = pic.At(x / k, y / k);
      uint8_t* d = out.At(x, y);
      d[0] = s[0], d[1] = s[1], d[2] = s[2];
    }
  return out;
}

Picture ArenaScene(const Picture& sheet, const Picture& back) {
  Screen s;
  Backdrop(s, back);
  // A fixed little map: floor with voids, blocks and the pads.
  std::vector<int> tiles(260, 1);
  for (int i = 0; i < 260; ++i) {
    const float r = Hash01(i, 0, 901u);
    if (r < 0.22f)
      tiles[i] = 0;
    else if (r < 0.36f)
      tiles[i] = 3;
  }
  const int pads[][2] = {{47, 5},  {212, 4}, {30, 7},  {95, 7},  {150, 7}, {66, 6},  {178, 6},
                         {240, 6}, {48, 1},  {67, 1},  {68, 1},  {28, 1},  {149, 1}, {150, 1},
                         {151, 1}, {130, 1}, {131, 1}, {129, 1}, {170, 1}, {171, 1}};
  for (const auto& p : pads) tiles[p[0]] = p[1];
  for (int i = 0; i < 260; ++i) {
    const float x = 16 + 32 * (i % 20), y = 48 + 32 * (i / 20);
    s.tint = {255, 255, 255};
    s.State(kMask, 1, 0, 1, 1);
    if (tiles[i] == 0) continue;
    if (tiles[i] == 1) {
      s.tint = {225, 225, 225};
      s.State(kAlpha, 0.5f, 0, 1, 1);
    }
    s.Draw(sheet, Tile(tiles[i]), x, y);
  }
  const int blue_cell = 47, red_cell = 150;
  for (int i = 0; i < 260; ++i) {
    const float x = 16 + 32 * (i % 20), y = 48 + 32 * (i / 20);
    if (tiles[i] == 3) {
      s.State(kMask, 1, 0, 1, 1);
      for (int k = 0; k < 10; ++k) {
        const float t = 20.0f + 20.0f * k;
        s.tint = {t, t, t};
        s.Draw(sheet, Tile(3), x - 2 * k, y - 2 * k);
      }
      s.tint = {255, 255, 255};
      s.Draw(sheet, Tile(3), x - 20, y - 20);
    }
    if (i == blue_cell) Helicopter(s, sheet, 0, x, y, 0, 0.5f, 0.0f, 35.0f, 0);
    if (i == red_cell) Helicopter(s, sheet, 1, x + 6, y + 4, 51, 1.0099995f, 25.0f, 70.0f, 2);
  }
  // Dust under the explosion, then the sparks, the trail and a Red rocket on top.
  const float ex = 420, ey = 330;
  for (int k = 0; k <= 10; ++k) {
    const float ang = 36.0f * k * 3.14159265f / 180.0f;
    s.tint = {255, 255, 255};
    s.State(kAlpha, 0.6f, 36.0f * k, 1.7f, 1.7f);
    s.Draw(sheet, Tile(8), ex + std::sin(ang) * 40, ey - std::cos(ang) * 40);
  }
  for (int k = 0; k < 31; ++k) {
    const float sc = 1.0f + Hash01(k, 1, 902u) * 0.8f;
    s.State(kLight, 0.3f + Hash01(k, 2, 902u) * 0.5f, 0, sc, sc);
    s.Draw(sheet, Tile(9), ex - 8 + Hash01(k, 3, 902u) * 24, ey - 8 + Hash01(k, 4, 902u) * 24);
  }
  const float rx = 300, ry = 150, dir = 115.0f, rs = 0.9f;
  const float sn = std::sin(dir * 3.14159265f / 180.0f), cs = std::cos(dir * 3.14159265f / 180.0f);
  for (int age = 39; age >= 1; --age) {
    const float px = rx - sn * (4.0f * age + 6.0f), py = ry + cs * (4.0f * age + 6.0f);
    if (age < 10)
      s.State(kLight, 1.0f, dir, rs, rs);
    else
      s.State(kAlpha, 1.0f, dir, rs, rs);
    s.Draw(sheet, Rocket(age < 10 ? 2 : 3), px, py);
  }
  s.tint = {10, 10, 10};
  s.State(kMask, 1.0f, dir, 0.5f, 0.6f);
  s.Draw(sheet, Rocket(0), rx, ry + 30);
  s.tint = {255, 255, 255};
  s.State(kMask, 1.0f, dir, rs, rs);
  s.Draw(sheet, Rocket(0), rx, ry);
  Hud(s, sheet, false);
  return s.Out();
}

Picture TitleScene(const Picture& sheet, const Picture& back, const Picture& pointer) {
  Screen s;
  Backdrop(s, back);
  s.tint = {255, 255, 255};
  s.State(kMask, 1, 0, 1, 1);
  s.Draw(sheet, {0, 87, 378, 145}, 320, 130);
  const char* items[] = {"Start Game", "Detect Game Pads: 1", "Sound Volume: Max",
                         "Music Volume: 80%", "Exit Game"};
  for (int i = 0; i < 5; ++i)
    s.Text(items[i], 320, 245 + 40 * i - 12, i == 1 ? Rgb{255, 220, 90} : Rgb{255, 255, 255}, true);
  s.State(kMask, 1, 0, 1, 1);
  s.Draw(pointer, {0, 0, 18, 18}, 400, 290, false);
  Hud(s, sheet, true);
  return s.Out();
}
