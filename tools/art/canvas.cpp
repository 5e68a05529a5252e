#include "canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
Rgb Mix(Rgb a, Rgb b, float t) { return a * (1.0f - t) + b * t; }

Rgb Shade(Rgb c, float k) {
  auto cl = [](float v) { return std::clamp(v, 0.0f, 255.0f); };
  return {cl(c.r * k), cl(c.g * k), cl(c.b * k)};
}

Rgb Hex(uint32_t v) { return {float((v >> 16) & 255), float((v >> 8) & 255), float(v & 255)}; }

Canvas::Canvas(int width, int height)
    : w(width), h(height), rgb(size_t(width) * height), a(size_t(width) * height, 0.0f) {}

void Canvas::Paint(int x, int y, Rgb c, float cov) {
  if (!Inside(x, y) || cov <= 0.0f) return;
  cov = std::min(cov, 1.0f);
  const size_t i = size_t(y) * w + x;
  const float old = a[i];
  const float out = cov + old * (1.0f - cov);
  rgb[i] = (c * cov + rgb[i] * (old * (1.0f - cov))) * (1.0f / out);
  a[i] = out;
}

void Canvas::Set(int x, int y, Rgb c, float cov) {
  if (!Inside(x, y)) return;
  rgb[size_t(y) * w + x] = c;
  a[size_t(y) * w + x] = cov;
}

void Canvas::Fill(Rgb c) {
  std::fill(rgb.begin(), rgb.end(), c);
  std::fill(a.begin(), a.end(), 1.0f);
}

void FillShape(Canvas& cv, int x0, int y0, int x1, int y1, const Sdf& shape, const Ink& ink,
               float opacity) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, cv.w);
  y1 = std::min(y1, cv.h);
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const float px = x + 0.5f, py = y + 0.5f;
      const float cov = std::clamp(0.5f - shape(px, py), 0.0f, 1.0f);
      if (cov > 0.0f) cv.Paint(x, y, ink(px, py), cov * opacity);
    }
  }
}

void FillShape(Canvas& cv, const Sdf& shape, const Ink& ink, float opacity) {
  FillShape(cv, 0, 0, cv.w, cv.h, shape, ink, opacity);
}

Ink Solid(Rgb c) {
  return [c](float, float) { return c; };
}

float SdCircle(float x, float y, float cx, float cy, float r) {
  return std::hypot(x - cx, y - cy) - r;
}

float SdBox(float x, float y, float cx, float cy, float hw, float hh, float round) {
  const float dx = std::fabs(x - cx) - (hw - round);
  const float dy = std::fabs(y - cy) - (hh - round);
  const float outside = std::hypot(std::max(dx, 0.0f), std::max(dy, 0.0f));
  return outside + std::min(std::max(dx, dy), 0.0f) - round;
}

float SdSegment(float x, float y, float ax, float ay, float bx, float by, float r) {
  const float px = x - ax, py = y - ay, vx = bx - ax, vy = by - ay;
  const float len2 = vx * vx + vy * vy;
  const float t = len2 > 0 ? std::clamp((px * vx + py * vy) / len2, 0.0f, 1.0f) : 0.0f;
  return std::hypot(px - vx * t, py - vy * t) - r;
}

float SdEllipse(float x, float y, float cx, float cy, float rx, float ry) {
  // Scaled-circle approximation, exact enough for the small radii used here.
  const float nx = (x - cx) / rx, ny = (y - cy) / ry;
  const float k = std::hypot(nx, ny);
  if (k == 0.0f) return -std::min(rx, ry);
  const float grad = std::hypot(nx / rx, ny / ry);
  return (k - 1.0f) * k / grad;
}

float SdPolygon(float x, float y, const std::vector<float>& pts) {
  const size_t n = pts.size() / 2;
  float best = 1e30f;
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const float xi = pts[2 * i], yi = pts[2 * i + 1], xj = pts[2 * j], yj = pts[2 * j + 1];
    best = std::min(best, SdSegment(x, y, xi, yi, xj, yj, 0.0f));
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside ? -best : best;
}

float Hash01(int x, int y, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B9u;
  h ^= uint32_t(x) * 0x85EBCA6Bu;
  h = (h << 13) | (h >> 19);
  h ^= uint32_t(y) * 0xC2B2AE35u;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return float(h >> 8) / float(1u << 24);
}

float Noise(float x, float y, uint32_t seed) {
  const float fx = std::floor(x), fy = std::floor(y);
  const int ix = int(fx), iy = int(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3.0f - 2.0f * tx);
  ty = ty * ty * (3.0f - 2.0f * ty);
  const float a = Hash01(ix, iy, seed), b = Hash01(ix + 1, iy, seed);
  const float c = Hash01(ix, iy + 1, seed), d = Hash01(ix + 1, iy + 1, seed);
  return (a + (b - a) * tx) * (1.0f - ty) + (c + (d - c) * tx) * ty;
}

float Fractal(float x, float y, uint32_t seed, int octaves) {
  float sum = 0, amp = 1, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += Noise(x, y, seed + uint32_t(o) * 101u) * amp;
    norm += amp;
    amp *= 0.5f;
    x *= 2.03f;
    y *= 2.03f;
  }
  return sum / norm;
}

Picture::Picture(int width, int height) : w(width), h(height), px(size_t(width) * height * 3, 0) {}

namespace {

uint8_t Byte(float v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

void Store(uint8_t* p, Rgb c) {
  p[0] = Byte(c.r);
  p[1] = Byte(c.g);
  p[2] = Byte(c.b);
  if (p[0] == 0 && p[1] == 0 && p[2] == 0) p[0] = p[1] = p[2] = 1;
}

}  // namespace

Picture Crisp(const Canvas& cv) {
  Picture pic(cv.w, cv.h);
  for (int y = 0; y < cv.h; ++y)
    for (int x = 0; x < cv.w; ++x)
      if (cv.Cover(x, y) >= 0.5f) Store(pic.At(x, y), cv.At(x, y));
  return pic;
}

Picture Opaque(const Canvas& cv) {
  Picture pic(cv.w, cv.h);
  for (int y = 0; y < cv.h; ++y)
    for (int x = 0; x < cv.w; ++x) Store(pic.At(x, y), cv.At(x, y));
  return pic;
}

Picture OnBlack(const Canvas& cv) {
  Picture pic(cv.w, cv.h);
  for (int y = 0; y < cv.h; ++y)
    for (int x = 0; x < cv.w; ++x) {
      const Rgb c = cv.At(x, y) * cv.Cover(x, y);
      uint8_t* p = pic.At(x, y);
      p[0] = Byte(c.r);
      p[1] = Byte(c.g);
      p[2] = Byte(c.b);
    }
  return pic;
}

void Blit(Picture& dst, const Picture& src, int x, int y) {
  for (int j = 0; j < src.h; ++j)
    for (int i = 0; i < src.w; ++i) {
      if (x + i < 0 || y + j < 0 || x + i >= dst.w || y + j >= dst.h) continue;
      const uint8_t* s = src.At(i, j);
      uint8_t* d = dst.At(x + i, y + j);
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
}

namespace {

bool WritePngRows(const std::string& path, int w, int h, int color_type, const std::vector<std::vector<uint8_t>>& rows) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, w, h, 8, color_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (const auto& row : rows) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace

bool WritePng(const std::string& path, const Picture& pic) {
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < pic.h; ++y) rows.emplace_back(pic.At(0, y), pic.At(0, y) + pic.w * 3);
  return WritePngRows(path, pic.w, pic.h, PNG_COLOR_TYPE_RGB, rows);
}

bool WriteRgbaPng(const std::string& path, const Canvas& cv) {
  std::vector<std::vector<uint8_t>> rows(size_t(cv.h), std::vector<uint8_t>(size_t(cv.w) * 4));
  for (int y = 0; y < cv.h; ++y)
    for (int x = 0; x < cv.w; ++x) {
      uint8_t* p = &rows[y][size_t(x) * 4];
      const Rgb c = cv.At(x, y);
      p[0] = Byte(c.r);
      p[1] = Byte(c.g);
      p[2] = Byte(c.b);
      p[3] = Byte(cv.Cover(x, y) * 255.0f);
    }
  return WritePngRows(path, cv.w, cv.h, PNG_COLOR_TYPE_RGB_ALPHA, rows);
}
