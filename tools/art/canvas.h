#pragma once
// Painting surface of the art generator: straight-alpha float pixels that shapes are
// blended into with anti-aliased coverage, and the 8-bit RGB pictures the game loads.
// Pure black is the game's mask colour, so a finished sprite keeps only pixels that are
// at least half covered, at full strength, and never pure black.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgb {
  float r = 0, g = 0, b = 0;
};

Rgb operator+(Rgb a, Rgb b);
Rgb operator*(Rgb a, float k);
// Linear mix: t = 0 gives a, t = 1 gives b (t is not clamped).
Rgb Mix(Rgb a, Rgb b, float t);
// Multiplies every channel by k and clamps to 0..255.
Rgb Shade(Rgb c, float k);
Rgb Hex(uint32_t rrggbb);

struct Canvas {
  int w = 0, h = 0;
  std::vector<Rgb> rgb;
  std::vector<float> a;  // coverage 0..1

  Canvas(int width, int height);
  bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
  // Blends colour c over the pixel with coverage cov (0..1); coverage accumulates.
  void Paint(int x, int y, Rgb c, float cov);
  // Sets the pixel outright.
  void Set(int x, int y, Rgb c, float cov = 1.0f);
  Rgb At(int x, int y) const { return rgb[y * w + x]; }
  float Cover(int x, int y) const { return a[y * w + x]; }
  void Fill(Rgb c);
};

// Signed distance in pixels at a point (negative inside the shape).
using Sdf = std::function<float(float x, float y)>;
// Colour of a shape at a point, for gradients and textures inside it.
using Ink = std::function<Rgb(float x, float y)>;

// Paints every pixel of the box [x0, x1) x [y0, y1) that the shape touches, with the
// coverage its distance gives at the pixel centre (a one-pixel soft edge).
void FillShape(Canvas& cv, int x0, int y0, int x1, int y1, const Sdf& shape, const Ink& ink,
               float opacity = 1.0f);
// The same over the whole canvas.
void FillShape(Canvas& cv, const Sdf& shape, const Ink& ink, float opacity = 1.0f);
Ink Solid(Rgb c);

// Distance functions of the basic shapes.
float SdCircle(float x, float y, float cx, float cy, float r);
float SdBox(float x, float y, float cx, float cy, float hw, float hh, float round = 0.0f);
float SdSegment(float x, float y, float ax, float ay, float bx, float by, float r);
float SdEllipse(float x, float y, float cx, float cy, float rx, float ry);
// Polygon given as x0, y0, x1, y1, ... in order (either winding).
float SdPolygon(float x, float y, const std::vector<float>& pts);

// Smooth pseudo-random noise in 0..1, fixed by its seed (the generator has no clock).
float Noise(float x, float y, uint32_t seed);
// Several octaves of Noise, still 0..1.
float Fractal(float x, float y, uint32_t seed, int octaves);
// A repeatable hash of integers to 0..1, for per-pixel grain and scattering.
float Hash01(int x, int y, uint32_t seed);

// 8-bit RGB picture, the format of every PNG the game embeds.
struct Picture {
  int w = 0, h = 0;
  std::vector<uint8_t> px;  // r, g, b per pixel, rows top to bottom

  Picture() = default;
  Picture(int width, int height);
  uint8_t* At(int x, int y) { return &px[(y * w + x) * 3]; }
  const uint8_t* At(int x, int y) const { return &px[(y * w + x) * 3]; }
};

// A sprite: pixels at least half covered keep their colour at full strength (no pure
// black: the darkest becomes (1, 1, 1)); the rest turns black, the mask colour.
Picture Crisp(const Canvas& cv);
// An opaque picture (backgrounds): coverage is ignored, black is lifted to (1, 1, 1).
Picture Opaque(const Canvas& cv);
// A picture shown on black (the studio logo): colours are blended over black by their
// coverage and pixels with no coverage stay black.
Picture OnBlack(const Canvas& cv);
// Copies src into dst with its top-left corner at (x, y).
void Blit(Picture& dst, const Picture& src, int x, int y);
// Writes an 8-bit RGB PNG with no time stamp or text, so equal pictures give equal files.
bool WritePng(const std::string& path, const Picture& pic);
// Writes a canvas as an 8-bit RGBA PNG, coverage as alpha (for icons), also repeatably.
bool WriteRgbaPng(const std::string& path, const Canvas& cv);
