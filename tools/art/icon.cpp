#include "icon.h"

#include <algorithm>
#include <cmath>

namespace {

const Rgb kOutline = Hex(0x0c1d4c);

}  // namespace

Canvas AppIcon(int size) {
  Canvas cv(size, size);
  const float s = float(size);
  // Shapes are laid out on a unit square; distances are scaled back to pixels so every
  // size gets a one-pixel soft edge.
  auto unit = [s](auto sd) { return [s, sd](float x, float y) { return sd(x / s, y / s) * s; }; };
  auto at = [s](auto ink) { return [s, ink](float x, float y) { return ink(x / s, y / s); }; };

  // The airfield patch: grass, lighter towards the top left, with mown stripes.
  FillShape(cv, unit([](float x, float y) { return SdBox(x, y, 0.5f, 0.5f, 0.46f, 0.46f, 0.2f); }),
            at([](float x, float y) {
              Rgb c = Mix(Hex(0x7cc653), Hex(0x2f7a34), std::clamp((x + y) * 0.6f, 0.0f, 1.0f));
              if (int((x - y + 2.0f) * 7.0f) % 2 == 0) c = Shade(c, 0.92f);
              return c;
            }));
  // The landing pad: a dark disc with a yellow ring.
  FillShape(cv, unit([](float x, float y) { return SdCircle(x, y, 0.5f, 0.52f, 0.34f); }), Solid(Hex(0x3a4048)));
  FillShape(cv, unit([](float x, float y) { return std::fabs(SdCircle(x, y, 0.5f, 0.52f, 0.29f)) - 0.025f; }),
            Solid(Hex(0xffd23c)));

  // The helicopter's shadow, down and to the right.
  auto body = [](float x, float y, float dx, float dy) {
    const float hull = std::min(SdEllipse(x, y, 0.5f + dx, 0.4f + dy, 0.14f, 0.19f),
                                SdEllipse(x, y, 0.5f + dx, 0.52f + dy, 0.1f, 0.13f));
    const float boom = SdSegment(x, y, 0.5f + dx, 0.6f + dy, 0.5f + dx, 0.86f + dy, 0.03f);
    const float tail = SdSegment(x, y, 0.43f + dx, 0.84f + dy, 0.57f + dx, 0.84f + dy, 0.025f);
    return std::min({hull, boom, tail});
  };
  FillShape(cv, unit([&](float x, float y) { return body(x, y, 0.04f, 0.05f); }), Solid(Hex(0x101418)), 0.45f);

  // Body: a dark rim, the blue hull lit from the upper left, the canopy.
  FillShape(cv, unit([&](float x, float y) { return body(x, y, 0, 0) - 0.02f; }), Solid(kOutline));
  FillShape(cv, unit([&](float x, float y) { return body(x, y, 0, 0); }), at([](float x, float y) {
              const float lit = std::clamp(1.0f - std::hypot(x - 0.45f, y - 0.35f) * 4.0f, 0.0f, 1.0f);
              return Mix(Hex(0x2f6ee0), Hex(0x9cc8ff), lit * 0.8f);
            }));
  FillShape(cv, unit([](float x, float y) { return SdEllipse(x, y, 0.5f, 0.31f, 0.09f, 0.09f); }),
            at([](float x, float y) {
              const float glint = std::hypot(x - 0.47f, y - 0.29f) * 14.0f;
              return Mix(Hex(0xe8f6ff), Hex(0x1c3a52), std::clamp(glint, 0.0f, 1.0f));
            }));

  // The main rotor: a faint disc of the turning blades, then two blades across the hub.
  FillShape(cv, unit([](float x, float y) { return SdCircle(x, y, 0.5f, 0.44f, 0.4f); }), Solid(Hex(0xd8dde3)),
            0.18f);
  for (float a : {0.6f, 0.6f + 1.5708f}) {
    const float dx = std::cos(a) * 0.4f, dy = std::sin(a) * 0.4f;
    FillShape(cv,
              unit([=](float x, float y) { return SdSegment(x, y, 0.5f - dx, 0.44f - dy, 0.5f + dx, 0.44f + dy, 0.02f); }),
              at([=](float x, float y) { return std::hypot(x - 0.5f, y - 0.44f) > 0.34f ? Hex(0xffd23c) : Hex(0x2a3038); }));
  }
  FillShape(cv, unit([](float x, float y) { return SdCircle(x, y, 0.5f, 0.44f, 0.04f); }), Solid(Hex(0xb4bcc6)));
  return cv;
}
