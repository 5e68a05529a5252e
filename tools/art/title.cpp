#include "title.h"

#include <algorithm>
#include <cmath>

#include "glyphs.h"

namespace {

constexpr float kPi = 3.14159265f;
const Rgb kInk = Hex(0x121622);

// The rotor over the title: two long tapered blades, Blue's tip on the left and Red's on
// the right, with thin arcs for the sweep of the disc, and the hub carrying "RC".
void Rotor(Canvas& cv, float cx, float cy) {
  auto arc = [&](float x, float y, float rx, float ry, float from, float to) {
    const float ang = std::atan2((y - cy) / ry, (x - cx) / rx);
    if (ang < from || ang > to) return 1e9f;
    return std::fabs(SdEllipse(x, y, cx, cy, rx, ry)) - 1.0f;
  };
  const Rgb sweep = Hex(0xb8cce0);
  FillShape(
      cv, [&](float x, float y) { return arc(x, y, 176.0f, 22.0f, -kPi * 0.93f, -kPi * 0.62f); },
      Solid(sweep));
  FillShape(
      cv, [&](float x, float y) { return arc(x, y, 176.0f, 22.0f, -kPi * 0.38f, -kPi * 0.07f); },
      Solid(sweep));
  FillShape(
      cv, [&](float x, float y) { return arc(x, y, 150.0f, 15.0f, -kPi * 0.85f, -kPi * 0.68f); },
      Solid(sweep));
  FillShape(
      cv, [&](float x, float y) { return arc(x, y, 150.0f, 15.0f, -kPi * 0.32f, -kPi * 0.15f); },
      Solid(sweep));

  auto blade = [&](float x, float y) {
    const float span = std::fabs(x - cx) / 176.0f;
    const float half = 5.0f - 2.2f * span;
    const float lean = (x - cx) * -0.035f;  // a slight twist reads as motion
    return SdBox(x, y, cx, cy + lean, 176.0f, half, 2.0f);
  };
  FillShape(
      cv, [&](float x, float y) { return blade(x, y) - 1.6f; }, Solid(kInk));
  FillShape(cv, blade, [&](float x, float y) {
    const float lean = (x - cx) * -0.035f;
    const float t = std::clamp((y - (cy + lean) + 5.0f) / 10.0f, 0.0f, 1.0f);
    const float d = std::fabs(x - cx);
    if (d > 150.0f) {
      const Rgb tip =
          x < cx ? Mix(Hex(0x8fc2ff), Hex(0x1f54c0), t) : Mix(Hex(0xffa08a), Hex(0xb3261c), t);
      return tip;
    }
    if (d > 142.0f) return Mix(Hex(0xffffff), Hex(0xb8bec6), t);
    return Mix(Hex(0xe4e9ef), Hex(0x5a6472), t);
  });

  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, cy, 24.0f); }, Solid(kInk));
  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, cy, 21.5f); },
      [&](float x, float y) {
        const float t = std::clamp((y - cy + 21.0f) / 42.0f + (x - cx) * 0.006f, 0.0f, 1.0f);
        return Mix(Hex(0xf1f4f8), Hex(0x6c7684), t);
      });
  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, cy, 17.5f); },
      [&](float, float y) {
        return Mix(Hex(0xf0493a), Hex(0x8a1610), std::clamp((y - cy + 17.0f) / 34.0f, 0.0f, 1.0f));
      });
  const Mask rc = RenderText("RC", 22, 0, 2, 1.0f, 0.12f);
  const Mask rcRim = Grow(rc, 1.5f);
  const int ox = int(cx) - rc.w / 2, oy = int(cy) - rc.h / 2;
  PaintMask(cv, rcRim, ox, oy, Solid(Hex(0x4a0c08)));
  PaintMask(cv, rc, ox, oy, Solid(Hex(0xffffff)));
}

}  // namespace

Picture TitleLogo() {
  Canvas cv(378, 145);
  Rotor(cv, 189.0f, 36.0f);

  const Mask face = RenderText("WHIRLBAT", 90, 2, 12, 0.72f, 0.16f);
  const Mask rim = Grow(face, 3.2f);
  const int ox = 189 - face.w / 2 - 3, oy = 138 - (face.h - 12) - 8;
  const int top = oy + 12, bottom = face.h - 12 + oy;
  // Depth: the outline repeated down and to the right in deepening navy.
  for (int k = 7; k >= 1; --k) {
    const Mask step = Shift(rim, k, k);
    PaintMask(cv, step, ox, oy, [&](float, float y) {
      const float t = std::clamp((y - top) / float(bottom - top), 0.0f, 1.0f);
      return Shade(Mix(Hex(0x3658a8), Hex(0x1a2a5c), t), 1.0f - k * 0.06f);
    });
  }
  PaintMask(cv, rim, ox, oy, Solid(kInk));
  // Face: pale gold at the top through amber to a hot orange, with a chrome line.
  PaintMask(cv, face, ox, oy, [&](float, float y) {
    const float t = std::clamp((y - top) / float(bottom - top), 0.0f, 1.0f);
    if (t < 0.46f) return Mix(Hex(0xfffbd8), Hex(0xffd24a), t / 0.46f);
    if (t < 0.52f) return Hex(0xfff3b0);
    return Mix(Hex(0xffb21e), Hex(0xe2501a), (t - 0.52f) / 0.48f);
  });
  // A bright lip along the upper edges of the letters.
  Mask lip(face.w, face.h);
  for (int y = 0; y < face.h; ++y)
    for (int x = 0; x < face.w; ++x)
      lip.v[size_t(y) * face.w + x] = std::max(0.0f, face.At(x, y) - face.At(x - 1, y - 2)) * 0.8f;
  PaintMask(cv, lip, ox, oy, Solid(Hex(0xffffff)));
  return Crisp(cv);
}

Picture HudBar() {
  Canvas cv(640, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 640; ++x) {
      // Brushed grain runs along the bar: stretched noise plus fine scratches.
      const float streak = (Noise(x * 0.015f, y * 0.9f, 71u) - 0.5f) * 16.0f;
      const float scratch = (Hash01(x / 7, y, 72u) - 0.5f) * 8.0f;
      float v = 214.0f - y * 0.9f + streak + scratch;
      if (y == 0) v = 246.0f;
      if (y == 1) v = 232.0f;
      if (y == 30) v = 132.0f;
      if (y == 31) v = 100.0f;
      cv.Set(x, y, Rgb{v * 0.98f, v, v * 1.02f});
    }
  // Two panel seams, each with a pair of rivets, well clear of the texts.
  for (int sx : {224, 415}) {
    for (int y = 2; y < 30; ++y) {
      cv.Set(sx, y, Shade(cv.At(sx, y), 0.62f));
      cv.Set(sx + 1, y, Shade(cv.At(sx + 1, y), 1.12f));
    }
    for (int ry : {8, 23})
      for (int side : {-6, 7}) {
        const float rx = sx + side + 0.5f;
        FillShape(
            cv, int(rx) - 3, ry - 3, int(rx) + 4, ry + 4,
            [&](float x, float y) { return SdCircle(x, y, rx, ry + 0.5f, 2.2f); },
            [&](float x, float y) {
              const float t = std::clamp((x - rx + y - ry) / 4.0f + 0.5f, 0.0f, 1.0f);
              return Mix(Hex(0xf6f8fa), Hex(0x6e747c), t);
            });
      }
  }
  return Opaque(cv);
}
