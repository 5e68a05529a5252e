#include "sprites.h"

#include <algorithm>
#include <cmath>

namespace {

struct Livery {
  Rgb light, base, dark, deep;
};

Livery Team(bool red) {
  if (red) return {Hex(0xff9c86), Hex(0xd8382c), Hex(0x8c1a14), Hex(0x4a0e0c)};
  return {Hex(0x9cc8ff), Hex(0x2f6ee0), Hex(0x173c92), Hex(0x0c1d4c)};
}

const Rgb kSteel = Hex(0x59616c);
const Rgb kSteelLight = Hex(0xa9b2bc);
const Rgb kOutline = Hex(0x14181e);

// Rounded fuselage shading: light falls from the upper left.
Rgb Cylinder(const Livery& l, float x, float cx, float half) {
  const float n = std::clamp((x - (cx - 0.8f)) / half, -1.0f, 1.0f);
  const float lit = 1.0f - n * n;
  Rgb c = Mix(l.deep, l.dark, std::clamp(lit * 3.0f, 0.0f, 1.0f));
  c = Mix(c, l.base, std::clamp(lit * 1.8f - 0.4f, 0.0f, 1.0f));
  if (lit > 0.82f) c = Mix(c, l.light, (lit - 0.82f) * 3.5f);
  return c;
}

void DrawTailRotor(Canvas& cv, int phase) {
  const float cx = 9.0f, cy = 45.0f, r = 4.1f;
  const float ang = float(phase) * 3.14159265f / 4.0f;
  const float dx = std::cos(ang) * r, dy = std::sin(ang) * r;
  // The two blades, then the hub on the boom end.
  FillShape(
      cv,
      [&](float x, float y) { return SdSegment(x, y, cx - dx, cy - dy, cx + dx, cy + dy, 0.85f); },
      [&](float x, float y) {
        const float along = ((x - cx) * dx + (y - cy) * dy) / (r * r);
        // Both tips alike: the two-bladed rotor looks the same after half a turn,
        // so four eighth-turn frames loop without a jump.
        if (std::fabs(along) > 0.6f) return Hex(0xffd23c);
        return Hex(0xb4bcc6);
      });
  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, cy, 1.0f); }, Solid(kOutline));
}

}  // namespace

Picture HeliFrame(int frame) {
  const Livery l = Team(frame >= 4);
  Canvas cv(18, 49);
  const float cx = 9.0f;

  // Skids: two rails with bright toes, tied to the body by two cross tubes.
  for (float ty : {17.5f, 31.5f})
    FillShape(
        cv, [&](float x, float y) { return SdSegment(x, y, cx - 7.0f, ty, cx + 7.0f, ty, 0.7f); },
        Solid(kSteel));
  for (float sx : {2.0f, 16.0f}) {
    FillShape(
        cv, [&](float x, float y) { return SdSegment(x, y, sx, 14.0f, sx, 35.0f, 1.0f); },
        [&](float x, float y) {
          if (y < 15.0f) return kSteelLight;
          return std::fabs(x - (sx < cx ? sx - 0.5f : sx + 0.5f)) < 0.6f ? Hex(0x8d96a2) : kSteel;
        });
  }

  // Tail boom, tapering towards the tail, with a lit ridge.
  const std::vector<float> boom = {cx - 2.0f, 29.0f, cx + 2.0f, 29.0f,
                                   cx + 1.0f, 46.0f, cx - 1.0f, 46.0f};
  FillShape(
      cv, [&](float x, float y) { return SdPolygon(x, y, boom); },
      [&](float x, float) { return x < cx ? l.base : l.dark; });
  // Horizontal stabiliser with dark tips.
  FillShape(
      cv, [&](float x, float y) { return SdBox(x, y, cx, 38.0f, 4.6f, 1.1f, 0.8f); },
      [&](float x, float y) {
        if (std::fabs(x - cx) > 3.6f) return l.deep;
        return y < 38.0f ? l.base : l.dark;
      });
  // Fin on the tail end, seen edge-on.
  FillShape(
      cv, [&](float x, float y) { return SdBox(x, y, cx, 42.5f, 0.75f, 3.0f); }, Solid(l.deep));

  // Fuselage: a dark rim first so the silhouette reads on light ground.
  auto hull = [&](float x, float y) {
    const float front = SdEllipse(x, y, cx, 17.0f, 5.0f, 11.5f);
    const float back = SdEllipse(x, y, cx, 24.5f, 4.2f, 7.0f);
    return std::min(front, back);
  };
  FillShape(
      cv, [&](float x, float y) { return hull(x, y) - 0.9f; }, Solid(l.deep));
  FillShape(cv, hull, [&](float x, float y) {
    Rgb c = Cylinder(l, x, cx, 4.8f);
    // A white livery band behind the cockpit.
    if (y > 18.6f && y < 20.4f) c = Mix(c, Hex(0xf0f2f4), 0.85f);
    return c;
  });
  // Engine deck with exhaust louvres behind the hub.
  FillShape(
      cv, [&](float x, float y) { return SdBox(x, y, cx, 29.5f, 2.2f, 2.6f, 0.6f); },
      [&](float, float y) { return (int(y) % 2 == 0) ? Hex(0x4c535d) : Hex(0x78818c); });

  // Canopy bubble: dark glass with a sky reflection, framed in the body colour.
  FillShape(
      cv, [&](float x, float y) { return SdEllipse(x, y, cx, 10.5f, 3.7f, 6.4f); },
      [&](float x, float y) {
        const float t = std::clamp((y - 4.0f) / 13.0f, 0.0f, 1.0f);
        Rgb c = Mix(Hex(0x86bcd8), Hex(0x1c3a52), t);
        const float glint = std::hypot((x - (cx - 1.4f)) / 1.3f, (y - 7.6f) / 2.4f);
        if (glint < 1.0f) c = Mix(c, Hex(0xe8f6ff), 0.85f * (1.0f - glint * glint));
        return c;
      });
  FillShape(
      cv, [&](float x, float y) { return SdBox(x, y, cx, 15.2f, 3.6f, 0.55f); }, Solid(l.dark));

  // Rotor mast on the hub.
  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, 24.0f, 2.0f); }, Solid(kOutline));
  FillShape(
      cv, [&](float x, float y) { return SdCircle(x, y, cx, 24.0f, 1.2f); }, Solid(Hex(0x9aa3ad)));

  DrawTailRotor(cv, frame % 4);
  return Crisp(cv);
}

Picture BladeFrame(int frame) {
  const Livery l = Team(frame == 1);
  Canvas cv(56, 4);
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 28.0f, 2.0f, 27.5f, 1.0f, 0.9f); },
      [&](float x, float y) {
        const float d = std::fabs(x - 28.0f);
        if (d > 22.5f) return y < 2.0f ? l.light : l.base;
        if (d > 20.5f) return Hex(0xeef0f2);
        return y < 2.0f ? Hex(0x7a828c) : Hex(0x3d434b);
      });
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 28.0f, 2.0f, 3.0f, 2.0f, 1.0f); },
      Solid(kOutline));
  FillShape(
      cv, [](float x, float y) { return SdBox(x, y, 28.0f, 2.0f, 1.5f, 1.0f, 0.4f); },
      Solid(Hex(0xb9c1ca)));
  return Crisp(cv);
}

Picture RocketFrame(int frame) {
  Canvas cv(18, 8);
  if (frame <= 1) {
    const Livery l = Team(frame == 0);
    for (int left : {0, 16}) {
      for (int y = 0; y < 8; ++y) {
        Rgb lit, shade;
        if (y <= 1) {
          lit = y == 0 ? l.light : l.base;
          shade = y == 0 ? l.base : l.dark;
        } else if (y <= 5) {
          lit = Hex(0xf4f5f7);
          shade = Hex(0xaab1ba);
        } else if (y == 6) {
          lit = Hex(0x6c747e);
          shade = Hex(0x474d55);
        } else {
          lit = Hex(0xffcf5a);
          shade = Hex(0xf08a24);
        }
        cv.Set(left, y, lit);
        cv.Set(left + 1, y, shade);
      }
    }
  } else {
    const bool flame = frame == 2;
    for (float mx : {1.0f, 17.0f}) {
      if (flame) {
        FillShape(
            cv, [&](float x, float y) { return SdEllipse(x, y, mx, 4.0f, 1.6f, 3.6f); },
            [&](float x, float y) {
              const float d = std::hypot((x - mx) / 1.6f, (y - 3.4f) / 3.6f);
              if (d < 0.45f) return Hex(0xfff8d8);
              if (d < 0.8f) return Hex(0xffcc3a);
              return Hex(0xe8661a);
            });
      } else {
        FillShape(
            cv, [&](float x, float y) { return SdEllipse(x, y, mx, 4.0f, 2.5f, 3.6f); },
            [&](float x, float y) {
              const float d = std::hypot((x - mx + 0.8f) / 2.5f, (y - 2.6f) / 3.6f);
              return Mix(Hex(0xd6d8da), Hex(0x7d8186), std::clamp(d, 0.0f, 1.0f));
            });
      }
    }
  }
  return Crisp(cv);
}
